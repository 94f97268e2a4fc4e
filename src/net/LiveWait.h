#pragma once
// Blocking calls that cannot be trusted to return (a server that accepts a
// connection and then sends nothing) run on a helper thread, while the
// window's thread waits for them and keeps answering its messages. A call
// that shows no progress for too long is left behind: its helper keeps the
// shared state alive until the call returns, if it ever does.
#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>

#include "net/Reporting.h"

// No byte for this long ends a transfer as failed.
inline constexpr DWORD kDefaultStallMs = 30000;

// Progress as the helper reports it: the tick count of its last sign of
// life. Written by the helper, read by the waiting thread. Only silence of
// the network may fail a transfer: time in which the program itself took
// nothing (a modal loop, a box, the user holding the window) is excused by
// the waiting thread, and a helper it kept waiting counts as alive.
class Heartbeat {
public:
    Heartbeat() : last_(GetTickCount()) {}
    void Beat() noexcept { last_.store(GetTickCount(), std::memory_order_relaxed); }
    // The last ms of silence do not count (no further back than the last beat).
    void Excuse(DWORD ms) noexcept {
        DWORD last = last_.load(std::memory_order_relaxed);
        for (;;) {
            const DWORD now = GetTickCount();
            const DWORD moved = now - last > ms ? last + ms : now;
            if (last_.compare_exchange_weak(last, moved, std::memory_order_relaxed)) return;
        }
    }
    // Milliseconds since the last beat.
    DWORD Silence() const noexcept { return GetTickCount() - last_.load(std::memory_order_relaxed); }

private:
    std::atomic<DWORD> last_;
};

// Lets frontend handle the waiting thread's messages; a stay there long
// enough to be a modal loop is excused from beat's silence.
void BreatheExcused(Frontend& frontend, Heartbeat& beat);

enum class WaitEnd { Signalled, Stalled, SliceOver };

// Waits until event is set, letting frontend handle the calling thread's
// messages as they arrive (BreatheExcused); gives up once the heartbeat has
// been silent for stallMs and the event is still not set, and returns
// SliceOver after sliceMs for a caller that wants to look at something else
// now and then.
WaitEnd WaitPumping(HANDLE event, Heartbeat& beat, DWORD stallMs, Frontend& frontend,
                    DWORD sliceMs = INFINITE);

// Waits ms while frontend handles the calling thread's messages: a pause
// the window lives through.
void PauseLive(DWORD ms, Frontend& frontend);

// Runs work on a new helper thread that holds its own reference to whatever
// work captures; false when no thread could be made (work does not run).
bool RunOnHelperThread(std::function<void()> work);
