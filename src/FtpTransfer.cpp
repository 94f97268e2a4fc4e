// The FTP fetch with its progress display. The WinInet calls run on a
// helper thread that reads ahead block by block; the window's thread writes
// the blocks, refreshes the display and answers its messages, and it stops
// waiting for a server that has gone silent.
#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <memory>
#include <mutex>

#include "Dateien.h"
#include "Handles.h"
#include "LiveWait.h"
#include "SideFiles.h"
#include "Transfers.h"

namespace {

constexpr DWORD kBlockSize = 4096;

// Waking the other thread costs several calls into the wineserver under
// Wine, more than reading or writing a block; each side therefore wakes the
// other only once a few blocks are ready (or free), and the window's thread
// looks at the ring on its own at least this often, so a slow line still
// shows every block within a fraction of a frame.
constexpr unsigned kWakeBatch = 8;
constexpr DWORD kLookMs = 10;

void Inform(Frontend& frontend, const std::wstring& text) { frontend.Message(text, kBoxCaption, MB_OK); }

// Asking the queue whether anything waits is several times cheaper than a
// message check that finds nothing (under Wine every check also polls the
// display connection), and a transfer asks once per block; an empty queue
// has nothing to process.
void ProcessPendingMessages(Frontend& frontend) {
    if (HIWORD(GetQueueStatus(QS_ALLINPUT)) != 0) frontend.Breathe();
}

// How far the helper got before the file could be read; the window's
// thread turns each refusal into its message.
enum class Opening : int { Pending, Open, NoSession, NoHost, NoFolder, NoFile, NoRemote };

// One FTP session, shared by the window's thread and the helper that makes
// the WinInet calls. The helper reads ahead into a ring of blocks, so the
// next read runs while the window's thread writes and shows the last one;
// each side waits only when the ring is empty (window) or full (helper).
class FtpJob {
public:
    struct Block {
        DWORD size = 0;
        bool failed = false;
        char data[kBlockSize];
    };

    FtpJob(const std::wstring& host, const std::wstring& user, const std::wstring& password, uint16_t port,
           const std::wstring& folder, const std::wstring& file)
        : host_(host), user_(user), password_(password), folder_(folder), file_(file), port_(port) {}
    ~FtpJob() { CloseHandlesOnce(); }
    FtpJob(const FtpJob&) = delete;
    FtpJob& operator=(const FtpJob&) = delete;

    bool Ready() const { return opened && arrived && freed && finished; }
    // The helper's whole life: open, read until the end, clean up.
    void Run();

    // Window side. The next block, or nullptr once the helper has been
    // silent for stallMs; the block stays the window's until Consumed().
    Block* Next(DWORD stallMs, Frontend& frontend);
    void Consumed();
    // The window's thread needs nothing more: the helper stops after its
    // current call. When that call may never return (a silent server), the
    // handles are closed from yet another thread, which wakes it where the
    // platform can; the window's thread never waits for that.
    void Abandon();
    void CloseHandles() { CloseHandlesOnce(); }

