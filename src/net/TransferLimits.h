#pragma once
// How long a transfer may go without receiving anything before it counts as
// failed (the window answers all the while), and the pauses before each new
// try of a fetch that broke off or went silent mid-file: a line that drops
// for a moment costs the file only when the third try fails as well.
#include <windows.h>

#include <cstdint>

#include "net/LiveWait.h"

struct TransferLimits {
    DWORD stallMs = kDefaultStallMs;
    DWORD retryPausesMs[2] = {1000, 5000};
    // A line that never falls silent but brings less than this many bytes
    // a second over slowWindowMs is as good as stalled: a trickle must not
    // hold the run forever.
    DWORD slowWindowMs = 60000;
    DWORD minBytesPerSecond = 1000;
};

// Tells a trickle from a slow line: every window of limits.slowWindowMs
// must bring limits.minBytesPerSecond on average. Fed with the bytes so far.
class TrickleWatch {
public:
    explicit TrickleWatch(const TransferLimits& limits, uint64_t bytesNow = 0)
        : windowMs_(limits.slowWindowMs), rate_(limits.minBytesPerSecond), since_(GetTickCount()), from_(bytesNow) {}
    // True once a whole window brought too little.
    bool TooSlow(uint64_t bytesNow) {
        if (windowMs_ == 0 || rate_ == 0) return false;
        const DWORD now = GetTickCount();
        const DWORD elapsed = now - since_;
        if (elapsed < windowMs_) return false;
        const uint64_t came = bytesNow >= from_ ? bytesNow - from_ : 0;
        if (came * 1000 < static_cast<uint64_t>(rate_) * elapsed) return true;
        since_ = now;
        from_ = bytesNow;
        return false;
    }

private:
    DWORD windowMs_, rate_, since_;
    uint64_t from_;
};
