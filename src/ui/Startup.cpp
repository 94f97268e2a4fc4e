// The creation step: the Windows version gate, where the application data
// lives (asking with the folder browser as a last resort) and the folders
// derived from it.
#include "ui/main.h"

#include <shlobj.h>

#include "sys/Dateien.h"
#include "sys/Handles.h"
#include "sys/Reg.h"
#include "run/Variable.h"
#include "sys/WinSystem.h"
#include "net/Transfers.h"

namespace {

constexpr int kFinalOuterWidth = 470;
constexpr int kFinalClientHeight = 400;

const wchar_t kDefaultRootNew[] = L"C:\\ProgrammData\\";
const wchar_t kDefaultRootXp[] = L"C:\\Dokumente und Einstellungen\\All Users\\Anwendungsdaten\\";

bool AcceptedWindows(const std::wstring& name) {
    return name == L"Windows 7" || name == L"Windows XP" || name == L"Windows 8" || name == L"Windows 10";
}

std::wstring DefaultRoot(const std::wstring& versionName) {
    if (versionName == L"Windows 7" || versionName == L"Windows 8" || versionName == L"Windows 10")
        return kDefaultRootNew;
    return kDefaultRootXp;
}

int CALLBACK BrowseInit(HWND dialog, UINT msg, LPARAM, LPARAM preset) {
    if (msg == BFFM_INITIALIZED) SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, preset);
    return 0;
}

std::wstring WithBackslash(std::wstring s) {
    if (s.empty() || s.back() != L'\\') s += L'\\';
    return s;
}

// fdApp: the standard folder browser, preset to the current folder. A cancel
// leaves the preset as the answer.
std::wstring BrowseForRoot(HWND owner, const std::wstring& prompt) {
    wchar_t current[MAX_PATH] = L"";
    GetCurrentDirectoryW(MAX_PATH, current);
    std::wstring chosen = current;
    BROWSEINFOW bi{};
    bi.hwndOwner = owner;
    bi.lpszTitle = prompt.c_str();
    bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    bi.lpfn = BrowseInit;
    bi.lParam = reinterpret_cast<LPARAM>(current);
    // The browser in its new style needs OLE on this thread.
    const OleScope ole;
    if (PIDLIST_ABSOLUTE pidl = lazy::SHBrowseForFolderW(&bi)) {
        wchar_t path[MAX_PATH] = L"";
        if (lazy::SHGetPathFromIDListW(pidl, path)) chosen = path;
        lazy::CoTaskMemFree(pidl);
    }
    return WithBackslash(chosen);
}

}  // namespace

void TfrmMain::FormCreate() {
    // The layout is laid out in design pixels and this window framework does
    // not scale it by the screen density, so there is no scaling to take back
    // on a screen that is not at 96 pixels per inch.
    const std::wstring versionName = GetWindowsVersionName();
    if (!AcceptedWindows(versionName)) {
        ShowMessage(L"Ihr Betriebssystem ist nicht für Mirado 2019 geeignet.", kAppTitle,
                    MB_OK | MB_ICONINFORMATION);
        RequestTerminate();
    }
    const std::wstring defaultRoot = DefaultRoot(versionName);
    session_.appDataRoot = GetSpecialFolder(27);
    const std::wstring prompt =
        L"Wo befindet sich das Applicationsverzeichnis?\r\rNormalerweise: " + defaultRoot;

    session_.registryRoot = DetermineRegistryRoot();

    if (!FolderExists(session_.appDataRoot)) {
        const std::wstring stored = RegReadString(session_.registryRoot, kSettingsKey, L"Common AppData");
        if (FolderExists(stored + L"Talvero\\"))
            session_.appDataRoot = stored;
        else if (FolderExists(defaultRoot + L"Talvero\\"))
            session_.appDataRoot = defaultRoot;
        else
            session_.appDataRoot = BrowseForRoot(hwnd_, prompt);
    }

    if (FolderExists(session_.appDataRoot + L"Talvero\\")) {
        RegWriteString(session_.registryRoot, kSettingsKey, L"Common AppData", session_.appDataRoot);
    } else {
        ShowMessage(L"Applicationspfad wurde nicht gefunden!\r\rFühren Sie das Live-Update mit "
                    L"Administrationsrecht aus!",
                    kAppTitle, MB_OK | MB_ICONERROR);
        RequestTerminate();
    }

    session_.proFolder = session_.appDataRoot + L"talvero\\Miradopro19\\";
    session_.dataTempFolder = session_.appDataRoot + L"talvero\\temp\\";
    session_.stdFolder = session_.appDataRoot + L"talvero\\Mirados2019\\";
    if (!FolderExists(session_.dataTempFolder) && !CreateDirectoryW(session_.dataTempFolder.c_str(), nullptr))
        RaiseIoError(GetLastError());
    session_.workFolder = GetWorkFolder(session_.appDataRoot);

    RECT rc{0, 0, 0, kFinalClientHeight};
    AdjustWindowRectEx(&rc, kStyle, FALSE, kExStyle);
    SetWindowPos(hwnd_, nullptr, 0, 0, kFinalOuterWidth, rc.bottom - rc.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client;
    GetClientRect(hwnd_, &client);
    MoveWindow(Panel1, 0, 0, client.right, client.bottom, FALSE);
}
