#include "run/SessionSetup.h"

#include <windows.h>

#include "run/Variable.h"
#include "sys/Dateien.h"
#include "sys/Reg.h"
#include "sys/UpdateError.h"
#include "sys/WinSystem.h"

namespace {

const wchar_t kDefaultRootNew[] = L"C:\\ProgrammData\\";
const wchar_t kDefaultRootXp[] = L"C:\\Dokumente und Einstellungen\\All Users\\Anwendungsdaten\\";

}  // namespace

bool AcceptedWindows(const std::wstring& name) {
    return name == L"Windows 7" || name == L"Windows XP" || name == L"Windows 8" || name == L"Windows 10";
}

std::wstring DefaultAppDataRoot(const std::wstring& versionName) {
    if (versionName == L"Windows 7" || versionName == L"Windows 8" || versionName == L"Windows 10")
        return kDefaultRootNew;
    return kDefaultRootXp;
}

bool LocateAppData(Session& session, const std::wstring& defaultRoot,
                   const std::function<std::wstring()>& askForRoot) {
    session.appDataRoot = GetSpecialFolder(27);
    if (!FolderExists(session.appDataRoot)) {
        const std::wstring stored = RegReadString(session.registryRoot, kSettingsKey, L"Common AppData");
        if (FolderExists(stored + L"Talvero\\"))
            session.appDataRoot = stored;
        else if (FolderExists(defaultRoot + L"Talvero\\"))
            session.appDataRoot = defaultRoot;
        else if (askForRoot)
            session.appDataRoot = askForRoot();
    }
    if (!FolderExists(session.appDataRoot + L"Talvero\\")) return false;
    RegWriteString(session.registryRoot, kSettingsKey, L"Common AppData", session.appDataRoot);
    return true;
}

void DeriveFolders(Session& session) {
    session.proFolder = session.appDataRoot + L"talvero\\Miradopro19\\";
    session.dataTempFolder = session.appDataRoot + L"talvero\\temp\\";
    session.stdFolder = session.appDataRoot + L"talvero\\Mirados2019\\";
    if (!FolderExists(session.dataTempFolder) && !CreateDirectoryW(session.dataTempFolder.c_str(), nullptr))
        RaiseIoError(GetLastError());
    session.workFolder = GetWorkFolder(session.appDataRoot);
}
