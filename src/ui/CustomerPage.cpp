#include "ui/CustomerPage.h"

#include "ui/Controls.h"
#include "sys/Reg.h"
#include "sys/Text.h"
#include "ui/main.h"

namespace {

struct CustomerField {
    HWND TfrmMain::*edit;
    const wchar_t* value;
    const wchar_t* missing;
};

const CustomerField kCustomerFields[] = {
    {&TfrmMain::txtFir, L"Firma", L"Erfassen Sie bitte den Firmennamen"},
    {&TfrmMain::txtOrt, L"Ort", L"Erfassen Sie bitte die Ortschaft"},
    {&TfrmMain::txtSac, L"User", L"Erfassen Sie bitte den Sachbearbeiternamen"},
    {&TfrmMain::txtPC, L"PC", L"Erfassen Sie bitte den PC-Namen"},
    {&TfrmMain::txtTel, L"Telefon", L"Erfassen Sie bitte die Telefonnummer"},
    {&TfrmMain::txtMail, L"E-Mail", L"Erfassen Sie bitte die E-Mailadresse"},
};

}  // namespace

void LoadCustomerData(TfrmMain& form) {
    for (const CustomerField& f : kCustomerFields)
        SetWindowTextW(form.*f.edit, RegReadStringOrInit(form.session().registryRoot, kSettingsKey, f.value, L"").c_str());
}

bool SaveCustomerData(TfrmMain& form) {
    for (const CustomerField& f : kCustomerFields) {
        if (Trimmed(ControlText(form.*f.edit), IsBlankOrControl).empty()) {
            ShowMessage(f.missing, kAppTitle, MB_OK | MB_ICONINFORMATION);
            SetFocus(form.*f.edit);
            return false;
        }
    }
    for (const CustomerField& f : kCustomerFields)
        RegWriteString(form.session().registryRoot, kSettingsKey, f.value,
                       Trimmed(ControlText(form.*f.edit), IsBlankOrControl));
    return true;
}
