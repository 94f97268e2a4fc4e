#include "ui/CustomerPage.h"

#include "run/CustomerData.h"
#include "ui/Controls.h"
#include "sys/Reg.h"
#include "sys/Text.h"
#include "ui/main.h"

namespace {

struct CustomerField {
    ControlId edit;
    const wchar_t* value;
    const wchar_t* missing;
};

const CustomerField kCustomerFields[] = {
    {ControlId::txtFir, kCustomerValues[0], L"Erfassen Sie bitte den Firmennamen"},
    {ControlId::txtOrt, kCustomerValues[1], L"Erfassen Sie bitte die Ortschaft"},
    {ControlId::txtSac, kCustomerValues[2], L"Erfassen Sie bitte den Sachbearbeiternamen"},
    {ControlId::txtPC, kCustomerValues[3], L"Erfassen Sie bitte den PC-Namen"},
    {ControlId::txtTel, kCustomerValues[4], L"Erfassen Sie bitte die Telefonnummer"},
    {ControlId::txtMail, kCustomerValues[5], L"Erfassen Sie bitte die E-Mailadresse"},
};

}  // namespace

void LoadCustomerData(TfrmMain& form) {
    for (const CustomerField& f : kCustomerFields)
        SetWindowTextW(form.Control(f.edit),
                       RegReadStringOrInit(form.session().registryRoot, kSettingsKey, f.value, L"").c_str());
}

bool SaveCustomerData(TfrmMain& form) {
    for (const CustomerField& f : kCustomerFields) {
        if (Trimmed(ControlText(form.Control(f.edit)), IsBlankOrControl).empty()) {
            ShowMessage(f.missing, kAppTitle, MB_OK | MB_ICONINFORMATION);
            SetFocus(form.Control(f.edit));
            return false;
        }
    }
    for (const CustomerField& f : kCustomerFields)
        RegWriteString(form.session().registryRoot, kSettingsKey, f.value,
                       Trimmed(ControlText(form.Control(f.edit)), IsBlankOrControl));
    return true;
}
