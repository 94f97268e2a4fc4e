#include "sys/LazyDlls.h"

#include <atomic>
#include <cstring>
#include <utility>

namespace {

enum class Dll { Ole32, Shell32, Wininet, Urlmon, Crypt32, Rstrtmgr, User32, Count };

const wchar_t* const kDllNames[] = {L"ole32.dll", L"shell32.dll", L"wininet.dll", L"urlmon.dll", L"crypt32.dll",
                                    L"rstrtmgr.dll", L"user32.dll"};
static_assert(sizeof kDllNames / sizeof kDllNames[0] == static_cast<size_t>(Dll::Count), "one name per DLL");

// A DLL once loaded stays for the program's life, as a delay-loaded one
// would. It is loaded by its full path in the system folder: the program may
// be started from a folder that others can write, and a DLL of the same name
// there must never be taken instead of the system's.
HMODULE Module(Dll dll) {
    static std::atomic<HMODULE> loaded[static_cast<size_t>(Dll::Count)];
    std::atomic<HMODULE>& slot = loaded[static_cast<size_t>(dll)];
    HMODULE m = slot.load(std::memory_order_acquire);
    if (m) return m;
    wchar_t path[MAX_PATH + 20];
    const UINT len = GetSystemDirectoryW(path, MAX_PATH);
    if (len == 0 || len >= MAX_PATH) return nullptr;
    path[len] = L'\\';
    wcscpy(path + len + 1, kDllNames[static_cast<size_t>(dll)]);
    // Two threads may race here; each load only counts the DLL once more.
    m = LoadLibraryW(path);
    if (m) slot.store(m, std::memory_order_release);
    return m;
}

class ProcBase {
public:
    constexpr ProcBase(Dll dll, const char* name) : dll_(dll), name_(name) {}
    void* Address() {
        void* p = cached_.load(std::memory_order_acquire);
        if (p) return p;
        HMODULE m = Module(dll_);
        const FARPROC found = m ? GetProcAddress(m, name_) : nullptr;
        // A function pointer copied bytewise: the cast between function
        // pointer types would be the same bits, but draws a warning.
        static_assert(sizeof found == sizeof p, "code and data pointers of one size");
        std::memcpy(&p, &found, sizeof p);
        if (p) cached_.store(p, std::memory_order_release);
        return p;
    }
    Dll dll() const { return dll_; }
    const char* name() const { return name_; }

private:
    Dll dll_;
    const char* name_;
    std::atomic<void*> cached_{nullptr};
};

template <typename Fn>
class Proc : public ProcBase {
public:
    using ProcBase::ProcBase;
    Fn get() {
        void* p = Address();
        Fn f;
        std::memcpy(&f, &p, sizeof f);
        return f;
    }
};

template <typename Fn, typename R, typename... A>
R Call(Proc<Fn>& proc, R failure, A... args) {
    if (Fn f = proc.get()) return f(args...);
    SetLastError(ERROR_PROC_NOT_FOUND);
    return failure;
}

template <typename Fn, typename... A>
void CallVoid(Proc<Fn>& proc, A... args) {
    if (Fn f = proc.get()) f(args...);
}

// Every function taken from these DLLs, once: the pointers below and the
// list the tests resolve are both made from it.
#define LAZY_FUNCTIONS(X)                                                                                         \
    X(Ole32, CoInitializeEx) X(Ole32, CoUninitialize) X(Ole32, CoTaskMemFree) X(Ole32, OleInitialize)            \
    X(Ole32, CoTaskMemAlloc) X(Wininet, FtpCommandW) X(Wininet, InternetGetLastResponseInfoW)                     \
    X(Wininet, InternetOpenUrlW) X(Wininet, HttpQueryInfoW)                                                       \
    X(Ole32, OleUninitialize) X(Shell32, SHBrowseForFolderW) X(Shell32, SHGetPathFromIDListW)                     \
    X(Shell32, ShellExecuteW) X(Wininet, InternetOpenW) X(Wininet, InternetConnectW)                              \
    X(Wininet, InternetCloseHandle) X(Wininet, InternetReadFile) X(Wininet, InternetQueryOptionW)                 \
    X(Wininet, FtpSetCurrentDirectoryW) X(Wininet, FtpFindFirstFileW) X(Wininet, FtpOpenFileW)                    \
    X(Wininet, DeleteUrlCacheEntryW) X(Urlmon, URLDownloadToFileW) X(Crypt32, CryptStringToBinaryA)              \
    X(Crypt32, CryptDecodeObjectEx) X(Crypt32, CryptImportPublicKeyInfo) X(Rstrtmgr, RmStartSession)           \
    X(Rstrtmgr, RmRegisterResources) X(Rstrtmgr, RmGetList) X(Rstrtmgr, RmEndSession)

// Functions the headers declare only for Vista and later, which the
// program's Windows XP target leaves out: their types are spelt here.
#define LAZY_TYPED_FUNCTIONS(X)                                          \
    X(User32, ShutdownBlockReasonCreate, BOOL(WINAPI*)(HWND, LPCWSTR)) \
    X(User32, ShutdownBlockReasonDestroy, BOOL(WINAPI*)(HWND))

// The system headers give each pointer its type, stdcall included on i686.
#define LAZY_PROC(dll, fn) Proc<decltype(&::fn)> p##fn{Dll::dll, #fn};
LAZY_FUNCTIONS(LAZY_PROC)
#undef LAZY_PROC
#define LAZY_TYPED_PROC(dll, fn, type) Proc<type> p##fn{Dll::dll, #fn};
LAZY_TYPED_FUNCTIONS(LAZY_TYPED_PROC)
#undef LAZY_TYPED_PROC

#define LAZY_ENTRY(dll, fn) &p##fn,
#define LAZY_TYPED_ENTRY(dll, fn, type) &p##fn,
ProcBase* const kAll[] = {LAZY_FUNCTIONS(LAZY_ENTRY) LAZY_TYPED_FUNCTIONS(LAZY_TYPED_ENTRY)};
#undef LAZY_TYPED_ENTRY
#undef LAZY_ENTRY

}  // namespace

