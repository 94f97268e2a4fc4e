#include "internet.h"

#include <commctrl.h>
#include <shellapi.h>
#include <urlmon.h>
#include <wininet.h>

#include <climits>
#include <cstdio>
#include <string_view>

#include "Dateien.h"
#include "Handles.h"
#include "Ini.h"
#include "Reg.h"
#include "main.h"
#include "Variable.h"
#include "WinSystem.h"

// ---- work folder ----

std::wstring GetWorkFolder() {
    std::wstring folder = AppDataRoot + L"talvero\\temp\\";
    if (!FolderExists(folder)) ForceFolderChain(folder);
    return folder;
}

// ---- transfers ----

namespace {
namespace transfers {

constexpr DWORD kBlockSize = 4096;
constexpr const wchar_t* kBlanks = L"   ";

std::wstring Trimmed(const std::wstring& s) {
    const size_t first = s.find_first_not_of(L" \t");
    if (first == std::wstring::npos) return std::wstring();
    return s.substr(first, s.find_last_not_of(L" \t") - first + 1);
}

std::wstring HostSetting(const wchar_t* name, const wchar_t* builtIn) {
    const std::wstring value = Trimmed(RegReadString(kSettingsKey, name));
    return value.empty() ? std::wstring(builtIn) : value;
}

void Inform(const std::wstring& text) { MessageBoxW(ApplicationWindow(), text.c_str(), kAppTitle, MB_OK); }

// A download never writes over the file it replaces: it lands in a file of
// its own beside it (same folder, so the final move is a rename) and takes
// the destination's place only once it is known to be complete. Whatever
// is left unmoved is removed, so a broken transfer leaves the earlier file.
class SideFile {
public:
    explicit SideFile(const std::wstring& dest) {
        const std::wstring folder = ExtractFilePath(dest);
        wchar_t name[MAX_PATH];
        if (GetTempFileNameW(folder.empty() ? L"." : folder.c_str(), L"upd", 0, name)) path_ = name;
    }
    ~SideFile() {
        if (!path_.empty()) DeleteFileW(path_.c_str());
    }
    SideFile(const SideFile&) = delete;
    SideFile& operator=(const SideFile&) = delete;

    // Empty when no file could be made in the destination's folder.
    const std::wstring& path() const noexcept { return path_; }
    bool MoveOver(const std::wstring& dest) {
        if (!MoveFileExW(path_.c_str(), dest.c_str(), MOVEFILE_REPLACE_EXISTING)) return false;
        path_.clear();
        return true;
    }

private:
    std::wstring path_;
};

// URLDownloadToFileW reports success for any answer the server gave, error
// pages included (Wine stores a 404 page as the file); the response code
// that reaches this callback tells a file from an error page.
class ResponseWatch final : public IBindStatusCallback, public IHttpNegotiate {
public:
    DWORD status() const noexcept { return status_; }

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
    HRESULT STDMETHODCALLTYPE OnProgress(ULONG, ULONG, ULONG, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD* flags, BINDINFO*) override {
        if (flags) *flags = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }

    HRESULT STDMETHODCALLTYPE BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* extra) override {
        if (extra) *extra = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnResponse(DWORD code, LPCWSTR, LPCWSTR, LPWSTR* extra) override {
        status_ = code;
        if (extra) *extra = nullptr;
        return S_OK;
    }

private:
    ~ResponseWatch() = default;
    LONG refs_ = 1;
    DWORD status_ = 0;  // 0: no HTTP answer seen (file: URLs, for one)
};

struct ResponseWatchRef {
    ResponseWatch* p = new ResponseWatch;
    ~ResponseWatchRef() { p->Release(); }
};

// The download service fetches into the user's web cache and copies from
// there: the entry goes before the fetch, so a copy kept from an earlier run
// cannot stand in for the server's current file, and after it, so update
// files do not pile up in the cache.
struct CacheEntryDrop {
    const std::wstring& url;
    explicit CacheEntryDrop(const std::wstring& u) : url(u) { DeleteUrlCacheEntryW(url.c_str()); }
    ~CacheEntryDrop() { DeleteUrlCacheEntryW(url.c_str()); }
};

// True when url ended up complete at dest; dest is left alone otherwise.
bool FetchUrlToFile(const std::wstring& url, const std::wstring& dest) {
    SideFile side(dest);
    if (side.path().empty()) return false;
    const CacheEntryDrop drop(url);
    ResponseWatchRef watch;
    if (URLDownloadToFileW(nullptr, url.c_str(), side.path().c_str(), 0, watch.p) != S_OK) return false;
    if (watch.p->status() >= 400) return false;
    return side.MoveOver(dest);
}

// WinInet also writes every file it reads over FTP into the user's web
// cache, and Wine never registers that copy, so nothing would ever remove
// it: each update would leave its full size behind. The copy goes once the
// remote file's handle is closed (declare before that handle).
class FtpCacheCopy {
public:
    FtpCacheCopy() = default;
    ~FtpCacheCopy() {
        if (!path_.empty()) DeleteFileW(path_.c_str());
    }
    FtpCacheCopy(const FtpCacheCopy&) = delete;
    FtpCacheCopy& operator=(const FtpCacheCopy&) = delete;

