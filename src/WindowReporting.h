#pragma once
// The work layer's interfaces over the main window, and the calls the
// window's handlers make into the work layer through them.
#include <windows.h>

#include <string>

#include "Reporting.h"
#include "Transfers.h"

// Boxes owned by the main window (none while there is no window), its busy
// cursor and its message pump.
class WindowFrontend final : public Frontend {
public:
    int Message(const std::wstring& text, const std::wstring& caption, UINT flags) override;
    void Open(const std::wstring& path, const wchar_t* verb, int show) override;
    void ShowBusy(bool busy) override;
    void Breathe() override;
    void KeepAlive() override;
};

// HttpDownload with the window's boxes, as the window's handlers fetch.
bool HttpDownload(const std::wstring& url, const std::wstring& dest, bool askToOpen,
                  const TransferLimits& limits = TransferLimits());
