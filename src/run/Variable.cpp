#include "run/Variable.h"

#include "sys/Dateien.h"
#include "sys/Reg.h"

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH * 2];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    std::wstring s(path, n);
    return s.substr(0, s.find_last_of(L"\\:") + 1);
}

std::wstring GetWorkFolder(const std::wstring& appDataRoot) {
    std::wstring folder = appDataRoot + L"talvero\\temp\\";
    if (!FolderExists(folder)) ForceFolderChain(folder);
    return folder;
}

// ---- product folders ----

namespace {

constexpr const wchar_t* kMirado19Key = L"\\SOFTWARE\\Talvero\\Mirado19\\Settings";
constexpr const wchar_t* kMirados19Key = L"\\SOFTWARE\\Talvero\\Mirados19\\Settings";

// A registered profiles folder that has gone missing (product moved,
// drive unplugged) falls back to the shared data folder, and to nothing
// when that is missing too: the caller then builds on an empty text.
std::wstring ProfilesFolderOf(const Session& session, const wchar_t* productKey) {
    std::wstring s = RegReadStringOrInit(session.registryRoot, productKey, L"Profiles Dir", std::wstring());
    if (!FolderExists(s)) s = session.dataTempFolder + L"Profiles\\";
    return FolderExists(s) ? s : std::wstring();
}

}  // namespace

std::wstring GetMirado19Folder(const Session& session) { return RegReadStringOrInit(session.registryRoot, kSettingsKey, L"Mirado19 Dir", ProgramFolder()); }

// The pro product has no sensible default beside the updater: it may simply
// not be installed, so an empty text is stored.
std::wstring GetMiradopro19Folder(const Session& session) { return RegReadStringOrInit(session.registryRoot, kSettingsKey, L"Miradopro19 Dir", std::wstring()); }

std::wstring GetMirados19Folder(const Session& session) { return RegReadStringOrInit(session.registryRoot, kSettingsKey, L"Mirados19 Dir", ProgramFolder()); }

std::wstring GetNorvix19Folder(const Session& session) { return RegReadStringOrInit(session.registryRoot, kSettingsKey, L"norvix19 Dir", ProgramFolder()); }

std::wstring GetMirado19IecFolder(const Session& session) {
    return RegReadStringOrInit(session.registryRoot, kMirado19Key, L"Profiles Dir", ProgramFolder()) + L"qon_iec\\";
}

std::wstring GetMiradopro19IecFolder(const Session& session) {
    return RegReadStringOrInit(session.registryRoot, kMiradopro19Key, L"Profiles Dir", ProgramFolder()) + L"qon_iec\\";
}

std::wstring GetMirado19ProfilesFolder(const Session& session) { return ProfilesFolderOf(session, kMirado19Key); }

std::wstring GetMiradopro19ProfilesFolder(const Session& session) { return ProfilesFolderOf(session, kMiradopro19Key); }

// The AutoCAD menus sit beside the product folders, so the parent of the
// standard product's folder is wanted (or of the s product's when the
// standard one is not on disk). Dropping the last character first makes a
// stored folder with or without its trailing backslash give the same parent.
std::wstring GetMenuFolder(const Session& session) {
    std::wstring s = GetMirado19Folder(session);
    if (!FolderExists(s)) s = GetMirados19Folder(session);
    if (!s.empty()) s.pop_back();
    const size_t cut = s.rfind(L'\\');
    s = (cut == std::wstring::npos) ? std::wstring() : s.substr(0, cut + 1);
    return s + L"AutoCADMenu\\";
}

// ---- symbol and template folders of the s product ----

std::wstring GetSymbolFolder(const Session& session) {
    return RegReadStringOrInit(session.registryRoot, kMirados19Key, L"Symbol Dir",
                               session.dataTempFolder + L"Profiles\\qon_schema\\Symbole\\");
}

// "Vorlage Dir" names a template file rather than a folder, so only its
// folder part counts; a stale value falls back to the shared data folder.
std::wstring GetTemplateFolder(const Session& session) {
    const std::wstring stored = RegReadStringOrInit(session.registryRoot, kMirados19Key, L"Vorlage Dir",
                                                    session.dataTempFolder + L"Profiles\\qon_schema\\template\\");
    const std::wstring folder = ExtractFilePath(stored);
    return FolderExists(folder) ? folder : session.dataTempFolder + L"template\\";
}