    void Note(HINTERNET remoteFile) {
        wchar_t name[MAX_PATH + 1] = L"";
        DWORD size = sizeof(name);
        if (InternetQueryOptionW(remoteFile, INTERNET_OPTION_DATAFILE_NAME, name, &size)) path_ = name;
    }

private:
    std::wstring path_;
};

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

std::wstring SizeTextWith(int64_t n, const std::wstring& separator) {
    if (n >= 1000000) return ScaledText(n, 1000000.0, L" Mb", separator);
    if (n >= 1000) return ScaledText(n, 1000.0, L" Kb", separator);
    return std::to_wstring(n) + L" bytes";
}

int64_t AsSigned(uint64_t n) {
    return n > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(n);
}

// The three controls of the main window that follow a transfer. They are
// refreshed after every block, so each refresh skips what would not change
// the screen: an unchanged bar position or label text costs no message.
class ProgressDisplay {
public:
    ProgressDisplay(HWND bar, HWND sizeLabel, HWND fileLabel)
        : bar_(bar), size_(sizeLabel), file_(fileLabel) {}
    // On every way out, errors included: default cursor, blank labels; the
    // bar stays where it stands.
    ~ProgressDisplay() {
        SetBusyCursor(false);
        SetWindowTextW(file_, kBlanks);
        SetWindowTextW(size_, kBlanks);
    }
    ProgressDisplay(const ProgressDisplay&) = delete;
    ProgressDisplay& operator=(const ProgressDisplay&) = delete;

    void Prepare(uint64_t total) {
        separator_ = DecimalSeparator();
        totalText_ = L" von " + SizeTextWith(AsSigned(total), separator_) + L" / ";
        SendMessageW(bar_, PBM_SETRANGE32, 0, 100);
        pos_ = static_cast<int>(SendMessageW(bar_, PBM_GETPOS, 0, 0));
        ShowWindow(bar_, SW_SHOW);
        SetText(size_, sizeShown_, L"Download wird vorbereitet...");
        ShowWindow(size_, SW_SHOW);
        SetBusyCursor(true);
        ProcessMessages();
    }

    void Show(uint64_t received, uint64_t total, const std::wstring& localPath) {
        const int pos = ProgressPercent(received, total);
        if (pos != pos_) {
            SendMessageW(bar_, PBM_SETPOS, static_cast<WPARAM>(pos), 0);
            pos_ = pos;
        }
        SetText(size_, sizeShown_,
                SizeTextWith(AsSigned(received), separator_) + totalText_ + std::to_wstring(pos) + L" %");
        SetText(file_, fileShown_, localPath);
    }

private:
    static void SetText(HWND label, std::wstring& shown, const std::wstring& text) {
        if (text == shown) return;
        SetWindowTextW(label, text.c_str());
        shown = text;
    }

    HWND bar_, size_, file_;
    int pos_ = -1;
    std::wstring separator_, totalText_;
    // What this transfer last put into each label; a fresh label may show
    // anything, so the first refresh always writes (no text compares equal
    // to the never-set marker).
    std::wstring sizeShown_{L"\1"}, fileShown_{L"\1"};
};

// Asking the queue whether anything waits is several times cheaper than a
// message check that finds nothing (under Wine every check also polls the
// display connection), and a transfer asks once per block; an empty queue
// has nothing to process.
void ProcessPendingMessages() {
    if (HIWORD(GetQueueStatus(QS_ALLINPUT)) != 0) ProcessMessages();
}

void WriteBlock(const FileHandle& file, const char* data, DWORD count) {
    DWORD written = 0;
    if (!WriteFile(file.get(), data, count, &written, nullptr)) RaiseIoError(GetLastError());
    if (written != count) RaiseIoError(ERROR_DISK_FULL);
}

}  // namespace transfers
}  // namespace