namespace lazy {

HRESULT CoInitializeEx(LPVOID reserved, DWORD flags) { return Call(pCoInitializeEx, E_FAIL, reserved, flags); }
void CoUninitialize() { CallVoid(pCoUninitialize); }
void CoTaskMemFree(LPVOID p) { CallVoid(pCoTaskMemFree, p); }
LPVOID CoTaskMemAlloc(SIZE_T size) { return Call(pCoTaskMemAlloc, LPVOID{}, size); }
HRESULT OleInitialize(LPVOID reserved) { return Call(pOleInitialize, E_FAIL, reserved); }
void OleUninitialize() { CallVoid(pOleUninitialize); }

PIDLIST_ABSOLUTE SHBrowseForFolderW(LPBROWSEINFOW bi) {
    return Call(pSHBrowseForFolderW, PIDLIST_ABSOLUTE{}, bi);
}
BOOL SHGetPathFromIDListW(PCIDLIST_ABSOLUTE pidl, LPWSTR path) {
    return Call(pSHGetPathFromIDListW, BOOL{FALSE}, pidl, path);
}
HINSTANCE ShellExecuteW(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR params, LPCWSTR dir, INT show) {
    // Values up to 32 are the function's own error codes.
    return Call(pShellExecuteW, reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(SE_ERR_DLLNOTFOUND)), owner, verb,
                file, params, dir, show);
}

HINTERNET InternetOpenW(LPCWSTR agent, DWORD access, LPCWSTR proxy, LPCWSTR bypass, DWORD flags) {
    return Call(pInternetOpenW, HINTERNET{}, agent, access, proxy, bypass, flags);
}
HINTERNET InternetConnectW(HINTERNET session, LPCWSTR host, INTERNET_PORT port, LPCWSTR user, LPCWSTR password,
                           DWORD service, DWORD flags, DWORD_PTR context) {
    return Call(pInternetConnectW, HINTERNET{}, session, host, port, user, password, service, flags, context);
}
BOOL InternetCloseHandle(HINTERNET h) { return Call(pInternetCloseHandle, BOOL{FALSE}, h); }
BOOL InternetReadFile(HINTERNET file, LPVOID buffer, DWORD toRead, LPDWORD read) {
    return Call(pInternetReadFile, BOOL{FALSE}, file, buffer, toRead, read);
}
BOOL InternetQueryOptionW(HINTERNET h, DWORD option, LPVOID buffer, LPDWORD length) {
    return Call(pInternetQueryOptionW, BOOL{FALSE}, h, option, buffer, length);
}
BOOL FtpSetCurrentDirectoryW(HINTERNET connection, LPCWSTR folder) {
    return Call(pFtpSetCurrentDirectoryW, BOOL{FALSE}, connection, folder);
}
HINTERNET FtpFindFirstFileW(HINTERNET connection, LPCWSTR search, LPWIN32_FIND_DATAW found, DWORD flags,
                            DWORD_PTR context) {
    return Call(pFtpFindFirstFileW, HINTERNET{}, connection, search, found, flags, context);
}
HINTERNET FtpOpenFileW(HINTERNET connection, LPCWSTR file, DWORD access, DWORD flags, DWORD_PTR context) {
    return Call(pFtpOpenFileW, HINTERNET{}, connection, file, access, flags, context);
}
BOOL DeleteUrlCacheEntryW(LPCWSTR url) { return Call(pDeleteUrlCacheEntryW, BOOL{FALSE}, url); }
BOOL FtpCommandW(HINTERNET connection, BOOL expectResponse, DWORD flags, LPCWSTR command, DWORD_PTR context,
                 HINTERNET* dataConnection) {
    return Call(pFtpCommandW, BOOL{FALSE}, connection, expectResponse, flags, command, context, dataConnection);
}
BOOL InternetGetLastResponseInfoW(LPDWORD error, LPWSTR buffer, LPDWORD length) {
    return Call(pInternetGetLastResponseInfoW, BOOL{FALSE}, error, buffer, length);
}
HINTERNET InternetOpenUrlW(HINTERNET session, LPCWSTR url, LPCWSTR headers, DWORD headersLength, DWORD flags,
                           DWORD_PTR context) {
    return Call(pInternetOpenUrlW, HINTERNET{}, session, url, headers, headersLength, flags, context);
}
BOOL HttpQueryInfoW(HINTERNET request, DWORD level, LPVOID buffer, LPDWORD length, LPDWORD index) {
    return Call(pHttpQueryInfoW, BOOL{FALSE}, request, level, buffer, length, index);
}

