// One FTP attempt at a file. The WinInet calls run on a helper thread
// (RemoteRead.h); the window's thread writes the blocks, refreshes the
// display and answers its messages, and it stops waiting for a server that
// has gone silent.
#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cwchar>
#include <memory>

#include "net/FetchAttempts.h"
#include "sys/Handles.h"
#include "net/LiveWait.h"

namespace {

// How far the helper got before the file could be read; the window's
// thread turns each refusal into what the user hears.
enum class Opening : int { Pending, Open, NoSession, NoHost, Unreachable, NoFolder, NoFile, DataFailed, NoRemote };
// The call the helper is in, for a server that falls silent during it.
enum class Step : int { Session, Connect, Folder, Listing, Restart, Retrieve, Reading };

// The code of the server's last reply (0 when there is none): WinInet keeps
// its text for the thread that made the call.
int LastReplyCode() {
    DWORD error = 0;
    wchar_t text[1024] = L"";
    DWORD len = 1024;
    if (!lazy::InternetGetLastResponseInfoW(&error, text, &len)) return 0;
    // A reply may run over several lines; its code starts the last one.
    int code = 0;
    for (const wchar_t* line = text; *line;) {
        if (iswdigit(line[0]) && iswdigit(line[1]) && iswdigit(line[2]))
            code = (line[0] - L'0') * 100 + (line[1] - L'0') * 10 + (line[2] - L'0');
        const wchar_t* next = wcschr(line, L'\n');
        if (!next) break;
        line = next + 1;
    }
    return code;
}

// A listing or transfer that failed for want of a data connection: the
// server refused PORT or EPRT (a 50x reply: it forbids active mode or does
// not know the command), could not open the connection (425, 426), the
// connection itself could not be made, or it never came although the
// server's last word was yes (WinInet stops waiting for an active-mode
// connection after 30 s with a time-out, PORT's 200 the last reply). A
// missing file answers 550, or lists as nothing (226, no error).
bool IsDataConnectionFault(DWORD error, int reply) {
    if (reply == 425 || reply == 426 || (reply >= 500 && reply <= 504)) return true;
    return IsNetworkFault(error);
}

bool SameTime(const FILETIME& a, const FILETIME& b) {
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

class FtpJob final : public RemoteRead {
public:
    FtpJob(const FtpServer& server, const std::wstring& folder, const std::wstring& file, FtpMode mode,
           uint64_t resumeAt, const RemoteIdentity& known)
        : server_(server), folder_(folder), file_(file), mode_(mode), resumeAt_(resumeAt), known_(known) {}

    std::atomic<Opening> opening{Opening::Pending};
    std::atomic<Step> step{Step::Session};
    std::atomic<bool> connected{false};
    // Valid once opened is set: the listing's size and time, and where the
    // data starts (resumeAt when the server took the restart, else 0).
    uint64_t size = 0;
    FILETIME written{};
    uint64_t startAt = 0;

private:
    bool Open() override;
    // WinInet also writes every file it reads over FTP into the user's web
    // cache, and Wine never registers that copy, so nothing would ever
    // remove it: each update would leave its full size behind.
    void Cleanup() override {
        if (!cacheCopy_.empty()) DeleteFileW(cacheCopy_.c_str());
    }
    bool Stop(Opening result) {
        opening.store(result);
        return false;
    }
    bool Restart(HINTERNET connection);

    FtpServer server_;
    std::wstring folder_, file_;
    FtpMode mode_;
    uint64_t resumeAt_;
    RemoteIdentity known_;
    std::wstring cacheCopy_;
};

bool FtpJob::Open() {
    HINTERNET session = lazy::InternetOpenW(L"Program_Name", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!session) return Stop(Opening::NoSession);
    Keep(session, kSession);
    beat.Beat();
    step.store(Step::Connect);
    // Flags 0, active-mode data connections, is what servers have always
    // been asked for; passive mode is the way through NAT and firewalls.
    const DWORD flags = mode_ == FtpMode::Passive ? INTERNET_FLAG_PASSIVE : 0;
    HINTERNET connection = nullptr;
    DWORD error = 0;
    Guarded([&] {
        connection = lazy::InternetConnectW(session, server_.host.c_str(), server_.port, server_.user.c_str(),
                                            server_.password.c_str(), INTERNET_SERVICE_FTP, flags, 0);
        error = GetLastError();
    });
    if (!connection) return Stop(IsNetworkFault(error) ? Opening::Unreachable : Opening::NoHost);
    Keep(connection, kConnection);
    connected.store(true);
    beat.Beat();
    step.store(Step::Folder);
    BOOL ok = FALSE;
    if (!Guarded([&] { ok = lazy::FtpSetCurrentDirectoryW(connection, folder_.c_str()); }) || !ok)
        return Stop(Opening::NoFolder);
    beat.Beat();
    step.store(Step::Listing);
    // The listing must come from the server: a size remembered from an
    // earlier run would fail every fetch of a file that has changed since.
    WIN32_FIND_DATAW found{};
    HINTERNET listing = nullptr;
    int reply = 0;
    const bool listed = Guarded([&] {
        listing = lazy::FtpFindFirstFileW(connection, file_.c_str(), &found, INTERNET_FLAG_RELOAD, 0);
        error = GetLastError();
        reply = listing ? 0 : LastReplyCode();
        if (listing) lazy::InternetCloseHandle(listing);
    });
    if (!listed) return Stop(Opening::NoFile);
    if (!listing) return Stop(IsDataConnectionFault(error, reply) ? Opening::DataFailed : Opening::NoFile);
    size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    written = found.ftLastWriteTime;
    beat.Beat();
    if (!Restart(connection)) return Stop(Opening::NoRemote);
    step.store(Step::Retrieve);
    HINTERNET remote = nullptr;
    Guarded([&] {
        remote = lazy::FtpOpenFileW(connection, file_.c_str(), GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
        error = GetLastError();
        reply = remote ? 0 : LastReplyCode();
    });
    if (!remote) return Stop(IsDataConnectionFault(error, reply) ? Opening::DataFailed : Opening::NoRemote);
    Keep(remote, kRemote);
    StartReading(remote);
    limit = size - startAt;
    wchar_t name[MAX_PATH + 1] = L"";
    DWORD nameSize = sizeof(name);
    if (!Guarded([&] { ok = lazy::InternetQueryOptionW(remote, INTERNET_OPTION_DATAFILE_NAME, name, &nameSize); }))
        return Stop(Opening::NoRemote);
    if (ok) cacheCopy_ = name;
    beat.Beat();
    step.store(Step::Reading);
    opening.store(Opening::Open);
    return true;
}

// A retry goes on after the bytes it already has, if the file is still the
// one they came from (same size and time in the listing) and the server
// takes REST; otherwise the whole file comes again. False when the handles
// were closed meanwhile.
bool FtpJob::Restart(HINTERNET connection) {
    if (resumeAt_ == 0 || !known_.known || known_.size != size || !SameTime(known_.written, written) ||
        resumeAt_ >= size)
        return true;
    step.store(Step::Restart);
    const std::wstring command = L"REST " + std::to_wstring(resumeAt_);
    bool taken = false;
    const bool open = Guarded([&] {
        taken = lazy::FtpCommandW(connection, FALSE, FTP_TRANSFER_TYPE_BINARY, command.c_str(), 0, nullptr) &&
                LastReplyCode() == 350;
    });
    if (taken) startAt = resumeAt_;
    beat.Beat();
    return open;
}

const wchar_t kNoWinInet[] = L"Keine Verbindung mit WinInet.Dll";

// What the user hears of a helper that got no further than opening.
Attempt Refusal(Opening opening, FtpMode mode, const std::wstring& hostMissing, const std::wstring& folder,
                const std::wstring& file) {
    const std::wstring noFile = FileNotFoundBox(file);
    switch (opening) {
    case Opening::NoSession:
        return {AttemptEnd::Failed, kNoWinInet};
    case Opening::Unreachable:
        return {AttemptEnd::Unreachable, hostMissing};
    case Opening::NoHost:
        return {AttemptEnd::Failed, hostMissing};
    case Opening::NoFolder:
        return {AttemptEnd::Failed, L"Kann Verzeichnis nicht setzen " + folder + L"."};
    case Opening::NoFile:
        return {AttemptEnd::Failed, noFile};
    case Opening::DataFailed:
        // Where passive mode fails too and nothing else helps, the listing
        // that could not be read is what the user has always been told.
        return {AttemptEnd::DataFailed, mode == FtpMode::Passive ? noFile : std::wstring()};
    default:
        return {AttemptEnd::Failed, L""};
    }
}

// A helper that fell silent before the file was open.
Attempt Silence(const FtpJob& job, FtpMode mode, const std::wstring& hostMissing) {
    // A server that took the connection and then said nothing is as good
    // as none; one that went silent later fails the file quietly, unless it
    // was waiting for an active-mode data connection that never came.
    if (!job.connected.load()) return {AttemptEnd::Unreachable, hostMissing};
    const Step step = job.step.load();
    if (mode == FtpMode::Active && (step == Step::Listing || step == Step::Retrieve))
        return {AttemptEnd::DataFailed, L""};
    return {AttemptEnd::Failed, L""};
}

}  // namespace

Attempt FtpAttempt(const FtpServer& server, const std::wstring& folder, const std::wstring& file, FtpMode mode,
                   FetchTarget& target, RemoteIdentity& identity, DWORD stallMs) {
    const std::wstring hostMissing = HostUnavailableBox(server.host);
    auto job = std::make_shared<FtpJob>(server, folder, file, mode, target.written, identity);
    if (!StartRemoteRead(job)) return {AttemptEnd::Failed, kNoWinInet};
    const ReadRelease release(job);
    if (WaitPumping(job->opened.get(), job->beat, stallMs, target.frontend) == WaitEnd::Stalled) {
        LeaveBehind(job);
        return Silence(*job, mode, hostMissing);
    }
    if (!job->readable.load()) return Refusal(job->opening.load(), mode, hostMissing, folder, file);
    if (job->startAt != target.written) target.Restart();
    if (target.RefusesLength(job->size)) {
        Finish(job, stallMs, target.frontend);
        return {AttemptEnd::Failed, L""};
    }
    identity.known = true;
    identity.size = job->size;
    identity.written = job->written;
    target.Begin(job->size);
    const Received received = Receive(*job, target, job->size, stallMs);
    // The helper closes its handles and drops the cache copy; that is
    // waited for unless the server went silent (and then no longer than
    // the stall time, should closing hang as well).
    if (received.silent)
        LeaveBehind(job);
    else
        Finish(job, stallMs, target.frontend);
    // A data connection that ends early looks like an ordinary end of file;
    // only the size the listing gave tells a cut-off file from a whole one.
    if (target.written > job->size) return {AttemptEnd::Failed, L""};
    if (!received.broken && target.written == job->size) return {AttemptEnd::Done, L""};
    return {AttemptEnd::Broken, L""};
}

std::wstring HostUnavailableBox(const std::wstring& host) { return L"Host \"" + host + L"\" ist nicht verfügbar"; }

std::wstring FileNotFoundBox(const std::wstring& file) { return L"Kann Datei nicht finden " + file + L"."; }
