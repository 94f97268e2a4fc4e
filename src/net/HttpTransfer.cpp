// One HTTP attempt at a file that replaces an installed one, for when FTP
// cannot be reached: WinInet reads it on a helper thread block by block,
// as the FTP attempt does, so the display, the checks and the retries are
// the same. The proxy is the one of the system's Internet settings.
#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cwchar>
#include <memory>

#include "net/FetchAttempts.h"
#include "sys/Handles.h"
#include "net/HttpResume.h"
#include "net/LiveWait.h"
#include "sys/Text.h"

namespace {

std::wstring Header(HINTERNET request, DWORD which) {
    wchar_t text[512];
    DWORD len = sizeof(text);
    if (!lazy::HttpQueryInfoW(request, which, text, &len, nullptr)) return L"";
    return std::wstring(text, len / sizeof(wchar_t));
}

class HttpReadJob final : public RemoteRead {
public:
    // expected: the length the list gives the file, which bounds an answer
    // that announces none (kUnknownLength: no bound).
    // cap: the most the fetch takes; one byte past it is read to tell.
    HttpReadJob(const std::wstring& url, uint64_t resumeAt, const std::wstring& known, uint64_t expected,
                uint64_t cap)
        : url_(url), resumeAt_(resumeAt), validator_(known), expected_(expected), cap_(cap) {}

    std::atomic<bool> unreachable{false};
    // Valid once opened is set and the data is readable.
    uint64_t size = kUnknownLength;  // the whole file's length
    uint64_t startAt = 0;            // where this answer's data begins
    std::wstring validator;

private:
    bool Open() override;
    bool Refuse(bool network) {
        unreachable.store(network);
        return false;
    }

    std::wstring url_;
    uint64_t resumeAt_;
    std::wstring validator_;
    uint64_t expected_, cap_;
};

bool HttpReadJob::Open() {
    HINTERNET session = lazy::InternetOpenW(L"Program_Name", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!session) return Refuse(false);
    Keep(session, kSession);
    beat.Beat();
    // A retry asks for the rest, but only of the same file.
    const std::wstring headers = ResumeHeaders(resumeAt_, validator_);
    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                        INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES;
    HINTERNET request = nullptr;
    DWORD error = 0;
    Guarded([&] {
        request = lazy::InternetOpenUrlW(session, url_.c_str(), headers.empty() ? nullptr : headers.c_str(),
                                         static_cast<DWORD>(headers.size()), flags, 0);
        error = GetLastError();
    });
    if (!request) return Refuse(IsNetworkFault(error));
    Keep(request, kRemote);
    beat.Beat();
    std::wstring status, lengthText, range, etag, modified;
    if (!Guarded([&] {
            status = Header(request, HTTP_QUERY_STATUS_CODE);
            lengthText = Header(request, HTTP_QUERY_CONTENT_LENGTH);
            range = Header(request, HTTP_QUERY_CONTENT_RANGE);
            etag = Header(request, HTTP_QUERY_ETAG);
            modified = Header(request, HTTP_QUERY_LAST_MODIFIED);
        }))
        return Refuse(false);
    uint64_t length = kUnknownLength;
    const bool hasLength = ParseDecimalDigits(lengthText, 19, &length);
    if (status == L"206") {
        uint64_t first = 0, total = 0;
        if (!ParseContentRange(range, &first, &total) || first != resumeAt_) return Refuse(false);
        startAt = first;
        size = total;
    } else if (status == L"200") {
        size = hasLength ? length : kUnknownLength;
    } else {
        return Refuse(false);
    }
    validator = etag.empty() ? modified : etag;
    limit = size == kUnknownLength ? kUnknownLength : size - startAt;
    if (size == kUnknownLength && expected_ != kUnknownLength) limit = expected_ > startAt ? expected_ - startAt : 0;
    if (cap_ != kUnknownLength) {
        const uint64_t past = cap_ >= startAt ? cap_ - startAt + 1 : 1;
        if (limit == kUnknownLength || past < limit) limit = past;
    }
    StartReading(request);
    return true;
}

}  // namespace

Attempt HttpAttempt(const std::wstring& url, FetchTarget& target, RemoteIdentity& identity, DWORD stallMs) {
    const std::wstring validator = identity.known ? identity.validator : std::wstring();
    auto job = std::make_shared<HttpReadJob>(url, target.written, validator, target.expected, target.cap);
    if (!StartRemoteRead(job)) return {AttemptEnd::Failed, L""};
    const ReadRelease release(job);
    if (WaitPumping(job->opened.get(), job->beat, stallMs, target.frontend) == WaitEnd::Stalled) {
        LeaveBehind(job);
        return {AttemptEnd::Failed, L""};
    }
    if (!job->readable.load()) return {job->unreachable.load() ? AttemptEnd::Unreachable : AttemptEnd::Failed, L""};
    if (job->startAt != target.written) target.Restart();
    if (target.RefusesLength(job->size)) {
        Finish(job, stallMs, target.frontend);
        return {AttemptEnd::Failed, L""};
    }
    identity.known = true;
    identity.size = job->size;
    identity.validator = job->validator;
    const bool sized = job->size != kUnknownLength;
    target.Begin(sized ? job->size : 0);
    const Received received = Receive(*job, target, job->size, stallMs);
    // A body past the cap may have no end: closing it would wait for one
    // (WinInet drains what is left), so its helper is left behind as a
    // silent one is.
    if (received.silent || target.written > target.cap)
        LeaveBehind(job);
    else
        Finish(job, stallMs, target.frontend);
    if (target.written > target.cap) {
        target.tooLarge = true;
        return {AttemptEnd::Failed, L""};
    }
    if (sized && target.written > job->size) return {AttemptEnd::Failed, L""};
    if (target.expected != kUnknownLength && target.written > target.expected) {
        target.sizeMismatch = true;
        return {AttemptEnd::Failed, L""};
    }
    if (!received.broken && (!sized || target.written == job->size)) {
        identity.size = target.written;
        return {AttemptEnd::Done, L""};
    }
    return {AttemptEnd::Broken, L""};
}

BoundedEnd HttpFetchBounded(const std::wstring& url, HANDLE file, const std::wstring& path, uint64_t maxBytes,
                            const TransferLimits& limits, Frontend& frontend) {
    NoProgressDisplay display;
    FetchTarget target{file, path, display, frontend};
    target.cap = maxBytes;
    target.pace = limits;
    RemoteIdentity identity;
    for (unsigned retries = 0;;) {
        const Attempt a = HttpAttempt(url, target, identity, limits.stallMs);
        if (target.tooLarge) return BoundedEnd::TooLarge;
        if (a.end == AttemptEnd::Done) return BoundedEnd::Whole;
        if (a.end != AttemptEnd::Broken || retries >= sizeof limits.retryPausesMs / sizeof limits.retryPausesMs[0])
            return BoundedEnd::Failed;
        PauseLive(limits.retryPausesMs[retries++], frontend);
    }
}
