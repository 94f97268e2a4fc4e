#pragma once
// The local update server that ctest starts for the test_net_* tests
// (tools/test-server.sh): where it listens, its catalogue folder as Wine
// sees it, and its run-time fault switches.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>
#include <wininet.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace nettest {

struct ServerInfo {
    bool ok = false;
    std::wstring problem;
    uint16_t httpPort = 0;
    uint16_t ftpPort = 0;
    std::wstring catalogue;  // Z:\...\catalogue\ with a trailing backslash
    std::wstring state;      // the state folder itself (Z:...), with a trailing backslash
    uint16_t proxyPort = 0;  // the proxy beside the server; 0: none installed
};

inline std::wstring StateFile(const std::wstring& folder, const wchar_t* name) {
    std::string bytes;
    if (!testsupport::ReadFileBytes(folder + name, &bytes)) return std::wstring();
    while (!bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r')) bytes.pop_back();
    return testsupport::Widen(bytes);
}

// UPDATE_TEST_STATE holds a Unix path; the Z: drive shows the Unix tree.
inline ServerInfo LoadServerInfo() {
    ServerInfo info;
    wchar_t buf[2048];
    const DWORD n = GetEnvironmentVariableW(L"UPDATE_TEST_STATE", buf, 2048);
    if (n == 0 || n >= 2048) {
        info.problem = L"UPDATE_TEST_STATE is not set (run through ctest or tools/test-server.sh)";
        return info;
    }
    std::wstring folder(buf, n);
    for (wchar_t& c : folder)
        if (c == L'/') c = L'\\';
    if (folder.back() != L'\\') folder += L'\\';
    if (folder.size() > 1 && folder[1] != L':') folder = L"Z:" + folder;
    info.httpPort = static_cast<uint16_t>(_wtoi(StateFile(folder, L"http_port").c_str()));
    info.ftpPort = static_cast<uint16_t>(_wtoi(StateFile(folder, L"ftp_port").c_str()));
    info.catalogue = StateFile(folder, L"catalogue_win");
    info.state = folder;
    info.proxyPort = static_cast<uint16_t>(_wtoi(StateFile(folder, L"proxy_port").c_str()));
    info.ok = info.httpPort && info.ftpPort && !info.catalogue.empty();
    if (!info.ok) info.problem = L"no server state in " + folder;
    return info;
}

inline const ServerInfo& Server() {
    static const ServerInfo info = LoadServerInfo();
    return info;
}

inline std::wstring HttpBase() {
    return L"http://127.0.0.1:" + std::to_wstring(Server().httpPort) + L"/talveroupdate/files/";
}

// A plain GET past every cache; the body, and the status in *status.
inline std::string HttpGet(const std::wstring& url, DWORD* status) {
    std::string body;
    *status = 0;
    HINTERNET session = InternetOpenW(L"utest", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    if (!session) return body;
    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE;
    HINTERNET request = InternetOpenUrlW(session, url.c_str(), nullptr, 0, flags, 0);
    if (request) {
        DWORD size = sizeof(*status);
        HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, status, &size, nullptr);
        char block[4096];
        DWORD got = 0;
        while (InternetReadFile(request, block, sizeof(block), &got) && got > 0) body.append(block, got);
        InternetCloseHandle(request);
    }
    InternetCloseHandle(session);
    return body;
}

// Sets fault switches, e.g. "reset=1&ftp_cut=1000"; see tools/update_server.py.
inline void Control(const std::string& query) {
    DWORD status = 0;
    const std::string answer = HttpGet(L"http://127.0.0.1:" + std::to_wstring(Server().httpPort) +
                                           L"/_control?" + testsupport::Widen(query),
                                       &status);
    ASSERT_EQ(status, 200u) << query << ": " << answer;
}

// What clients asked the server since the last reset, as its JSON text:
// {"ftp": ["PORT ...", "RETR x", ...], "http": [{"method": ..., "path": ...,
// "range": ..., "if_range": ..., "status": ...}, ...]}.
inline std::string ServerLog() {
    DWORD status = 0;
    return HttpGet(L"http://127.0.0.1:" + std::to_wstring(Server().httpPort) + L"/_log", &status);
}
// The FTP part of the log alone, for checks of which commands were sent.
inline std::string FtpLog() {
    const std::string log = ServerLog();
    const size_t from = log.find("\"ftp\""), to = log.find("\"http\"");
    if (from == std::string::npos) return log;
    return to != std::string::npos && to > from ? log.substr(from, to - from) : log.substr(from);
}
inline std::string HttpLog() {
    const std::string log = ServerLog();
    const size_t from = log.find("\"http\"");
    return from == std::string::npos ? std::string() : log.substr(from);
}

// The real proxy beside the server (tinyproxy), made the prefix's proxy in
// the Internet settings for as long as this lives; the settings before are
// put back at the end. Programs read them when they open WinInet, so what
// is to go through the proxy starts after this is made.
class SystemProxy {
public:
    SystemProxy() {
        if (!Server().proxyPort) return;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr) !=
            ERROR_SUCCESS)
            return;
        hadEnable_ = Get(L"ProxyEnable", &enable_);
        hadServer_ = Get(L"ProxyServer", &server_);
        const DWORD on = 1;
        const std::wstring at = L"127.0.0.1:" + std::to_wstring(Server().proxyPort);
        RegSetValueExW(key_, L"ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&on), sizeof on);
        RegSetValueExW(key_, L"ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(at.c_str()),
                       static_cast<DWORD>((at.size() + 1) * sizeof(wchar_t)));
    }
    ~SystemProxy() {
        if (!key_) return;
        Put(L"ProxyEnable", hadEnable_, enable_);
        Put(L"ProxyServer", hadServer_, server_);
        RegCloseKey(key_);
    }
    SystemProxy(const SystemProxy&) = delete;
    SystemProxy& operator=(const SystemProxy&) = delete;

    bool ok() const { return key_ != nullptr; }
    // The requests the proxy forwarded since it started, one per line
    // ("GET http://127.0.0.1:.../talveroupdate/files/update19.txt HTTP/1.1").
    std::string Requests() const {
        std::string log, requests;
        testsupport::ReadFileBytes(Server().state + L"proxy\\proxy.log", &log);
        for (size_t at = log.find("Request ("); at != std::string::npos; at = log.find("Request (", at + 1)) {
            const size_t from = log.find("): ", at), to = log.find('\n', at);
            if (from < to) requests += log.substr(from + 3, to - from - 3) + "\n";
        }
        return requests;
    }

private:
    static constexpr const wchar_t* kKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
    struct Value {
        DWORD type = 0;
        std::vector<BYTE> bytes;
    };
    bool Get(const wchar_t* name, Value* v) {
        DWORD size = 0;
        if (RegQueryValueExW(key_, name, nullptr, &v->type, nullptr, &size) != ERROR_SUCCESS) return false;
        v->bytes.resize(size);
        return RegQueryValueExW(key_, name, nullptr, &v->type, v->bytes.data(), &size) == ERROR_SUCCESS;
    }
    void Put(const wchar_t* name, bool had, const Value& v) {
        if (had)
            RegSetValueExW(key_, name, 0, v.type, v.bytes.data(), static_cast<DWORD>(v.bytes.size()));
        else
            RegDeleteValueW(key_, name);
    }

    HKEY key_ = nullptr;
    bool hadEnable_ = false, hadServer_ = false;
    Value enable_, server_;
};

