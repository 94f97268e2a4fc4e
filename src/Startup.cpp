// The creation step: the Windows version gate, where the application data
// lives (asking with the folder browser as a last resort) and the folders
// derived from it.
#include "main.h"

#include <shlobj.h>

#include "Dateien.h"
#include "Reg.h"
#include "Variable.h"
#include "WinSystem.h"
#include "internet.h"

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
    if (PIDLIST_ABSOLUTE pidl = SHBrowseForFolderW(&bi)) {
        wchar_t path[MAX_PATH] = L"";
        if (SHGetPathFromIDListW(pidl, path)) chosen = path;
        CoTaskMemFree(pidl);
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
    AppDataRoot = GetSpecialFolder(27);
    const std::wstring prompt =
        L"Wo befindet sich das Applicationsverzeichnis?\r\rNormalerweise: " + defaultRoot;

    RegistryRoot = DetermineRegistryRoot();

    if (!FolderExists(AppDataRoot)) {
        const std::wstring stored = RegReadString(kSettingsKey, L"Common AppData");
        if (FolderExists(stored + L"Talvero\\"))
            AppDataRoot = stored;
        else if (FolderExists(defaultRoot + L"Talvero\\"))
            AppDataRoot = defaultRoot;
        else
            AppDataRoot = BrowseForRoot(hwnd_, prompt);
    }

    if (FolderExists(AppDataRoot + L"Talvero\\")) {
        RegWriteString(kSettingsKey, L"Common AppData", AppDataRoot);
    } else {
        ShowMessage(L"Applicationspfad wurde nicht gefunden!\r\rFühren Sie das Live-Update mit "
                    L"Administrationsrecht aus!",
                    kAppTitle, MB_OK | MB_ICONERROR);
        RequestTerminate();
    }

    ProFolder = AppDataRoot + L"talvero\\Miradopro19\\";
    DataTempFolder = AppDataRoot + L"talvero\\temp\\";
    StdFolder = AppDataRoot + L"talvero\\Mirados2019\\";
    if (!FolderExists(DataTempFolder) && !CreateDirectoryW(DataTempFolder.c_str(), nullptr))
        RaiseIoError(GetLastError());
    WorkFolder = GetWorkFolder();

    RECT rc{0, 0, 0, kFinalClientHeight};
    AdjustWindowRectEx(&rc, kStyle, FALSE, kExStyle);
    SetWindowPos(hwnd_, nullptr, 0, 0, kFinalOuterWidth, rc.bottom - rc.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client;
    GetClientRect(hwnd_, &client);
    MoveWindow(Panel1, 0, 0, client.right, client.bottom, FALSE);
}
