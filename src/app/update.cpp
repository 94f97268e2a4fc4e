// Program entry of the Talvero Liveupdate wizard.
#include <windows.h>
#include <commctrl.h>

#include "app/CommandLine.h"
#include "run/RunResult.h"
#include "run/Unattended.h"
#include "sys/Reg.h"
#include "ui/main.h"

namespace {

// Two copies share the work folder: one would delete the update list while
// the other installs from it. The first copy holds this name for its whole
// run, for every user of the machine.
constexpr const wchar_t* kInstanceName = L"Global\\TalveroLiveupdate19";

// A visible window the running copy's main window owns (a box it shows),
// else the main window itself. The box's owner window stays disabled while
// it shows, so bringing that forward would leave the box behind it.
BOOL CALLBACK FindOwnedPopup(HWND window, LPARAM param) {
    HWND* found = reinterpret_cast<HWND*>(param);
    if (!IsWindowVisible(window) || GetWindow(window, GW_OWNER) != found[0]) return TRUE;
    found[1] = window;
    return FALSE;
}

HWND FrontOf(HWND running) {
    HWND found[2] = {running, nullptr};
    EnumWindows(FindOwnedPopup, reinterpret_cast<LPARAM>(found));
    return found[1] ? found[1] : running;
}

// A second start brings the running wizard to the front and ends. A copy
// in another Windows session (fast user switching, a remote desktop
// server) has no window on this desktop: the user is told, rather than
// seeing nothing happen. Where the running copy shows a box, the box comes
// to the front, not the window it keeps disabled.
void ShowRunningCopy() {
    HWND running = FindWindowW(L"TfrmMain", kAppTitle);
    if (!running) {
        MessageBoxW(nullptr, L"Talvero Liveupdate läuft bereits.", kAppTitle, MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (IsIconic(running)) ShowWindow(running, SW_RESTORE);
    SetForegroundWindow(FrontOf(running));
}

// The usage, with the part of the command line not understood first
// (empty: the usage was asked for).
void ShowUsage(const std::wstring& unknown) {
    MessageBoxW(nullptr, UsageText(unknown).c_str(), kAppTitle, MB_OK | MB_ICONINFORMATION);
}

// The wizard with its window, as it has always run. Its result, once it
// reached one, is stored for inventory tools.
int RunWizard(HINSTANCE instance) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    TfrmMain form;
    if (!form.Create(instance)) return 1;
    form.Show();
    // A refusal during creation ends the program once the loop runs.
    if (form.TerminateRequested()) PostQuitMessage(0);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        HWND main = form.Handle();
        if (!main || !IsDialogMessageW(main, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    if (form.Outcome()) StoreRunResult(form.session().registryRoot, *form.Outcome());
    return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    const CommandLine line = ParseCommandLine(GetCommandLineW());
    const bool unattended = line.mode == CommandLine::Mode::Unattended;
    if (line.mode == CommandLine::Mode::Usage) {
        ShowUsage(std::wstring());
        return 0;
    }
    if (line.mode == CommandLine::Mode::NotUnderstood) {
        // A deployment tool's command line gets its code, and no box that
        // nobody would close.
        if (!line.unattended) ShowUsage(line.unknown);
        StoreRunResult(DetermineRegistryRoot(), RunResult::BadCommandLine);
        return ExitCode(RunResult::BadCommandLine);
    }
    HANDLE instanceMark = CreateMutexW(nullptr, FALSE, kInstanceName);
    // Another user's copy holds the name with rights this one does not get.
    const bool another = instanceMark ? GetLastError() == ERROR_ALREADY_EXISTS : GetLastError() == ERROR_ACCESS_DENIED;
    int exitCode = 0;
    if (another) {
        if (!unattended) ShowRunningCopy();
        StoreRunResult(DetermineRegistryRoot(), RunResult::AnotherCopy);
        exitCode = unattended ? ExitCode(RunResult::AnotherCopy) : 0;
    } else if (unattended) {
        HKEY root = HKEY_CURRENT_USER;
        const RunResult result = RunUnattended(&root);
        StoreRunResult(root, result);
        exitCode = ExitCode(result);
    } else {
        exitCode = RunWizard(instance);
    }
    if (instanceMark) CloseHandle(instanceMark);
    return exitCode;
}