std::wstring UpdateHttpHost() { return transfers::HostSetting(L"Update Host", UPDATE_HTTP_HOST); }

std::wstring UpdateFtpHost() { return transfers::HostSetting(L"FTP Host", UPDATE_FTP_HOST); }

std::wstring MakeUpdateBaseUrl() { return L"http://" + UpdateHttpHost() + L"/talveroupdate/files/"; }

bool HttpDownload(const std::wstring& url, const std::wstring& dest, bool askToOpen) {
    const std::wstring folder = ExtractFilePath(dest);
    // A folder that cannot be made shows up as the failed download below.
    if (!FolderExists(folder)) ForceFolderChain(folder);
    bool result = false;
    try {
        if (!transfers::FetchUrlToFile(url, dest)) {
            MessageBoxW(ApplicationWindow(), dest.c_str(), kAppTitle, MB_ICONERROR | MB_OK);
            return false;
        }
        result = true;
        if (askToOpen) {
            const std::wstring question = L"Soll " + dest + L" geöffnet werden?";
            if (MessageBoxW(ApplicationWindow(), question.c_str(), L"Bestätigung", MB_YESNO | MB_ICONQUESTION) ==
                IDYES)
                ShellExecuteW(ApplicationWindow(), L"Open", dest.c_str(), L"", nullptr, SW_SHOWNORMAL);
        }
    } catch (const std::exception&) {
        // Only the update list's fetch has a likely cause worth naming.
        if (url.find(L"update.htm", 1) != std::wstring::npos)
            transfers::Inform(L"Konnte Datei \"Upadte.cfg\" nicht laden. Vermutlich blockiert Ihr Firewall das "
                              L"Liveupdate.");
    }
    return result;
}

int ProgressPercent(uint64_t received, uint64_t total) {
    if (total == 0) return 100;
    const uint64_t scaled = received * 100;
    uint64_t q = scaled / total;
    const uint64_t twiceRest = (scaled % total) * 2;
    if (twiceRest > total || (twiceRest == total && (q & 1) != 0)) ++q;
    return q > 100 ? 100 : static_cast<int>(q);
}

std::wstring SizeText(int64_t n) { return transfers::SizeTextWith(n, transfers::DecimalSeparator()); }

