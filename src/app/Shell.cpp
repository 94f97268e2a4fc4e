#include "app/Shell.h"

#include "net/Reporting.h"  // kAppTitle

namespace {

HWND owner = nullptr;
bool busyCursor = false;

}  // namespace

void SetApplicationWindow(HWND window) { owner = window; }

HWND ApplicationWindow() { return owner; }

void ProcessMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Leave the quit for the message loop that ends the program.
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        HWND main = ApplicationWindow();
        if (!main || !IsDialogMessageW(main, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

void KeepWindowAlive() {
    // Between two looks at the queue only the clock is read, which costs
    // no call to the window system.
    static DWORD lastLook = 0;
    const DWORD now = GetTickCount();
    if (now - lastLook < 10) return;
    lastLook = now;
    if (HIWORD(GetQueueStatus(QS_ALLINPUT)) != 0) ProcessMessages();
}

void ShowGeneralError(const std::wstring& message) {
    std::wstring text = message;
    if (!text.empty() && text.back() > L'.') text += L'.';
    MessageBoxW(ApplicationWindow(), text.c_str(), kAppTitle, MB_OK | MB_ICONERROR);
}

bool BusyCursorShown() { return busyCursor; }

void SetBusyCursor(bool busy) {
    busyCursor = busy;
    SetCursor(LoadCursorW(nullptr, busy ? IDC_WAIT : IDC_ARROW));
}

int ShowMessage(const std::wstring& text, const std::wstring& caption, UINT flags) {
    return MessageBoxW(ApplicationWindow(), text.c_str(), caption.c_str(), flags);
}
