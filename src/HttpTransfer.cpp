// One HTTP attempt at a file that replaces an installed one, for when FTP
// cannot be reached: WinInet reads it on a helper thread block by block,
// as the FTP attempt does, so the display, the checks and the retries are
// the same. The proxy is the one of the system's Internet settings.
#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cwchar>
#include <memory>

#include "FetchAttempts.h"
#include "Handles.h"
#include "LiveWait.h"

namespace {

std::wstring Header(HINTERNET request, DWORD which) {
    wchar_t text[512];
    DWORD len = sizeof(text);
    if (!lazy::HttpQueryInfoW(request, which, text, &len, nullptr)) return L"";
    return std::wstring(text, len / sizeof(wchar_t));
}

// A decimal count with nothing else in it.
bool ParseCount(const std::wstring& text, uint64_t* n) {
    if (text.empty() || text.size() > 19) return false;
    uint64_t value = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        value = value * 10 + static_cast<uint64_t>(c - L'0');
    }
    *n = value;
    return true;
}

// "bytes 4096-9999/10000": the first byte sent and the whole length.
bool ParseContentRange(const std::wstring& text, uint64_t* first, uint64_t* total) {
    if (text.compare(0, 6, L"bytes ") != 0) return false;
    const size_t dash = text.find(L'-', 6), slash = text.find(L'/', 6);
    if (dash == std::wstring::npos || slash == std::wstring::npos || dash > slash) return false;
    uint64_t last = 0;
    return ParseCount(text.substr(6, dash - 6), first) && ParseCount(text.substr(dash + 1, slash - dash - 1), &last) &&
           ParseCount(text.substr(slash + 1), total) && *first <= last && last < *total;
}

class HttpReadJob final : public RemoteRead {
public:
    HttpReadJob(const std::wstring& url, uint64_t resumeAt, const std::wstring& known)
        : url_(url), resumeAt_(resumeAt), validator_(known) {}

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
};

bool HttpReadJob::Open() {
    HINTERNET session = lazy::InternetOpenW(L"Program_Name", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!session) return Refuse(false);
    Keep(session, kSession);
    beat.Beat();
    // A retry asks for the rest, but only of the same file: If-Range makes
    // a server whose file has changed send the whole new one instead.
    std::wstring headers;
    if (resumeAt_ > 0 && !validator_.empty())
        headers = L"Range: bytes=" + std::to_wstring(resumeAt_) + L"-\r\nIf-Range: " + validator_ + L"\r\n";
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
    const bool hasLength = ParseCount(lengthText, &length);
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
    StartReading(request);
    return true;
}

}  // namespace

Attempt HttpAttempt(const std::wstring& url, FetchTarget& target, RemoteIdentity& identity, DWORD stallMs) {
    const std::wstring validator = identity.known ? identity.validator : std::wstring();
    auto job = std::make_shared<HttpReadJob>(url, target.written, validator);
    if (!StartRemoteRead(job)) return {AttemptEnd::Failed, L""};
    const ReadRelease release(job);
    if (WaitPumping(job->opened.get(), job->beat, stallMs, target.frontend) == WaitEnd::Stalled) {
        LeaveBehind(job);
        return {AttemptEnd::Failed, L""};
    }
    if (!job->readable.load()) return {job->unreachable.load() ? AttemptEnd::Unreachable : AttemptEnd::Failed, L""};
    if (job->startAt != target.written) target.Restart();
    identity.known = true;
    identity.size = job->size;
    identity.validator = job->validator;
    const bool sized = job->size != kUnknownLength;
    target.Begin(sized ? job->size : 0);
    const Received received = Receive(*job, target, job->size, stallMs);
    if (received.silent)
        LeaveBehind(job);
    else
        Finish(job, stallMs, target.frontend);
    if (sized && target.written > job->size) return {AttemptEnd::Failed, L""};
    if (!received.broken && (!sized || target.written == job->size)) {
        identity.size = target.written;
        return {AttemptEnd::Done, L""};
    }
    return {AttemptEnd::Broken, L""};
}
