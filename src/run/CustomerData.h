#pragma once
// The customer's data the wizard keeps in the settings key: six values, in
// the order the customer page asks for them.
#include <windows.h>

inline constexpr const wchar_t* kCustomerValues[6] = {L"Firma", L"Ort", L"User", L"PC", L"Telefon", L"E-Mail"};

// True when none of the six stored values is empty (blanks and control
// characters do not count).
bool StoredCustomerDataComplete(HKEY root);
