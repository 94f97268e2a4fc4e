#include "Variable.h"

#include "Dateien.h"
#include "Reg.h"

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

std::wstring GetWorkFolder() {
    std::wstring folder = AppDataRoot + L"talvero\\temp\\";
    if (!FolderExists(folder)) ForceFolderChain(folder);
    return folder;
}

// ---- product folders ----

namespace {

constexpr const wchar_t* kMirado19Key = L"\\SOFTWARE\\Talvero\\Mirado19\\Settings";
constexpr const wchar_t* kMiradopro19Key = L"\\SOFTWARE\\Talvero\\Miradopro19\\Settings";

// A registered profiles folder that has gone missing (product moved,
// drive unplugged) falls back to the shared data folder, and to nothing
// when that is missing too: the caller then builds on an empty text.
std::wstring ProfilesFolderOf(const wchar_t* productKey) {
    std::wstring s = RegReadStringOrInit(productKey, L"Profiles Dir", std::wstring());
    if (!FolderExists(s)) s = DataTempFolder + L"Profiles\\";
    return FolderExists(s) ? s : std::wstring();
}

}  // namespace

std::wstring GetMirado19Folder() { return RegReadStringOrInit(kSettingsKey, L"Mirado19 Dir", ProgramFolder()); }

// The pro product has no sensible default beside the updater: it may simply
// not be installed, so an empty text is stored.
std::wstring GetMiradopro19Folder() { return RegReadStringOrInit(kSettingsKey, L"Miradopro19 Dir", std::wstring()); }

std::wstring GetMirados19Folder() { return RegReadStringOrInit(kSettingsKey, L"Mirados19 Dir", ProgramFolder()); }

std::wstring GetNorvix19Folder() { return RegReadStringOrInit(kSettingsKey, L"norvix19 Dir", ProgramFolder()); }

std::wstring GetMirado19IecFolder() {
    return RegReadStringOrInit(kMirado19Key, L"Profiles Dir", ProgramFolder()) + L"qon_iec\\";
}

std::wstring GetMiradopro19IecFolder() {
    return RegReadStringOrInit(kMiradopro19Key, L"Profiles Dir", ProgramFolder()) + L"qon_iec\\";
}

std::wstring GetMirado19ProfilesFolder() { return ProfilesFolderOf(kMirado19Key); }

std::wstring GetMiradopro19ProfilesFolder() { return ProfilesFolderOf(kMiradopro19Key); }

// The AutoCAD menus sit beside the product folders, so the parent of the
// standard product's folder is wanted (or of the s product's when the
// standard one is not on disk). Dropping the last character first makes a
// stored folder with or without its trailing backslash give the same parent.
std::wstring GetMenuFolder() {
    std::wstring s = GetMirado19Folder();
    if (!FolderExists(s)) s = GetMirados19Folder();
    if (!s.empty()) s.pop_back();
    const size_t cut = s.rfind(L'\\');
    s = (cut == std::wstring::npos) ? std::wstring() : s.substr(0, cut + 1);
    return s + L"AutoCADMenu\\";
}
