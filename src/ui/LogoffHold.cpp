#include "ui/LogoffHold.h"

#include "sys/LazyDlls.h"

// Before Vista there is no such call: the lookup fails and the answer to
// WM_QUERYENDSESSION holds the log-off off alone.
LogoffHold::LogoffHold(HWND window, bool* running)
    : window_(window), running_(running), reasonSet_(lazy::ShutdownBlockReasonCreate(window, kLogoffReason) != FALSE) {
    *running_ = true;
}

LogoffHold::~LogoffHold() {
    *running_ = false;
    if (reasonSet_) lazy::ShutdownBlockReasonDestroy(window_);
}
