#pragma once
// The functions the program takes from COM, the shell, WinInet, urlmon,
// CryptoAPI, the Restart Manager, and those of user32 that came with Vista. Their DLLs are loaded by the first call into them, not at
// start: under Wine mapping them costs the start more than the window
// itself, and the window needs none of them to show.
//
// Each function here has the name and the parameters of the system's own
// and calls it through a pointer looked up once. The same code runs in the
// 32-bit and the 64-bit build; the pointer types come from the system
// headers, so the calling convention is the system's. A DLL or function that
// cannot be found makes the call fail the way the function itself reports a
// failure (the last error is then ERROR_PROC_NOT_FOUND); nothing is called
// through a null pointer.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <urlmon.h>
#include <wincrypt.h>
#include <wininet.h>
#include <restartmanager.h>
#include <string>

namespace lazy {

// ole32
HRESULT CoInitializeEx(LPVOID reserved, DWORD flags);
void CoUninitialize();
void CoTaskMemFree(LPVOID p);
LPVOID CoTaskMemAlloc(SIZE_T size);
HRESULT OleInitialize(LPVOID reserved);
void OleUninitialize();

// shell32
PIDLIST_ABSOLUTE SHBrowseForFolderW(LPBROWSEINFOW bi);
BOOL SHGetPathFromIDListW(PCIDLIST_ABSOLUTE pidl, LPWSTR path);
HINSTANCE ShellExecuteW(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR params, LPCWSTR dir, INT show);

// wininet
HINTERNET InternetOpenW(LPCWSTR agent, DWORD access, LPCWSTR proxy, LPCWSTR bypass, DWORD flags);
HINTERNET InternetConnectW(HINTERNET session, LPCWSTR host, INTERNET_PORT port, LPCWSTR user, LPCWSTR password,
                           DWORD service, DWORD flags, DWORD_PTR context);
BOOL InternetCloseHandle(HINTERNET h);
BOOL InternetReadFile(HINTERNET file, LPVOID buffer, DWORD toRead, LPDWORD read);
BOOL InternetQueryOptionW(HINTERNET h, DWORD option, LPVOID buffer, LPDWORD length);
BOOL FtpSetCurrentDirectoryW(HINTERNET connection, LPCWSTR folder);
HINTERNET FtpFindFirstFileW(HINTERNET connection, LPCWSTR search, LPWIN32_FIND_DATAW found, DWORD flags,
                            DWORD_PTR context);
HINTERNET FtpOpenFileW(HINTERNET connection, LPCWSTR file, DWORD access, DWORD flags, DWORD_PTR context);
BOOL DeleteUrlCacheEntryW(LPCWSTR url);
BOOL FtpCommandW(HINTERNET connection, BOOL expectResponse, DWORD flags, LPCWSTR command, DWORD_PTR context,
                 HINTERNET* dataConnection);
BOOL InternetGetLastResponseInfoW(LPDWORD error, LPWSTR buffer, LPDWORD length);
HINTERNET InternetOpenUrlW(HINTERNET session, LPCWSTR url, LPCWSTR headers, DWORD headersLength, DWORD flags,
                           DWORD_PTR context);
BOOL HttpQueryInfoW(HINTERNET request, DWORD level, LPVOID buffer, LPDWORD length, LPDWORD index);

// urlmon
HRESULT URLDownloadToFileW(LPUNKNOWN caller, LPCWSTR url, LPCWSTR file, DWORD reserved, LPBINDSTATUSCALLBACK cb);

// crypt32
BOOL CryptStringToBinaryA(LPCSTR text, DWORD chars, DWORD flags, BYTE* out, DWORD* size, DWORD* skip, DWORD* used);
BOOL CryptDecodeObjectEx(DWORD encoding, LPCSTR type, const BYTE* data, DWORD size, DWORD flags,
                         PCRYPT_DECODE_PARA para, void* out, DWORD* outSize);
BOOL CryptImportPublicKeyInfo(HCRYPTPROV prov, DWORD encoding, PCERT_PUBLIC_KEY_INFO info, HCRYPTKEY* key);

// rstrtmgr (Vista on): who holds a file open
DWORD RmStartSession(DWORD* session, DWORD flags, WCHAR* key);
DWORD RmRegisterResources(DWORD session, UINT fileCount, LPCWSTR* files, UINT processCount,
                          RM_UNIQUE_PROCESS* processes, UINT serviceCount, LPCWSTR* services);
DWORD RmGetList(DWORD session, UINT* needed, UINT* count, RM_PROCESS_INFO* found, LPDWORD rebootReasons);
DWORD RmEndSession(DWORD session);

// user32 (Vista on): the reason shown while the program holds off a log-off
BOOL ShutdownBlockReasonCreate(HWND window, LPCWSTR reason);
BOOL ShutdownBlockReasonDestroy(HWND window);

// Looks up every function above; false names the first one missing as
// "dll!function". The program itself never needs this: each call looks up
// its own function.
bool ResolveAll(std::wstring* missing);

}  // namespace lazy