inline std::string RandomBytes(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string bytes(n, '\0');
    for (char& c : bytes) c = static_cast<char>(gen() & 0xFF);
    return bytes;
}

// Files put into the catalogue for one test, removed again at its end.
class Published {
public:
    Published() = default;
    ~Published() {
        for (const std::wstring& p : paths_) DeleteFileW(p.c_str());
    }
    Published(const Published&) = delete;
    Published& operator=(const Published&) = delete;

    // relative: below the catalogue, e.g. L"lupd19\\a.bin".
    std::wstring Put(const std::wstring& relative, const std::string& bytes) {
        const std::wstring path = Server().catalogue + relative;
        testsupport::WriteFileBytes(path, bytes);
        paths_.push_back(path);
        return path;
    }

private:
    std::vector<std::wstring> paths_;
};

// Names of the files in a folder (no sub-folders), to spot leftovers.
inline std::vector<std::wstring> FilesIn(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((folder + L"*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(fd.cFileName);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return names;
}

// Copies of a fetched file (stem "x" for "x.bin") kept in the user's web cache.
inline int CacheCopies(const std::wstring& stem) {
    wchar_t cache[MAX_PATH] = L"";
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_INTERNET_CACHE, nullptr, 0, cache))) return -1;
    const std::wstring root = std::wstring(cache) + L"\\Content.IE5\\";
    int count = 0;
    WIN32_FIND_DATAW dir;
    HANDLE h = FindFirstFileW((root + L"*").c_str(), &dir);
    if (h == INVALID_HANDLE_VALUE) return 0;
    do {
        if (!(dir.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || dir.cFileName[0] == L'.') continue;
        WIN32_FIND_DATAW fd;
        HANDLE f = FindFirstFileW((root + dir.cFileName + L"\\" + stem + L"[*").c_str(), &fd);
        if (f == INVALID_HANDLE_VALUE) continue;
        do ++count;
        while (FindNextFileW(f, &fd));
        FindClose(f);
    } while (FindNextFileW(h, &dir));
    FindClose(h);
    return count;
}

}  // namespace nettest
