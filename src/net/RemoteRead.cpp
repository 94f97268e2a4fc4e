#include "net/RemoteRead.h"

#include "sys/Dateien.h"

namespace {

// Waking the other thread costs several calls into the wineserver under
// Wine, more than reading or writing a block; each side therefore wakes the
// other only once a few blocks are ready (or free), and the window's thread
// looks at the ring on its own at least this often, so a slow line still
// shows every block within a fraction of a frame.
constexpr unsigned kWakeBatch = 8;
constexpr DWORD kLookMs = 10;

// Asking the queue whether anything waits is several times cheaper than a
// message check that finds nothing (under Wine every check also polls the
// display connection), but still a call into the wineserver: on a fast line
// it cost more than the block it came with. The window's thread therefore
// asks once per kLookMs, not once per block; the clock costs no such call.
// Where blocks come slower, the wait for the next one answers messages.
class QueueLook {
public:
    void Now(Frontend& frontend, Heartbeat& beat) {
        const DWORD now = GetTickCount();
        if (now - last_ < kLookMs) return;
        last_ = now;
        if (HIWORD(GetQueueStatus(QS_ALLINPUT)) != 0) BreatheExcused(frontend, beat);
    }

private:
    DWORD last_ = GetTickCount() - kLookMs;
};

}  // namespace

void RemoteRead::Run() {
    const bool ok = Open();
    readable.store(ok);
    SetEvent(opened.get());
    if (ok) ReadAll();
    CloseHandlesOnce();
    Cleanup();
    SetEvent(finished.get());
}

void RemoteRead::ReadAll() {
    uint64_t total = 0;
    for (;;) {
        while (head_.load() - tail_.load() == kRing) {
            helperWaits_.store(true);
            if (head_.load() - tail_.load() < kRing || abandoned_.load()) break;
            WaitForSingleObject(freed_.get(), INFINITE);
            helperWaits_.store(false);
        }
        helperWaits_.store(false);
        if (abandoned_.load()) return;
        Block& b = ring_[head_.load() % kRing];
        DWORD got = 0;
        const BOOL ok = lazy::InternetReadFile(reading_, b.data, kBlockSize, &got);
        beat.Beat();
        b.size = ok ? got : 0;
        b.failed = !ok;
        const unsigned ready = head_.fetch_add(1) + 1 - tail_.load();
        const bool last = !ok || got == 0 || total + got > limit;
        if ((ready >= kWakeBatch || last) && windowWaits_.exchange(false)) SetEvent(arrived_.get());
        if (!ok || got == 0) return;
        total += got;
        // More than announced is a broken or hostile server; the window's
        // thread refuses the file, and nothing more is read.
        if (total > limit) return;
    }
}

RemoteRead::Block* RemoteRead::Next(DWORD stallMs, Frontend& frontend) {
    while (head_.load() == tail_.load()) {
        windowWaits_.store(true);
        if (head_.load() != tail_.load()) break;
        if (WaitPumping(arrived_.get(), beat, stallMs, frontend, kLookMs) == WaitEnd::Stalled) {
            windowWaits_.store(false);
            return nullptr;
        }
    }
    windowWaits_.store(false);
    return &ring_[tail_.load() % kRing];
}

void RemoteRead::Consumed() {
    const unsigned free = kRing - (head_.load() - (tail_.fetch_add(1) + 1));
    // A helper that waited for room waited for the program, not the network.
    if (free >= kWakeBatch && helperWaits_.exchange(false)) {
        beat.Beat();
        SetEvent(freed_.get());
    }
}

void RemoteRead::CloseHandlesOnce() {
    for (int slot = kSlots - 1; slot >= 0; --slot) {
        if (handles_[slot]) lazy::InternetCloseHandle(handles_[slot]);
        handles_[slot] = nullptr;
    }
}

void RemoteRead::Abandon() {
    abandoned_.store(true);
    SetEvent(freed_.get());
}

bool IsNetworkFault(DWORD error) {
    switch (error) {
    case ERROR_INTERNET_NAME_NOT_RESOLVED:
    case ERROR_INTERNET_CANNOT_CONNECT:
    case ERROR_INTERNET_TIMEOUT:
    case ERROR_INTERNET_CONNECTION_ABORTED:
    case ERROR_INTERNET_CONNECTION_RESET:
        return true;
    default:
        return false;
    }
}

bool StartRemoteRead(const std::shared_ptr<RemoteRead>& job) {
    std::shared_ptr<RemoteRead> keep = job;
    return job->Ready() && RunOnHelperThread([keep] { keep->Run(); });
}

void LeaveBehind(const std::shared_ptr<RemoteRead>& job) { job->Abandon(); }

void Finish(const std::shared_ptr<RemoteRead>& job, DWORD stallMs, Frontend& frontend) {
    job->Abandon();
    if (WaitPumping(job->finished.get(), job->beat, stallMs, frontend) == WaitEnd::Stalled) LeaveBehind(job);
}

bool FetchTarget::RefusesLength(uint64_t announced) {
    if (announced == kUnknownLength) return false;
    if (cap != kUnknownLength && announced > cap) tooLarge = true;
    else if (expected != kUnknownLength && announced != expected) sizeMismatch = true;
    return tooLarge || sizeMismatch;
}

void FetchTarget::Begin(uint64_t total) {
    if (!prepared) {
        progress.Prepare(total);
        prepared = true;
    }
    if (!busy) {
        frontend.ShowBusy(true);
        busy = true;
    }
    frontend.Breathe();
}

void FetchTarget::Restart() {
    if (written == 0) return;
    const LARGE_INTEGER start{};
    if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN) || !SetEndOfFile(file)) RaiseIoError(GetLastError());
    written = 0;
}

Received Receive(RemoteRead& job, FetchTarget& target, uint64_t total, DWORD stallMs) {
    Received r;
    QueueLook look;
    TrickleWatch trickle(target.pace, target.written);
    for (;;) {
        look.Now(target.frontend, job.beat);
        RemoteRead::Block* block = job.Next(stallMs, target.frontend);
        // No block for stallMs, or a failed read: the file is incomplete.
        if (!block || block->failed) {
            r.broken = true;
            r.silent = !block;
            return r;
        }
        const DWORD got = block->size;
        if (got > 0) {
            const DWORD error = WriteAll(target.file, block->data, got);
            if (error != ERROR_SUCCESS) RaiseIoError(error);
            r.any = true;
        }
        job.Consumed();
        target.written += got;
        target.progress.Show(target.written, total, target.localPath);
        if (got == 0) return r;
        // Past what the server, the list or the cap allows: the helper has
        // stopped reading, and nothing more will come.
        if (target.written > total || target.written > target.expected || target.written > target.cap) {
            r.broken = true;
            return r;
        }
        // A trickle is left to its helper like a silent server, and tried again.
        if (trickle.TooSlow(target.written)) {
            r.broken = true;
            r.silent = true;
            return r;
        }
    }
}
