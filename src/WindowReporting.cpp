#include "WindowReporting.h"

#include <shellapi.h>

#include "main.h"

int WindowFrontend::Message(const std::wstring& text, const std::wstring& caption, UINT flags) {
    return ShowMessage(text, caption, flags);
}

void WindowFrontend::Open(const std::wstring& path, const wchar_t* verb, int show) {
    ShellExecuteW(ApplicationWindow(), verb, path.c_str(), nullptr, nullptr, show);
}

void WindowFrontend::ShowBusy(bool busy) { SetBusyCursor(busy); }

void WindowFrontend::Breathe() { ProcessMessages(); }

void WindowFrontend::KeepAlive() { KeepWindowAlive(); }

bool HttpDownload(const std::wstring& url, const std::wstring& dest, bool askToOpen, const TransferLimits& limits) {
    WindowFrontend frontend;
    return HttpDownload(url, dest, askToOpen, frontend, limits);
}
