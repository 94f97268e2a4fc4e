#include "Variable.h"

int32_t WizardState = 0;
std::wstring UpdateBaseUrl;
HKEY RegistryRoot = nullptr;
std::wstring AppDataRoot;
std::wstring DataTempFolder;
std::wstring ProFolder;
std::wstring StdFolder;
std::wstring WorkFolder;
std::wstring SelectedSections;

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH * 2];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    std::wstring s(path, n);
    return s.substr(0, s.find_last_of(L"\\:") + 1);
}
