#pragma once
// How long a transfer may go without receiving anything before it counts as
// failed (the window answers all the while), and the pauses before each new
// try of a fetch that broke off or went silent mid-file: a line that drops
// for a moment costs the file only when the third try fails as well.
#include <windows.h>

#include "net/LiveWait.h"

struct TransferLimits {
    DWORD stallMs = kDefaultStallMs;
    DWORD retryPausesMs[2] = {1000, 5000};
};
