// The HTTP fetch, the update server's hosts and the size texts of the
// transfer display. The FTP fetch is in FtpTransfer.cpp.
#include <windows.h>
#include <urlmon.h>
#include <wininet.h>

#include <atomic>
#include <climits>
#include <cstdio>
#include <memory>

#include "sys/Dateien.h"
#include "sys/Handles.h"
#include "net/FetchAttempts.h"
#include "net/HttpResume.h"
#include "net/LiveWait.h"
#include "sys/Reg.h"
#include "net/SideFiles.h"
#include "sys/Text.h"
#include "net/Transfers.h"

namespace {

std::wstring HostSetting(HKEY root, const wchar_t* name, const wchar_t* builtIn) {
    const std::wstring value = Trimmed(RegReadString(root, kSettingsKey, name), IsBlankOrTab);
    return value.empty() ? std::wstring(builtIn) : value;
}

// One fetch of URLDownloadToFileW, shared by the window's thread and the
// helper that makes the call. Whoever ends it decides what happens to the
// side file: the window's thread takes it when the call returned in time;
// once the window's thread gave up, the helper removes it on return.
class HttpJob {
public:
    enum State : int { kRunning, kReturned, kAbandoned };

    // headers: the request's extra headers (ResumeHeaders, or none).
    // maxBytes: the body is cut off once longer (0: no limit); pace: what
    // counts as a trickle, which is ended too.
    HttpJob(std::wstring url, std::wstring side, std::wstring headers, uint64_t maxBytes, const TransferLimits& pace)
        : url_(std::move(url)), side_(std::move(side)), headers_(std::move(headers)), maxBytes_(maxBytes),
          trickle_(pace) {}

    void Fetch();
    // True when the call returned before the window's thread gave up.
    bool TakeResult() {
        int expected = kRunning;
        return !state_.compare_exchange_strong(expected, kAbandoned);
    }

