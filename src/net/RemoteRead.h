#pragma once
// A remote file read block by block on a helper thread, for the fetches
// that show their progress (FTP, and HTTP when FTP cannot be reached). The
// helper opens the file (each protocol its own way) and reads ahead into a
// ring of blocks, so the next read runs while the window's thread writes
// and shows the last one; each side waits only when the ring is empty
// (window) or full (helper). A helper whose server has gone silent is left
// behind: it keeps the shared state alive until its call returns, if it
// ever does.
#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "sys/Handles.h"
#include "net/LiveWait.h"
#include "net/Reporting.h"
#include "net/TransferLimits.h"

inline constexpr DWORD kBlockSize = 4096;
// A limit for a read whose length nobody announced.
inline constexpr uint64_t kUnknownLength = UINT64_MAX;

class RemoteRead {
public:
    struct Block {
        DWORD size = 0;
        bool failed = false;
        char data[kBlockSize];
    };

    RemoteRead() = default;
    virtual ~RemoteRead() { CloseHandlesOnce(); }
    RemoteRead(const RemoteRead&) = delete;
    RemoteRead& operator=(const RemoteRead&) = delete;

    bool Ready() const { return opened && arrived_ && freed_ && finished; }
    // The helper's whole life: open, read until the end, clean up.
    void Run();

    // Window side. The next block, or nullptr once the helper has been
    // silent for stallMs; the block stays the window's until Consumed().
    Block* Next(DWORD stallMs, Frontend& frontend);
    void Consumed();
    // The window's thread needs nothing more: the helper stops after its
    // current call.
    void Abandon();

    Heartbeat beat;
    KernelHandle opened{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    KernelHandle finished{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    // Set by Open() before `opened`: whether the data can be read, and how
    // many bytes it may deliver at most (more ends the read as broken).
    std::atomic<bool> readable{false};
    uint64_t limit = kUnknownLength;

protected:
    enum Slot { kSession, kConnection, kRemote, kSlots };
    // Helper side: opens the remote file and hands its handle to
    // StartReading(); false when it could not be opened. Each step beats.
    virtual bool Open() = 0;
    // After the handles are closed, on the helper's thread.
    virtual void Cleanup() {}
    // Takes a new handle into its slot: the helper closes it when it ends.
    void Keep(HINTERNET handle, Slot slot) { handles_[slot] = handle; }
    void StartReading(HINTERNET handle) { reading_ = handle; }
    // The window's thread gave up: the helper makes no further call.
    bool Abandoned() const { return abandoned_.load(); }
    // Makes one WinInet call unless the window's thread has given up; false
    // when it had, before the call or by its end: the helper then stops.
    template <typename Call>
    bool Guarded(Call&& call) {
        if (Abandoned()) return false;
        call();
        return !Abandoned();
    }

private:
    static constexpr unsigned kRing = 32;

    void ReadAll();
    void CloseHandlesOnce();

    // Only the helper's thread touches the handles, so none is ever closed
    // under a call still using it: a handle's value may name a new handle
    // once it is closed.
    HINTERNET handles_[kSlots] = {};
    HINTERNET reading_ = nullptr;
    std::atomic<bool> abandoned_{false};

    KernelHandle arrived_{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    KernelHandle freed_{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    std::atomic<bool> windowWaits_{false}, helperWaits_{false};
    std::atomic<unsigned> head_{0}, tail_{0};
    Block ring_[kRing];
};

// On every way out of a wait for a job, errors included, its helper is
// told to stop; it then ends on its own.
class ReadRelease {
public:
    explicit ReadRelease(const std::shared_ptr<RemoteRead>& job) : job_(job) {}
    ~ReadRelease() { job_->Abandon(); }
    ReadRelease(const ReadRelease&) = delete;
    ReadRelease& operator=(const ReadRelease&) = delete;

private:
    std::shared_ptr<RemoteRead> job_;
};

// Faults of the network itself, below anything a server says: no name, no
// connection, no answer in time, a connection broken off.
bool IsNetworkFault(DWORD error);

// Starts job->Run() on a helper thread; false when no thread could be made.
bool StartRemoteRead(const std::shared_ptr<RemoteRead>& job);
// Leaves a job whose server went silent to its helper, which ends once its
// call returns (WinInet's own time-outs end it on Windows; under Wine an FTP
// read may wait for ever) and then closes its handles itself. They are
// never closed from outside: a call still inside WinInet would then run on
// freed state.
void LeaveBehind(const std::shared_ptr<RemoteRead>& job);
// Ends a job that is not stuck: its helper stops after the current call and
// closes its handles itself, which is waited for (no longer than the stall
// time: a server may fall silent just then).
void Finish(const std::shared_ptr<RemoteRead>& job, DWORD stallMs, Frontend& frontend);

// The file a fetch writes into over one or more attempts, and what it has
// shown of it: a retry goes on where the last attempt stopped.
struct FetchTarget {
    HANDLE file;
    const std::wstring& localPath;
    TransferProgress& progress;
    Frontend& frontend;
    uint64_t written = 0;
    bool prepared = false;
    bool busy = false;
    // The length the list gives the file (kUnknownLength: none). A server
    // that gives another, or sends more, ends the fetch with sizeMismatch.
    uint64_t expected = kUnknownLength;
    bool sizeMismatch = false;
    // The most the fetch takes (kUnknownLength: no bound); more ends it with
    // tooLarge, as soon as it is announced or arrives.
    uint64_t cap = kUnknownLength;
    bool tooLarge = false;
    // What counts as a trickle (TransferLimits); the default: nothing does.
    TransferLimits pace{0, {0, 0}, 0, 0};

    // Once the length is known: the display is prepared once per fetch.
    void Begin(uint64_t total);
    // Back to an empty file, for an attempt that starts from the beginning.
    void Restart();
    // True (with tooLarge or sizeMismatch set) when a server announces a
    // length (kUnknownLength: none) the fetch must not take: past the cap,
    // or not the one the list gives.
    bool RefusesLength(uint64_t announced);
};

struct Received {
    bool broken = false;  // the data ended early, a read failed, or more came than the limit
    bool silent = false;  // the helper went silent: it is left behind
    bool any = false;     // at least one byte arrived in this attempt
};

// Writes the helper's blocks into target until the end of the data, a
// failed or missing block, or more than total; shows each one. A local
// write error is raised as UpdateError.
Received Receive(RemoteRead& job, FetchTarget& target, uint64_t total, DWORD stallMs);
