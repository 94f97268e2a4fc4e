#pragma once
// While the install run works, a log-off or shutdown would end the process
// between any two files. The window holds it off for as long as the run
// lasts: it answers WM_QUERYENDSESSION with FALSE (what Windows XP asks
// for), and from Vista on names its reason, which Windows shows in its
// list of programs that keep it from ending the session.
#include <windows.h>

inline constexpr const wchar_t* kLogoffReason =
    L"Talvero Liveupdate installiert gerade Updates. Bitte warten Sie, bis es fertig ist.";

class LogoffHold {
public:
    // *running is true for the hold's life; the window's WM_QUERYENDSESSION
    // answers by it.
    LogoffHold(HWND window, bool* running);
    ~LogoffHold();
    LogoffHold(const LogoffHold&) = delete;
    LogoffHold& operator=(const LogoffHold&) = delete;

private:
    HWND window_;
    bool* running_;
    bool reasonSet_;
};