    Heartbeat beat;
    KernelHandle done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    // Valid once done is set and TakeResult() said so.
    HRESULT result = E_FAIL;
    DWORD status = 0;            // 0: no HTTP answer seen (file: URLs, for one)
    int64_t announced = -1;      // Content-Length; -1 when none was sent
    bool encoded = false;        // a Content-Encoding makes the length the packed one
    std::wstring contentRange;   // of a 206 answer
    std::wstring validator;      // the answer's ETag, else its Last-Modified
    bool Abandoned() const noexcept { return state_.load() == kAbandoned; }
    // Called with the bytes so far; true (and from then on TooLarge) once
    // they pass the limit.
    bool PastLimit(uint64_t bytes) {
        if (maxBytes_ > 0 && bytes > maxBytes_) tooLarge_.store(true);
        return tooLarge_.load();
    }
    bool TooLarge() const noexcept { return tooLarge_.load(); }
    // Helper side, with the bytes so far: true (and from then on TooSlow)
    // once the line is a trickle.
    bool Trickles(uint64_t bytes) {
        if (trickle_.TooSlow(bytes)) tooSlow_.store(true);
        return tooSlow_.load();
    }
    bool TooSlow() const noexcept { return tooSlow_.load(); }
    const std::wstring& Headers() const { return headers_; }

private:
    std::wstring url_, side_, headers_;
    uint64_t maxBytes_;
    std::atomic<int> state_{kRunning};
    std::atomic<bool> tooLarge_{false};
    TrickleWatch trickle_;
    std::atomic<bool> tooSlow_{false};
};

// URLDownloadToFileW reports success for any answer the server gave, error
// pages included (Wine stores a 404 page as the file), and for a body that
// ended before its announced length. The response that reaches this
// callback tells a file from an error page and a whole body from a cut one;
// its progress keeps the job's heartbeat going.
class ResponseWatch final : public IBindStatusCallback, public IHttpNegotiate {
public:
    explicit ResponseWatch(HttpJob& job) : job_(job) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IBindStatusCallback)) {
            *out = static_cast<IBindStatusCallback*>(this);
        } else if (IsEqualIID(riid, IID_IHttpNegotiate)) {
            *out = static_cast<IHttpNegotiate*>(this);
        } else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD, IBinding*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetPriority(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnLowResource(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnProgress(ULONG progress, ULONG, ULONG status, LPCWSTR) override {
        job_.beat.Beat();
        if (status == BINDSTATUS_DOWNLOADINGDATA && (job_.PastLimit(progress) || job_.Trickles(progress)))
            return E_ABORT;
        // Nobody waits for this fetch any more.
        return job_.Abandoned() ? E_ABORT : S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD* flags, BINDINFO*) override {
        if (flags) *flags = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD, DWORD size, FORMATETC*, STGMEDIUM*) override {
        job_.beat.Beat();
        return job_.PastLimit(size) ? E_ABORT : S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }

    HRESULT STDMETHODCALLTYPE BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* extra) override {
        if (!extra) return S_OK;
        *extra = nullptr;
        const std::wstring& headers = job_.Headers();
        if (headers.empty()) return S_OK;
        // The service frees what it is given with the COM allocator.
        const size_t bytes = (headers.size() + 1) * sizeof(wchar_t);
        if (auto* copy = static_cast<LPWSTR>(lazy::CoTaskMemAlloc(bytes))) {
            memcpy(copy, headers.c_str(), bytes);
            *extra = copy;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnResponse(DWORD code, LPCWSTR headers, LPCWSTR, LPWSTR* extra) override {
        job_.beat.Beat();
        job_.status = code;
        if (headers) ReadHeaders(headers);
        if (extra) *extra = nullptr;
        // A length announced past the limit is refused before its body.
        return job_.announced >= 0 && job_.PastLimit(static_cast<uint64_t>(job_.announced)) ? E_ABORT : S_OK;
    }

private:
    ~ResponseWatch() = default;

    void ReadHeaders(const std::wstring& headers) {
        size_t at = 0;
        while (at < headers.size()) {
            size_t end = headers.find(L'\n', at);
            if (end == std::wstring::npos) end = headers.size();
            std::wstring line = headers.substr(at, end - at);
            at = end + 1;
            if (!line.empty() && line.back() == L'\r') line.pop_back();
            const size_t colon = line.find(L':');
            if (colon == std::wstring::npos) continue;
            const std::wstring name = line.substr(0, colon);
            const std::wstring value = Trimmed(line.substr(colon + 1), IsBlankOrTab);
            if (_wcsicmp(name.c_str(), L"Content-Length") == 0) {
                wchar_t* stop = nullptr;
                const long long n = wcstoll(value.c_str(), &stop, 10);
                if (!value.empty() && stop && *stop == L'\0' && n >= 0) job_.announced = n;
            } else if (_wcsicmp(name.c_str(), L"Content-Encoding") == 0 && _wcsicmp(value.c_str(), L"identity") != 0) {
                job_.encoded = true;
            } else if (_wcsicmp(name.c_str(), L"Content-Range") == 0) {
                job_.contentRange = value;
            } else if (_wcsicmp(name.c_str(), L"ETag") == 0) {
                job_.validator = value;
            } else if (_wcsicmp(name.c_str(), L"Last-Modified") == 0 && job_.validator.empty()) {
                job_.validator = value;
            }
        }
    }

    HttpJob& job_;
    LONG refs_ = 1;
};

void HttpJob::Fetch() {
    // The download service wants COM on the thread that calls it.
    const HRESULT com = lazy::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // The service fetches into the user's web cache and copies from there:
    // the entry goes before the fetch, so a copy kept from an earlier run
    // cannot stand in for the server's current file, and after it, so update
    // files do not pile up in the cache.
    lazy::DeleteUrlCacheEntryW(url_.c_str());
    ResponseWatch* watch = new ResponseWatch(*this);
    const HRESULT hr = lazy::URLDownloadToFileW(nullptr, url_.c_str(), side_.c_str(), 0, watch);
    watch->Release();
    lazy::DeleteUrlCacheEntryW(url_.c_str());
    if (SUCCEEDED(com)) lazy::CoUninitialize();
    result = hr;
    int expected = kRunning;
    if (!state_.compare_exchange_strong(expected, kReturned)) DeleteFileW(ApiPath(side_).c_str());
    SetEvent(done.get());
}

int64_t FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(ApiPath(path).c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Appends the whole of piece to the end of whole.
bool AppendFile(const std::wstring& whole, const std::wstring& piece) {
    const FileHandle in(CreateFileW(ApiPath(piece).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    const FileHandle out(
        CreateFileW(ApiPath(whole).c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!in || !out) return false;
    static char buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(in.get(), buffer, sizeof buffer, &got, nullptr)) return false;
        if (got == 0) return true;
        if (WriteAll(out.get(), buffer, got) != ERROR_SUCCESS) return false;
    }
}

enum class PieceEnd { Whole, Broken, Failed, TooLarge };

// One call of the download service into piece. A body that ends before its
// announced length, or a server that goes silent once it has answered, is
// worth another try; an error answer or no answer is not.
PieceEnd FetchPiece(HttpJob& job, SideFile& piece, const TransferLimits& limits, Frontend& frontend,
                    const std::shared_ptr<HttpJob>& owner) {
    if (!job.done || !RunOnHelperThread([owner] { owner->Fetch(); })) return PieceEnd::Failed;
    // The call may never return (a server that goes silent); the window
    // answers while it runs, and after stallMs without a sign of progress
    // the fetch counts as failed and its helper is left behind.
    WaitPumping(job.done.get(), job.beat, limits.stallMs, frontend);
    if (job.TooLarge() || job.TooSlow()) {
        if (!job.TakeResult()) piece.Release();
        // A trickle is worth another try, as a line that broke off is.
        return job.TooLarge() ? PieceEnd::TooLarge : PieceEnd::Broken;
    }
    if (!job.TakeResult()) {
        piece.Release();  // the helper removes it when its call returns
        return job.status > 0 && job.status < 400 ? PieceEnd::Broken : PieceEnd::Failed;
    }
    if (job.result != S_OK || job.status >= 400) return PieceEnd::Failed;
    // A connection that closed early leaves a short file and reports success.
    if (job.announced < 0 || job.encoded) return PieceEnd::Whole;
    const int64_t size = FileSize(piece.path());
    if (size == job.announced) return PieceEnd::Whole;
    return size >= 0 && size < job.announced ? PieceEnd::Broken : PieceEnd::Failed;
}

// True when url ended up complete in side (closed and still there). A fetch
// that broke off is tried twice more; a retry asks only for the bytes
// after those it has where the server takes ranges (of the same file:
// If-Range), and otherwise fetches the whole file again. Each try writes a
// file of its own beside side: one left to a silent helper is the helper's.
// A body past maxBytes (0: none) ends the fetch with *tooLarge.
bool FetchIntoSide(const std::wstring& url, SideFile& side, const TransferLimits& limits, Frontend& frontend,
                   uint64_t maxBytes = 0, bool* tooLarge = nullptr) {
    if (side.path().empty() || !side.Close()) return false;
    int64_t have = 0, total = -1;
    bool encoded = false;
    std::wstring validator;
    for (unsigned attempt = 0;; ++attempt) {
        if (attempt > 0) PauseLive(limits.retryPausesMs[attempt - 1], frontend);
        const bool resuming = have > 0 && !validator.empty();
        SideFile piece(side.path());
        if (piece.path().empty() || !piece.Close()) return false;
        auto job = std::make_shared<HttpJob>(url, piece.path(), ResumeHeaders(static_cast<uint64_t>(have), validator),
                                             maxBytes, limits);
        const PieceEnd end = FetchPiece(*job, piece, limits, frontend, job);
        if (end == PieceEnd::TooLarge && tooLarge) *tooLarge = true;
        if (end == PieceEnd::Failed || end == PieceEnd::TooLarge) return false;
        if (!piece.path().empty()) {
            uint64_t first = 0, whole = 0;
            const bool ranged = resuming && job->status == 206 && !job->encoded &&
                                ParseContentRange(job->contentRange, &first, &whole) &&
                                first == static_cast<uint64_t>(have) && whole <= static_cast<uint64_t>(INT64_MAX);
            // A part that is not the rest asked for is no file at all: taken
            // for a whole answer, it would pass as complete without its start.
            if (job->status == 206 && !ranged) return false;
            if (ranged) {
                // The rest goes after what is there.
                if (!AppendFile(side.path(), piece.path())) return false;
                total = static_cast<int64_t>(whole);
            } else {
                // A whole answer replaces whatever came before.
                if (!MoveFileExW(ApiPath(piece.path()).c_str(), ApiPath(side.path()).c_str(),
                                 MOVEFILE_REPLACE_EXISTING))
                    return false;
                piece.Release();
                validator = job->validator;
                total = job->announced;
                encoded = job->encoded;
            }
            have = FileSize(side.path());
            if (maxBytes > 0 && have > static_cast<int64_t>(maxBytes)) {
                if (tooLarge) *tooLarge = true;
                return false;
            }
        }
        if (end == PieceEnd::Whole) return total < 0 || encoded || have == total;
        if (attempt >= sizeof limits.retryPausesMs / sizeof limits.retryPausesMs[0]) return false;
    }
}

// True when url ended up complete at dest and passed check; dest is left
// alone otherwise.
bool FetchUrlToFile(const std::wstring& url, const std::wstring& dest, const TransferLimits& limits,
                    Frontend& frontend, DigestCheck* check, uint64_t maxBytes, bool* tooLarge) {
    SideFile side(dest);
    const bool sized = check && check->expectedSize >= 0;
    if (maxBytes > 0) {
        // A bound that must hold as the bytes arrive: the download service
        // reports nothing of a body without a length until it has ended.
        if (side.path().empty()) return false;
        const BoundedEnd end = HttpFetchBounded(url, side.handle(), side.path(), maxBytes, limits, frontend);
        if (end == BoundedEnd::TooLarge && tooLarge) *tooLarge = true;
        if (end != BoundedEnd::Whole || !side.Close()) return false;
    } else {
        // The list's length bounds the fetch as it arrives.
        bool pastSize = false;
        const uint64_t bound = sized ? static_cast<uint64_t>(check->expectedSize) : 0;
        if (!FetchIntoSide(url, side, limits, frontend, bound, &pastSize)) {
            if (pastSize && sized) check->sizeMismatch = true;
            return false;
        }
    }
    if (sized && FileSize(side.path()) != check->expectedSize) {
        check->sizeMismatch = true;
        return false;
    }
    if (!PassesDigestCheck(side.path(), check)) return false;
    return side.MoveOver(dest);
}

// The whole file, unless it holds more than maxBytes.
bool ReadSmallFile(const std::wstring& path, size_t maxBytes, std::string* bytes) {
    const FileHandle file(CreateFileW(ApiPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
        static_cast<uint64_t>(size.QuadPart) > maxBytes)
        return false;
    std::string content(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (!content.empty() &&
        (!ReadFile(file.get(), &content[0], static_cast<DWORD>(content.size()), &got, nullptr) ||
         got != content.size()))
        return false;
    *bytes = std::move(content);
    return true;
}

std::wstring DecimalSeparator() {
    wchar_t sep[8] = L"";
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, sep, 8) <= 1) return L".";
    return sep;
}

std::wstring ScaledText(int64_t n, double unit, const wchar_t* suffix, const std::wstring& separator) {
    wchar_t buf[64];
    swprintf(buf, 64, L"%.2f", static_cast<double>(n) / unit);
    std::wstring text(buf);
    // Two decimals: the separator stands third from the end, whatever
    // character the C library chose for it.
    text.replace(text.size() - 3, 1, separator);
    return text + suffix;
}

}  // namespace

std::wstring UpdateHttpHost(HKEY root) { return HostSetting(root, L"Update Host", UPDATE_HTTP_HOST); }

std::wstring UpdateFtpHost(HKEY root) { return HostSetting(root, L"FTP Host", UPDATE_FTP_HOST); }

std::wstring MakeUpdateBaseUrl(HKEY root) { return L"http://" + UpdateHttpHost(root) + L"/talveroupdate/files/"; }

bool PassesDigestCheck(const std::wstring& path, DigestCheck* check) {
    if (!check || !check->expected) return true;
    Sha256Digest actual{};
    check->mismatch = !FileSha256(ApiPath(path), &actual) || actual != *check->expected;
    return !check->mismatch;
}

bool HttpDownload(const std::wstring& url, const std::wstring& dest, bool askToOpen, Frontend& frontend,
                  FetchFault& fault, const TransferLimits& limits, DigestCheck* check, uint64_t maxBytes) {
    const std::wstring folder = ExtractFilePath(dest);
    // A folder that cannot be made shows up as the failed download below.
    if (!FolderExists(folder)) ForceFolderChain(folder);
    SweepLeftoverSideFiles(folder);
    bool result = false;
    try {
        if (!FetchUrlToFile(url, dest, limits, frontend, check, maxBytes, &fault.tooLarge)) {
            // A file of other bytes than the list named is told in the
            // run's log; the box would name only where it did not land.
            if ((!check || (!check->mismatch && !check->sizeMismatch)) && !fault.tooLarge) {
                fault.box = dest;
                fault.boxFlags = MB_ICONERROR | MB_OK;
            }
            return false;
        }
        result = true;
        if (askToOpen) {
            const std::wstring question = L"Soll " + dest + L" geöffnet werden?";
            if (frontend.Message(question, L"Bestätigung", MB_YESNO | MB_ICONQUESTION) == IDYES)
                frontend.Open(dest, L"Open", SW_SHOWNORMAL);
        }
    } catch (const std::exception&) {
        // Every caller gets this hint when its URL names the update page;
        // only the update list's fetch has a likely cause worth naming.
        if (url.find(L"update.htm", 1) != std::wstring::npos)
            fault = FetchFault{L"Konnte Datei \"Upadte.cfg\" nicht laden. Vermutlich blockiert Ihr Firewall das "
                               L"Liveupdate.",
                               MB_OK};
    }
    return result;
}

bool HttpFetchQuietly(const std::wstring& url, const std::wstring& folder, size_t maxBytes, std::string* bytes,
                      Frontend& frontend, const TransferLimits& limits) {
    try {
        if (!FolderExists(folder)) ForceFolderChain(folder);
        SweepLeftoverSideFiles(folder);
        // The side file's name is made from the folder; the last part is a placeholder.
        SideFile side(folder + L"quiet");
        if (side.path().empty()) return false;
        return HttpFetchBounded(url, side.handle(), side.path(), maxBytes, limits, frontend) == BoundedEnd::Whole &&
               side.Close() && ReadSmallFile(side.path(), maxBytes, bytes);
    } catch (const std::exception&) {
        return false;
    }
}

int ProgressPercent(uint64_t received, uint64_t total) {
    if (total == 0) return 100;
    const uint64_t scaled = received * 100;
    uint64_t q = scaled / total;
    const uint64_t twiceRest = (scaled % total) * 2;
    if (twiceRest > total || (twiceRest == total && (q & 1) != 0)) ++q;
    return q > 100 ? 100 : static_cast<int>(q);
}

std::wstring SizeTextWith(int64_t n, const std::wstring& separator) {
    if (n >= 1000000) return ScaledText(n, 1000000.0, L" Mb", separator);
    if (n >= 1000) return ScaledText(n, 1000.0, L" Kb", separator);
    return std::to_wstring(n) + L" bytes";
}

std::wstring SizeText(int64_t n) { return SizeTextWith(n, DecimalSeparator()); }

std::wstring UserDecimalSeparator() { return DecimalSeparator(); }
