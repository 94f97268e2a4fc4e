// The creation step: the Windows version gate, where the application data
// lives (asking with the folder browser as a last resort) and the folders
// derived from it.
#include "ui/main.h"

#include <shlobj.h>

#include "sys/Dateien.h"
#include "sys/Handles.h"
#include "sys/Reg.h"
#include "run/SessionSetup.h"
#include "sys/WinSystem.h"
#include "net/Transfers.h"

namespace {

constexpr int kFinalOuterWidth = 470;
constexpr int kFinalClientHeight = 400;

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
        outcome_ = RunResult::StartupRefused;
    }
    const std::wstring defaultRoot = DefaultAppDataRoot(versionName);
    const std::wstring prompt =
        L"Wo befindet sich das Applicationsverzeichnis?\r\rNormalerweise: " + defaultRoot;

    session_.registryRoot = DetermineRegistryRoot();
    if (!LocateAppData(session_, defaultRoot, [this, &prompt] { return BrowseForRoot(hwnd_, prompt); })) {
        ShowMessage(L"Applicationspfad wurde nicht gefunden!\r\rFühren Sie das Live-Update mit "
                    L"Administrationsrecht aus!",
                    kAppTitle, MB_OK | MB_ICONERROR);
        RequestTerminate();
        outcome_ = RunResult::StartupRefused;
    }
    DeriveFolders(session_);

    RECT rc{0, 0, 0, kFinalClientHeight};
    AdjustWindowRectEx(&rc, kStyle, FALSE, kExStyle);
    SetWindowPos(hwnd_, nullptr, 0, 0, kFinalOuterWidth, rc.bottom - rc.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client;
    GetClientRect(hwnd_, &client);
    MoveWindow(Panel1, 0, 0, client.right, client.bottom, FALSE);
}