bool FtpDownload(const std::wstring& host, const std::wstring& user, const std::wstring& password, uint16_t port,
                 const std::wstring& remoteFolder, const std::wstring& remoteFile, const std::wstring& localPath,
                 HWND progressBar, HWND sizeLabel, HWND fileLabel) {
    using namespace transfers;
    ProgressDisplay display(progressBar, sizeLabel, fileLabel);

    InetHandle session(InternetOpenW(L"Program_Name", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session) {
        Inform(L"Keine Verbindung mit WinInet.Dll");
        return false;
    }
    // Flags 0: active-mode data connections, as the update server expects.
    InetHandle connection(InternetConnectW(session.get(), host.c_str(), port, user.c_str(), password.c_str(),
                                           INTERNET_SERVICE_FTP, 0, 0));
    if (!connection) {
        session.reset();
        Inform(L"Host \"" + host + L"\" ist nicht verfügbar");
        return false;
    }
    if (!FtpSetCurrentDirectoryW(connection.get(), remoteFolder.c_str())) {
        connection.reset();
        session.reset();
        Inform(L"Kann Verzeichnis nicht setzen " + remoteFolder + L".");
        return false;
    }
    WIN32_FIND_DATAW found{};
    if (!InetHandle(FtpFindFirstFileW(connection.get(), remoteFile.c_str(), &found, 0, 0))) {
        connection.reset();
        session.reset();
        Inform(L"Kann Datei nicht finden " + remoteFile + L".");
        return false;
    }
    const uint64_t size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;

    FtpCacheCopy cacheCopy;
    InetHandle remote(
        FtpOpenFileW(connection.get(), remoteFile.c_str(), GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0));
    if (!remote) return false;
    cacheCopy.Note(remote.get());
    SideFile side(localPath);
    if (side.path().empty()) return false;
    FileHandle local(CreateFileW(side.path().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!local) return false;

    display.Prepare(size);
    uint64_t received = 0;
    bool broken = false;
    char block[kBlockSize];
    for (;;) {
        ProcessPendingMessages();
        DWORD got = 0;
        if (!InternetReadFile(remote.get(), block, kBlockSize, &got)) {
            broken = true;
            break;
        }
        if (got > 0) WriteBlock(local, block, got);
        received += got;
        display.Show(received, size, localPath);
        if (got == 0) break;
    }
    if (!CloseHandle(local.release())) RaiseIoError(GetLastError());
    remote.reset();
    connection.reset();
    session.reset();
    // A data connection that ends early looks like an ordinary end of file;
    // only the size the listing gave tells a cut-off file from a whole one.
    if (broken || received != size) return false;
    return side.MoveOver(localPath);
}

// ---- update descriptor and target folders ----

namespace {
namespace descriptor {

// Values longer than this are not folder or file names but damage; they are
// cut off rather than grown without end.
constexpr size_t kMaxValueChars = 1u << 20;

// Windows' own case mapping, so keywords and literal folders compare the
// way the file system does.
std::wstring Upper(std::wstring s) {
    if (!s.empty()) CharUpperBuffW(&s[0], static_cast<DWORD>(s.size()));
    return s;
}

// A whole decimal integer with an optional sign that fits 32 bits, or nothing.
bool ParseInteger(const std::wstring& text, long long* value) {
    size_t i = (!text.empty() && (text[0] == L'+' || text[0] == L'-')) ? 1 : 0;
    if (i == text.size()) return false;
    long long v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < L'0' || text[i] > L'9') return false;
        v = v * 10 + (text[i] - L'0');
        if (v > 0x80000000LL) return false;
    }
    v = (text[0] == L'-') ? -v : v;
    if (v > 0x7FFFFFFFLL) return false;
    *value = v;
    return true;
}

bool IsDeviceName(const std::wstring& name) {
    // Windows maps "NUL.txt" and "con .log" to the device as well: only the
    // part before the first dot counts, without its trailing blanks.
    std::wstring base = Upper(name.substr(0, name.find(L'.')));
    while (!base.empty() && base.back() == L' ') base.pop_back();
    for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"})
        if (base == device) return true;
    if (base.size() != 4 || (base.compare(0, 3, L"COM") != 0 && base.compare(0, 3, L"LPT") != 0)) return false;
    const wchar_t digit = base[3];
    return (digit >= L'1' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' || digit == L'\u00B3';
}

// The sibling product keeps its catalogue folders in its own configuration
// file; a missing key is added empty so the product's users see where to
// set it.
std::wstring CatalogueFolder(const wchar_t* key) {
    return ReadIniValueOrInit(L"Path", key, std::wstring(), GetNorvix19Folder() + L"norvix4.cfg");
}

std::wstring DataTemp() { return DataTempFolder; }
std::wstring ProData() { return ProFolder; }
std::wstring StdData() { return StdFolder; }
std::wstring CatalogQon5() { return CatalogueFolder(L"Catalog_Qon5"); }
std::wstring CatalogQonPage() { return CatalogueFolder(L"Catalog_QonPage"); }

struct TargetRow {
    const wchar_t* product;
    const wchar_t* keyword;  // compared after upper-casing both sides
    std::wstring (*base)();
    const wchar_t* suffix;
};

// The first matching row wins. Note the data folders: the standard product
// shares the updater's "talvero\temp\" folder, the pro product has its own,
// and the s product keeps help and dialogs in its program folder.
const TargetRow kTargetRows[] = {
    {L"MIRADO19", L"", GetMirado19Folder, L""},
    {L"MIRADO19", L"PROFIL", GetMirado19IecFolder, L""},
    {L"MIRADO19", L"PROFILES", GetMirado19ProfilesFolder, L""},
    {L"MIRADO19", L"SYMBOLE", GetMirado19IecFolder, L"Symbole\\"},
    {L"MIRADO19", L"TEMPLATE", GetMirado19IecFolder, L"Template\\"},
    {L"MIRADO19", L"BMP", GetMirado19IecFolder, L"BMP\\"},
    {L"MIRADO19", L"LAYERS", GetMirado19IecFolder, L"Layers\\"},
    {L"MIRADO19", L"DAT", DataTemp, L"Dat\\"},
    {L"MIRADO19", L"HELP", DataTemp, L"Help\\"},
    {L"MIRADO19", L"DIALOG", DataTemp, L"dialog\\"},
    {L"MIRADO19", L"APPDATA", DataTemp, L""},
    {L"MIRADO19", L"MENU", GetMenuFolder, L""},

    {L"MIRADOPRO19", L"", GetMiradopro19Folder, L""},
    {L"MIRADOPRO19", L"X86", GetMiradopro19Folder, L"X86\\"},
    {L"MIRADOPRO19", L"X64", GetMiradopro19Folder, L"X64\\"},
    {L"MIRADOPRO19", L"PROFIL", GetMiradopro19IecFolder, L""},
    {L"MIRADOPRO19", L"PROFILES", GetMiradopro19ProfilesFolder, L""},
    {L"MIRADOPRO19", L"SYMBOLE", GetMiradopro19IecFolder, L"Symbole\\"},
    {L"MIRADOPRO19", L"TEMPLATE", GetMiradopro19IecFolder, L"Template\\"},
    {L"MIRADOPRO19", L"BMP", GetMiradopro19IecFolder, L"BMP\\"},
    {L"MIRADOPRO19", L"LAYERS", GetMiradopro19IecFolder, L"Layers\\"},
    {L"MIRADOPRO19", L"DAT", ProData, L"Dat\\"},
    {L"MIRADOPRO19", L"HELP", ProData, L"Help\\"},
    {L"MIRADOPRO19", L"DIALOG", ProData, L"dialog\\"},
    {L"MIRADOPRO19", L"APPDATA", ProData, L""},

    {L"MIRADOS19", L"", GetMirados19Folder, L""},
    {L"MIRADOS19", L"SYMBOLE", GetSymbolFolder, L""},
    {L"MIRADOS19", L"BMP", GetMirados19Folder, L"BMP\\"},
    {L"MIRADOS19", L"TEMPLATE", GetTemplateFolder, L""},
    {L"MIRADOS19", L"HELP", GetMirados19Folder, L"Help\\"},
    {L"MIRADOS19", L"DIALOG", GetMirados19Folder, L"dialog\\"},
    {L"MIRADOS19", L"APPDATA", StdData, L""},

    {L"NORVIX19", L"", GetNorvix19Folder, L""},
    {L"NORVIX19", L"BMP", GetNorvix19Folder, L"BMP\\"},
    {L"NORVIX19", L"Catalog_Qon5", CatalogQon5, L""},
    {L"NORVIX19", L"Catalog_Qon5_Block", CatalogQon5, L"Block\\"},
    {L"NORVIX19", L"Catalog_Qon5_Device", CatalogQon5, L"Device\\"},
    {L"NORVIX19", L"Catalog_Qon5_Macro", CatalogQon5, L"Macro\\"},
    {L"NORVIX19", L"Catalog_Qon5_WMF", CatalogQon5, L"WMF\\"},
    {L"NORVIX19", L"Catalog_QonPage", CatalogQonPage, L""},
    {L"NORVIX19", L"Catalog_QonPage_Block", CatalogQonPage, L"Block\\"},
    {L"NORVIX19", L"Catalog_QonPage_Device", CatalogQonPage, L"Device\\"},
    {L"NORVIX19", L"Catalog_QonPage_Macro", CatalogQonPage, L"Macro\\"},
    {L"NORVIX19", L"Catalog_QonPage_WMF", CatalogQonPage, L"WMF\\"},
};

}  // namespace descriptor
}  // namespace

std::wstring EntryNumberText(int n) {
    wchar_t text[16];
    swprintf(text, 16, L"%03d", n);
    return text;
}

std::wstring FtpFileName(const std::wstring& serverName) {
    const size_t n = serverName.size();
    if (n < 3 || descriptor::Upper(serverName.substr(n - 3)) != L"PRG") return serverName;
    return serverName.substr(0, n - 3) + L"EXE";
}

bool IsPlainFileName(const std::wstring& name) {
    if (name.empty()) return false;
    for (const wchar_t c : name)
        if (c < 0x20 || std::wstring_view(L"\\/:*?\"<>|").find(c) != std::wstring_view::npos) return false;
    // Windows drops trailing dots and blanks, so "x." would land on "x" and
    // "." or ".." on a folder itself.
    if (name.back() == L'.' || name.back() == L' ') return false;
    return !descriptor::IsDeviceName(name);
}

std::wstring RefusedEntryLine(const FileEntry& entry) {
    return L"Datei " + entry.F + L" nicht übernommen: \"" + entry.N + L"\" ist kein zulässiger Dateiname";
}

std::wstring UpdateDescriptor::ReadText(const std::wstring& section, const std::wstring& key,
                                        const std::wstring& defaultValue) const {
    std::vector<wchar_t> buf(512);
    for (;;) {
        const DWORD size = static_cast<DWORD>(buf.size());
        const DWORD n = GetPrivateProfileStringW(section.c_str(), key.c_str(), defaultValue.c_str(), buf.data(), size,
                                                 fileName_.c_str());
        // A value that fills the buffer to the last place may have been cut.
        if (n + 1 < size || buf.size() >= descriptor::kMaxValueChars) return std::wstring(buf.data(), n);
        buf.resize(buf.size() * 2);
    }
}

bool UpdateDescriptor::ReadFlag(const std::wstring& section, const std::wstring& key, bool defaultValue) const {
    long long value = 0;
    if (!descriptor::ParseInteger(ReadText(section, key), &value)) return defaultValue;
    return value != 0;
}

std::wstring UpdateDescriptor::Product(const std::wstring& section) const {
    return descriptor::Upper(ReadText(section, L"Prg"));
}

FileEntry UpdateDescriptor::Entry(const std::wstring& section, int n) const {
    const std::wstring nnn = EntryNumberText(n);
    FileEntry e;
    e.number = n;
    e.F = ReadText(section, L"File" + nnn);
    if (e.F.empty()) return e;
    e.FtpName = FtpFileName(e.F);
    e.R = ReadFlag(section, L"Repl" + nnn, true);
    e.O = ReadFlag(section, L"Open" + nnn, false);
    e.N = ReadText(section, L"Name" + nnn);
    e.Path = ReadText(section, L"Path" + nnn);
    e.refused = !IsPlainFileName(e.N);
    return e;
}

std::vector<FileEntry> UpdateDescriptor::Entries(const std::wstring& section) const {
    std::vector<FileEntry> entries;
    for (int n = 1; n <= kMaxFileEntries; ++n) {
        FileEntry e = Entry(section, n);
        if (e.F.empty()) break;
        entries.push_back(std::move(e));
    }
    return entries;
}

std::wstring ResolveTargetFolder(const std::wstring& product, const std::wstring& pathValue) {
    const std::wstring p = descriptor::Upper(product);
    const std::wstring v = descriptor::Upper(pathValue);
    for (const descriptor::TargetRow& row : descriptor::kTargetRows)
        if (p == row.product && v == descriptor::Upper(row.keyword)) return row.base() + row.suffix;
    // Anything the tables do not know is a folder of its own; an empty one
    // leaves the file relative to the current folder.
    return v;
}


// ---- install run and download log ----

namespace {
namespace install {

constexpr const wchar_t* kFtpUser = L"58213_upd";
constexpr const wchar_t* kFtpPassword = L"6184270";
constexpr const wchar_t* kServerFolder = L"lupd19/";
constexpr uint16_t kDefaultFtpPort = 21;

std::wstring Upper(std::wstring s) {
    if (!s.empty()) CharUpperBuffW(&s[0], static_cast<DWORD>(s.size()));
    return s;
}

std::wstring UpdatesFolder() { return WorkFolder + L"Updates\\"; }

// "_History 20261207-090503": one name for every backup folder of a run.
std::wstring HistorySuffix(const SYSTEMTIME& t) {
    wchar_t text[40];
    swprintf(text, 40, L"_History %04u%02u%02u-%02u%02u%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
             t.wSecond);
    return text;
}

// A port is a whole decimal number from 1 to 65535; anything else would
// connect somewhere nobody meant.
bool ParsePort(const std::wstring& text, uint16_t* port) {
    const size_t first = text.find_first_not_of(L' ');
    if (first == std::wstring::npos) return false;
    const size_t last = text.find_last_not_of(L' ');
    unsigned long value = 0;
    for (size_t i = first; i <= last; ++i) {
        if (text[i] < L'0' || text[i] > L'9') return false;
        value = value * 10 + static_cast<unsigned long>(text[i] - L'0');
        if (value > 65535) return false;
    }
    if (value == 0) return false;
    *port = static_cast<uint16_t>(value);
    return true;
}

// The backup and updates folders are made one level deep: their parent was
// made just before, so a failure here is a real fault of the disk.
void CreateOneLevel(const std::wstring& folder) {
    if (FolderExists(folder)) return;
    if (!CreateDirectoryW(folder.c_str(), nullptr)) RaiseIoError(GetLastError());
}

void AddLine(const std::wstring& text) { ListAdd(frmMain->lstAnw, text); }

std::wstring NotFetchedLine(const FileEntry& e) { return Upper(e.N) + L" konnte nicht geladen werden"; }

// The archive engine would be loaded from the updated product's program
// folder. The lookups store their defaults, which is what users see in
// the registry afterwards.
std::wstring EngineFolderOf(const std::wstring& product) {
    if (product == L"MIRADOPRO19") return GetMiradopro19Folder();
    if (product == L"MIRADOS19") return GetMirados19Folder();
    if (product == L"NORVIX19") return GetNorvix19Folder();
    return GetMirado19Folder();
}

bool StartsWithNoCase(const std::wstring& text, const std::wstring& prefix) {
    return text.size() >= prefix.size() && Upper(text.substr(0, prefix.size())) == Upper(prefix);
}

// An archive replaces files the replace path's own backup never saw: each
// goes into the run's backup folder first, under its folder relative to the
// target. The copy made first in a run holds the state before the run and
// stays. A file that cannot be saved is not replaced (the raise leaves it in
// place and ends the extraction).
void BackUpBeforeReplace(const std::wstring& target, const std::wstring& backup, const std::wstring& existing) {
    std::wstring base = target;
    for (wchar_t& c : base)
        if (c == L'/') c = L'\\';
    if (!base.empty() && base.back() != L'\\') base += L'\\';
    const std::wstring relative = StartsWithNoCase(existing, base)
                                      ? existing.substr(base.size())
                                      : existing.substr(existing.find_last_of(L"\\:") + 1);
    const std::wstring copy = backup + L"\\" + relative;
    const std::wstring folder = ExtractFilePath(copy);
    if (!FolderExists(folder)) ForceFolderChain(folder);
    if (FileExists(copy)) return;
    if (!CopyFileW(existing.c_str(), copy.c_str(), TRUE)) RaiseIoError(GetLastError());
}

// Zip1 keeps a replace hook only for the one extraction it was set for.
class ReplaceHook {
public:
    ReplaceHook(TZipExtractor& zip, std::function<void(const std::wstring&, const std::wstring&)> hook)
        : zip_(zip) {
        zip_.OnBeforeReplace = std::move(hook);
    }
    ~ReplaceHook() { zip_.OnBeforeReplace = nullptr; }
    ReplaceHook(const ReplaceHook&) = delete;
    ReplaceHook& operator=(const ReplaceHook&) = delete;

private:
    TZipExtractor& zip_;
};

void UnpackArchive(const std::wstring& product, const std::wstring& archive, const std::wstring& target,
                   const std::wstring& backup) {
    TZipExtractor& zip = frmMain->Zip1;
    try {
        zip.EngineFolder = EngineFolderOf(product);
        zip.EngineLoad = true;
        zip.SetArchiveName(archive);
        zip.ExtractFolder = target;
        zip.AddOption(ExtractOption::OverwriteFiles);
        {
            const ReplaceHook hook(zip, [&target, &backup](const std::wstring& existing, const std::wstring&) {
                BackUpBeforeReplace(target, backup, existing);
            });
            // Faults of the archive itself the component reports on its own.
            zip.Extract();
        }
        ProcessMessages();
    } catch (const std::exception&) {
        ShowMessage(L"Fehler beim entpacken der Datei: " + archive, kAppTitle, MB_OK | MB_ICONERROR);
    }
}

struct Run {
    std::wstring historySuffix;
    uint16_t ftpPort = kDefaultFtpPort;
};

// Replace path: the installed file is saved into the run's backup folder
// before the new one is fetched over it. True when the new file arrived.
bool FetchReplacing(const Run& run, const FileEntry& e, const std::wstring& local, const std::wstring& backup) {
    CreateOneLevel(backup);
    // A copy already there is from earlier in this run: the older state.
    CopyFileW(local.c_str(), (backup + L"\\" + e.N).c_str(), TRUE);
    AddLine(L"Download von: " + Upper(e.N));
    // The transfer lands beside the file and replaces it only once complete,
    // so a failed fetch leaves the installed file as it was.
    const bool fetched = FtpDownload(UpdateFtpHost(), kFtpUser, kFtpPassword, run.ftpPort, kServerFolder,
                                     e.FtpName, local, frmMain->ProgressBar1, frmMain->lblSize, frmMain->lblFile);
    AddLine(fetched ? Upper(e.N) + L" wurde in Pfad: " + Upper(ExtractFilePath(local)) + L" kopiert"
                    : NotFetchedLine(e));
    return fetched;
}

// Keep path: the installed file must stay; the new one is parked in the
// updates folder for the user.
void FetchAside(const FileEntry& e) {
    const std::wstring updates = UpdatesFolder();
    CreateOneLevel(updates);
    const bool fetched = HttpDownload(UpdateBaseUrl + kServerFolder + e.F, updates + e.N, e.O);
    AddLine(fetched ? Upper(e.N) + L" wurde in Temp-Pfad: " + Upper(updates) + L" kopiert" : NotFetchedLine(e));
}

void InstallFile(const Run& run, const std::wstring& product, const FileEntry& e) {
    if (e.refused) {
        AddLine(RefusedEntryLine(e));
    } else {
        const std::wstring target = ResolveTargetFolder(product, e.Path);
        if (!FolderExists(target)) ForceFolderChain(target);
        const std::wstring local = target + e.N;
        const std::wstring backup = target + run.historySuffix;
        if (e.R || !FileExists(local)) {
            const bool fetched = FetchReplacing(run, e, local, backup);
            AddLine(L"");
            ProcessMessages();
            if (fetched && FileTypeSuffix(e.N) == L"zip") UnpackArchive(product, local, target, backup);
            return;
        }
        // An archive parked on the keep path is not unpacked: unpacking it
        // into the target would replace the installed files the entry says
        // must stay.
        FetchAside(e);
    }
    AddLine(L"");
    ProcessMessages();
}

void InstallEntries(const Run& run, const UpdateDescriptor& descriptor, int entryCount) {
    for (int i = 0; i < entryCount; ++i) {
        // Read only now: the list stays usable while earlier entries install.
        if (!CheckListChecked(frmMain->lstUpd, i)) continue;
        if (static_cast<size_t>(i) >= SelectedSections.size()) continue;
        const std::wstring section(1, SelectedSections[static_cast<size_t>(i)]);
        const std::wstring product = descriptor.Product(section);
        for (int n = 1; n <= kMaxFileEntries; ++n) {
            const FileEntry e = descriptor.Entry(section, n);
            if (e.F.empty()) break;
            InstallFile(run, product, e);
        }
    }
}

// The locale's short date as part of a file name: characters a file name
// cannot hold (the slashes of M/d/yyyy, for one) become dots, so the log
// can always be written.
std::wstring LogDateText() {
    wchar_t buf[128] = L"";
    const int n = GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, buf, 128);
    std::wstring date(buf, n > 0 ? static_cast<size_t>(n - 1) : 0);
    for (wchar_t& c : date)
        if (c < 0x20 || std::wstring_view(L"\\/:*?\"<>|").find(c) != std::wstring_view::npos) c = L'.';
    return date;
}

void SaveLines(HWND list, const std::wstring& path) {
    std::string bytes;
    const int count = ListCount(list);
    for (int i = 0; i < count; ++i) bytes += ToAnsi(ListItemText(list, i)) + "\r\n";
    FileHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) RaiseIoError(GetLastError());
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
        RaiseIoError(GetLastError());
    if (written != bytes.size()) RaiseIoError(ERROR_DISK_FULL);
    if (!CloseHandle(file.release())) RaiseIoError(GetLastError());
}

}  // namespace install
}  // namespace

