#include "net/LiveWait.h"

#include <algorithm>

// Handling a message or two is part of waiting; only a stay long enough to
// be a modal loop (a box, a held title bar or system menu) is excused.
// Excusing every stay would let a thread kept busy by messages wait far
// longer than the limit for a server that is gone.
constexpr DWORD kAwayMs = 500;

void BreatheExcused(Frontend& frontend, Heartbeat& beat) {
    const DWORD start = GetTickCount();
    frontend.Breathe();
    const DWORD away = GetTickCount() - start;
    if (away >= kAwayMs) beat.Excuse(away);
}

WaitEnd WaitPumping(HANDLE event, Heartbeat& beat, DWORD stallMs, Frontend& frontend, DWORD sliceMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD silence = beat.Silence();
        // What came while the thread was away counts, however long that was.
        if (silence >= stallMs)
            return WaitForSingleObject(event, 0) == WAIT_OBJECT_0 ? WaitEnd::Signalled : WaitEnd::Stalled;
        DWORD timeout = stallMs - silence;
        if (sliceMs != INFINITE) {
            const DWORD spent = GetTickCount() - start;
            if (spent >= sliceMs) return WaitEnd::SliceOver;
            timeout = std::min(timeout, sliceMs - spent);
        }
        const DWORD r = MsgWaitForMultipleObjects(1, &event, FALSE, timeout, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0) return WaitEnd::Signalled;
        if (r == WAIT_OBJECT_0 + 1) BreatheExcused(frontend, beat);
        // WAIT_TIMEOUT: the silence and the slice are measured afresh above.
    }
}

void PauseLive(DWORD ms, Frontend& frontend) {
    static const HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    Heartbeat beat;
    if (never) WaitPumping(never, beat, INFINITE, frontend, ms);
}

namespace {

DWORD WINAPI HelperMain(void* param) {
    std::unique_ptr<std::function<void()>> work(static_cast<std::function<void()>*>(param));
    try {
        (*work)();
    } catch (...) {
        // Nothing may leave a thread: the waiting side sees the missing
        // result as a failed call.
    }
    return 0;
}

}  // namespace

bool RunOnHelperThread(std::function<void()> work) {
    auto* owned = new std::function<void()>(std::move(work));
    HANDLE thread = CreateThread(nullptr, 0, HelperMain, owned, 0, nullptr);
    if (!thread) {
        delete owned;
        return false;
    }
    CloseHandle(thread);
    return true;
}