HRESULT URLDownloadToFileW(LPUNKNOWN caller, LPCWSTR url, LPCWSTR file, DWORD reserved, LPBINDSTATUSCALLBACK cb) {
    return Call(pURLDownloadToFileW, E_FAIL, caller, url, file, reserved, cb);
}

BOOL CryptStringToBinaryA(LPCSTR text, DWORD chars, DWORD flags, BYTE* out, DWORD* size, DWORD* skip, DWORD* used) {
    return Call(pCryptStringToBinaryA, BOOL{FALSE}, text, chars, flags, out, size, skip, used);
}
BOOL CryptDecodeObjectEx(DWORD encoding, LPCSTR type, const BYTE* data, DWORD size, DWORD flags,
                         PCRYPT_DECODE_PARA para, void* out, DWORD* outSize) {
    return Call(pCryptDecodeObjectEx, BOOL{FALSE}, encoding, type, data, size, flags, para, out, outSize);
}
BOOL CryptImportPublicKeyInfo(HCRYPTPROV prov, DWORD encoding, PCERT_PUBLIC_KEY_INFO info, HCRYPTKEY* key) {
    return Call(pCryptImportPublicKeyInfo, BOOL{FALSE}, prov, encoding, info, key);
}

DWORD RmStartSession(DWORD* session, DWORD flags, WCHAR* key) {
    return Call(pRmStartSession, DWORD{ERROR_PROC_NOT_FOUND}, session, flags, key);
}
DWORD RmRegisterResources(DWORD session, UINT fileCount, LPCWSTR* files, UINT processCount,
                          RM_UNIQUE_PROCESS* processes, UINT serviceCount, LPCWSTR* services) {
    return Call(pRmRegisterResources, DWORD{ERROR_PROC_NOT_FOUND}, session, fileCount, files, processCount, processes,
                serviceCount, services);
}
DWORD RmGetList(DWORD session, UINT* needed, UINT* count, RM_PROCESS_INFO* found, LPDWORD rebootReasons) {
    return Call(pRmGetList, DWORD{ERROR_PROC_NOT_FOUND}, session, needed, count, found, rebootReasons);
}
DWORD RmEndSession(DWORD session) { return Call(pRmEndSession, DWORD{ERROR_PROC_NOT_FOUND}, session); }

BOOL ShutdownBlockReasonCreate(HWND window, LPCWSTR reason) {
    return Call(pShutdownBlockReasonCreate, BOOL{FALSE}, window, reason);
}
BOOL ShutdownBlockReasonDestroy(HWND window) { return Call(pShutdownBlockReasonDestroy, BOOL{FALSE}, window); }

bool ResolveAll(std::wstring* missing) {
    for (ProcBase* p : kAll) {
        if (p->Address()) continue;
        if (missing) {
            *missing = kDllNames[static_cast<size_t>(p->dll())];
            *missing += L'!';
            for (const char* c = p->name(); *c; ++c) *missing += static_cast<wchar_t>(*c);
        }
        return false;
    }
    return true;
}

}  // namespace lazy
