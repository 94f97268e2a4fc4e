#pragma once
// The customer data page: six edits kept in the product's settings key.

class TfrmMain;

// Fills the six edits from the registry.
void LoadCustomerData(TfrmMain& form);
// Checks and stores them; false after telling the user which field is
// missing, with the focus on it.
bool SaveCustomerData(TfrmMain& form);
