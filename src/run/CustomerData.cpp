#include "run/CustomerData.h"

#include "sys/Reg.h"
#include "sys/Text.h"

bool StoredCustomerDataComplete(HKEY root) {
    for (const wchar_t* value : kCustomerValues)
        if (Trimmed(RegReadString(root, kSettingsKey, value), IsBlankOrControl).empty()) return false;
    return true;
}