    Heartbeat beat;
    KernelHandle opened{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    KernelHandle finished{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::atomic<Opening> opening{Opening::Pending};
    std::atomic<bool> connected{false};
    uint64_t size = 0;  // from the listing; valid once opened is set

private:
    static constexpr unsigned kRing = 32;

    void Open();
    void ReadAll();
    // Takes a new handle into its slot; once the handles were closed from
    // outside, it closes the handle at once and says so.
    bool Keep(HINTERNET handle, HINTERNET* slot);
    void CloseHandlesOnce();
    void Report(Opening result) {
        opening.store(result);
        SetEvent(opened.get());
    }

    std::wstring host_, user_, password_, folder_, file_;
    uint16_t port_;
    std::mutex handlesLock_;
    HINTERNET session_ = nullptr, connection_ = nullptr, remote_ = nullptr;
    bool handlesClosed_ = false;
    HINTERNET reading_ = nullptr;  // the helper's own copy of remote_ (which an outside close clears)
    std::wstring cacheCopy_;
    std::atomic<bool> abandoned_{false};

    KernelHandle arrived{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    KernelHandle freed{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    std::atomic<bool> windowWaits_{false}, helperWaits_{false};
    std::atomic<unsigned> head_{0}, tail_{0};
    Block ring_[kRing];
};

void FtpJob::Run() {
    Open();
    if (opening.load() == Opening::Open) ReadAll();
    CloseHandlesOnce();
    // WinInet also writes every file it reads over FTP into the user's web
    // cache, and Wine never registers that copy, so nothing would ever
    // remove it: each update would leave its full size behind.
    if (!cacheCopy_.empty()) DeleteFileW(cacheCopy_.c_str());
    SetEvent(finished.get());
}

bool FtpJob::Keep(HINTERNET handle, HINTERNET* slot) {
    std::lock_guard<std::mutex> lock(handlesLock_);
    if (handlesClosed_) {
        lazy::InternetCloseHandle(handle);
        return false;
    }
    *slot = handle;
    return true;
}

void FtpJob::Open() {
    HINTERNET session = lazy::InternetOpenW(L"Program_Name", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!session || !Keep(session, &session_)) return Report(Opening::NoSession);
    beat.Beat();
    // Flags 0: active-mode data connections, as the update server expects.
    HINTERNET connection = lazy::InternetConnectW(session, host_.c_str(), port_, user_.c_str(), password_.c_str(),
                                            INTERNET_SERVICE_FTP, 0, 0);
    if (!connection || !Keep(connection, &connection_)) return Report(Opening::NoHost);
    connected.store(true);
    beat.Beat();
    if (!lazy::FtpSetCurrentDirectoryW(connection, folder_.c_str())) return Report(Opening::NoFolder);
    beat.Beat();
    // The listing must come from the server: a size remembered from an
    // earlier run would fail every fetch of a file that has changed since.
    WIN32_FIND_DATAW found{};
    HINTERNET listing = lazy::FtpFindFirstFileW(connection, file_.c_str(), &found, INTERNET_FLAG_RELOAD, 0);
    if (!listing) return Report(Opening::NoFile);
    lazy::InternetCloseHandle(listing);
    size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    beat.Beat();
    HINTERNET remote = lazy::FtpOpenFileW(connection, file_.c_str(), GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
    if (!remote || !Keep(remote, &remote_)) return Report(Opening::NoRemote);
    reading_ = remote;
    wchar_t name[MAX_PATH + 1] = L"";
    DWORD nameSize = sizeof(name);
    if (lazy::InternetQueryOptionW(remote, INTERNET_OPTION_DATAFILE_NAME, name, &nameSize)) cacheCopy_ = name;
    beat.Beat();
    Report(Opening::Open);
}

void FtpJob::ReadAll() {
    uint64_t total = 0;
    for (;;) {
        while (head_.load() - tail_.load() == kRing) {
            helperWaits_.store(true);
            if (head_.load() - tail_.load() < kRing || abandoned_.load()) break;
            WaitForSingleObject(freed.get(), INFINITE);
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
        const bool last = !ok || got == 0 || total + got > size;
        if ((ready >= kWakeBatch || last) && windowWaits_.exchange(false)) SetEvent(arrived.get());
        if (!ok || got == 0) return;
        total += got;
        // More than the listing said is a broken or hostile server; the
        // window's thread refuses the file, and nothing more is read.
        if (total > size) return;
    }
}

FtpJob::Block* FtpJob::Next(DWORD stallMs, Frontend& frontend) {
    while (head_.load() == tail_.load()) {
        windowWaits_.store(true);
        if (head_.load() != tail_.load()) break;
        if (WaitPumping(arrived.get(), beat, stallMs, frontend, kLookMs) == WaitEnd::Stalled) {
            windowWaits_.store(false);
            return nullptr;
        }
    }
    windowWaits_.store(false);
    return &ring_[tail_.load() % kRing];
}

void FtpJob::Consumed() {
    const unsigned free = kRing - (head_.load() - (tail_.fetch_add(1) + 1));
    if (free >= kWakeBatch && helperWaits_.exchange(false)) SetEvent(freed.get());
}

void FtpJob::CloseHandlesOnce() {
    std::lock_guard<std::mutex> lock(handlesLock_);
    if (handlesClosed_) return;
    handlesClosed_ = true;
    for (HINTERNET* slot : {&remote_, &connection_, &session_}) {
        if (*slot) lazy::InternetCloseHandle(*slot);
        *slot = nullptr;
    }
}

void FtpJob::Abandon() {
    abandoned_.store(true);
    SetEvent(freed.get());
}

// Leaves a job whose server went silent to its helper: closing the handles
// wakes the blocked call where the platform can. The close runs on a thread
// of its own, as it may block as well.
void LeaveBehind(const std::shared_ptr<FtpJob>& job) {
    job->Abandon();
    if (WaitForSingleObject(job->finished.get(), 0) == WAIT_OBJECT_0) return;
    std::shared_ptr<FtpJob> keep = job;
    RunOnHelperThread([keep] { keep->CloseHandles(); });
}

// Ends a job that is not stuck: its helper stops after the current call and
// closes its handles itself, which is waited for (no longer than the stall
// time: a server may fall silent just then).
void Finish(const std::shared_ptr<FtpJob>& job, DWORD stallMs, Frontend& frontend) {
    job->Abandon();
    if (WaitPumping(job->finished.get(), job->beat, stallMs, frontend) == WaitEnd::Stalled) LeaveBehind(job);
}

// On every way out, errors included, the helper is told to stop; it then
// ends on its own.
class JobRelease {
public:
    explicit JobRelease(const std::shared_ptr<FtpJob>& job) : job_(job) {}
    ~JobRelease() { job_->Abandon(); }
    JobRelease(const JobRelease&) = delete;
    JobRelease& operator=(const JobRelease&) = delete;

private:
    const std::shared_ptr<FtpJob>& job_;
};

// On every way out, errors included: default cursor, blank labels.
class DisplayReset {
public:
    DisplayReset(TransferProgress& progress, Frontend& frontend) : progress_(progress), frontend_(frontend) {}
    ~DisplayReset() {
        frontend_.ShowBusy(false);
        progress_.Reset();
    }
    DisplayReset(const DisplayReset&) = delete;
    DisplayReset& operator=(const DisplayReset&) = delete;

private:
    TransferProgress& progress_;
    Frontend& frontend_;
};

// True when the helper has the remote file open; otherwise the user hears
// why not, where there is something to say.
bool Opened(Opening opening, const std::wstring& hostMissing, const std::wstring& remoteFolder,
            const std::wstring& remoteFile, Frontend& frontend) {
    switch (opening) {
    case Opening::NoSession:
        Inform(frontend, L"Keine Verbindung mit WinInet.Dll");
        return false;
    case Opening::NoHost:
        Inform(frontend, hostMissing);
        return false;
    case Opening::NoFolder:
        Inform(frontend, L"Kann Verzeichnis nicht setzen " + remoteFolder + L".");
        return false;
    case Opening::NoFile:
        Inform(frontend, L"Kann Datei nicht finden " + remoteFile + L".");
        return false;
    case Opening::Open:
        return true;
    default:
        return false;
    }
}

struct Received {
    uint64_t bytes = 0;
    bool broken = false;  // the file is incomplete or longer than listed
    bool silent = false;  // the helper went silent: it is left behind
};

// Writes the helper's blocks into file until the end of the data, a failed
// or missing block, or more than the listing said.
Received Receive(FtpJob& job, HANDLE file, uint64_t size, const std::wstring& localPath, TransferProgress& progress,
                 Frontend& frontend, DWORD stallMs) {
    Received r;
    for (;;) {
        ProcessPendingMessages(frontend);
        FtpJob::Block* block = job.Next(stallMs, frontend);
        // No block for stallMs, or a failed read: the file is incomplete.
        if (!block || block->failed) {
            r.broken = true;
            r.silent = !block;
            return r;
        }
        const DWORD got = block->size;
        if (got > 0) {
            const DWORD error = WriteAll(file, block->data, got);
            if (error != ERROR_SUCCESS) RaiseIoError(error);
        }
        job.Consumed();
        r.bytes += got;
        progress.Show(r.bytes, size, localPath);
        if (got == 0) return r;
        if (r.bytes > size) {
            r.broken = true;
            return r;
        }
    }
}

}  // namespace

bool FtpDownload(const std::wstring& host, const std::wstring& user, const std::wstring& password, uint16_t port,
                 const std::wstring& remoteFolder, const std::wstring& remoteFile, const std::wstring& localPath,
                 TransferProgress& progress, Frontend& frontend, const TransferLimits& limits,
                 DigestCheck* check) {
    const DisplayReset reset(progress, frontend);
    const std::wstring hostMissing = L"Host \"" + host + L"\" ist nicht verfügbar";
    auto job = std::make_shared<FtpJob>(host, user, password, port, remoteFolder, remoteFile);
    if (!job->Ready() || !RunOnHelperThread([job] { job->Run(); })) {
        Inform(frontend, L"Keine Verbindung mit WinInet.Dll");
        return false;
    }
    const JobRelease release(job);
    if (WaitPumping(job->opened.get(), job->beat, limits.stallMs, frontend) == WaitEnd::Stalled) {
        LeaveBehind(job);
        // A server that took the connection and then said nothing is as
        // good as none; one that went silent later fails the file quietly.
        if (!job->connected.load()) Inform(frontend, hostMissing);
        return false;
    }
    if (!Opened(job->opening.load(), hostMissing, remoteFolder, remoteFile, frontend)) return false;
    const uint64_t size = job->size;
    SideFile side(localPath);
    if (side.path().empty()) {
        Finish(job, limits.stallMs, frontend);
        return false;
    }

    progress.Prepare(size);
    frontend.ShowBusy(true);
    frontend.Breathe();
    const Received received = Receive(*job, side.handle(), size, localPath, progress, frontend, limits.stallMs);
    if (!side.Close()) RaiseIoError(GetLastError());
    // The helper closes its handles and drops the cache copy; that is
    // waited for unless the server went silent (and then no longer than
    // the stall time, should closing hang as well).
    if (received.silent)
        LeaveBehind(job);
    else
        Finish(job, limits.stallMs, frontend);
    // A data connection that ends early looks like an ordinary end of file;
    // only the size the listing gave tells a cut-off file from a whole one.
    if (received.broken || received.bytes != size) return false;
    if (!PassesDigestCheck(side.path(), check)) return false;
    return side.MoveOver(localPath);
}