uint16_t InstallFtpPort() {
    std::wstring text;
    try {
        text = RegReadStringOrInit(kSettingsKey, L"FTP Port", L"21");
    } catch (const std::exception&) {
        return install::kDefaultFtpPort;
    }
    uint16_t port = install::kDefaultFtpPort;
    return install::ParsePort(text, &port) ? port : install::kDefaultFtpPort;
}

void InstallUpdates() {
    SYSTEMTIME started;
    GetLocalTime(&started);
    const int entryCount = ListCount(frmMain->lstUpd);
    try {
        const UpdateDescriptor descriptor(WorkFolder + L"update.cfg");
        ListClear(frmMain->lstAnw);
        install::AddLine(L"Erneuerte Dateien");
        install::AddLine(L"");
        install::Run run;
        run.historySuffix = install::HistorySuffix(started);
        run.ftpPort = InstallFtpPort();
        install::InstallEntries(run, descriptor, entryCount);
    } catch (...) {
        // The log of what was done so far is written all the same; should
        // that fail too, the error that ended the run is the one to show,
        // and lstAnw still holds the run's lines.
        try {
            WriteDownloadLog();
        } catch (const std::exception&) {
        }
        throw;
    }
    WriteDownloadLog();
}

void WriteDownloadLog() {
    const std::wstring updates = install::UpdatesFolder();
    if (!FolderExists(updates)) ForceFolderChain(updates);
    const std::wstring path = updates + L"Download " + install::LogDateText() + L" .txt";
    install::SaveLines(frmMain->lstAnw, path);
    ListClear(frmMain->lstAnw);
    ListClear(frmMain->lstUpd);
    install::AddLine(L" Das Download-Protokoll wurde in:");
    install::AddLine(L" " + path);
    install::AddLine(L" gespeichert");
    if (FileExists(path)) ShellExecuteW(ApplicationWindow(), nullptr, path.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED);
}
