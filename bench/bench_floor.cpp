// The floor of the demo install (not a test): the same transfers the
// install run made, one after another, with nothing around them, so that
// the install's time can be read against what the line and Wine cost.
//
//   bench_floor.exe <ftp port> <http port> <update19.txt> <plan> <scratch folder\> [http]
//
// <plan> holds what one install run of the demo fetched, in its order, as
// bench_wizard.exe read it from that run's download log: "ftp NAME" for a
// file fetched over FTP onto its target, "http NAME" for one parked on the
// keep path, NAME being the entry's local name. The list (the catalogue's
// update19.txt in code page 1252) gives each name's server file. Per FTP
// file one session (InternetOpen, InternetConnect, FtpOpenFile, 4096-byte
// InternetReadFile loop into a file), per keep-path file one
// URLDownloadToFileW; no display, backup, side file or unpacking. With
// "http" the FTP files are fetched as the install run fetches them when FTP
// cannot be reached: from the web server under the list's name, one session
// per file (InternetOpen, InternetOpenUrl, the same read loop).
// Prints "floor_ms <milliseconds>" and "floor_files <count>".
#include <windows.h>
#include <shellapi.h>
#include <urlmon.h>
#include <wininet.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "BareFetch.h"
#include "sys/Dateien.h"
#include "sys/Handles.h"

namespace {

struct Fetch {
    bool ftp;
    std::wstring remote;  // the file's name in lupd19/ on the server
    bool replaces = false;  // an FTP file of the run, fetched over HTTP with "http"
};

std::vector<std::wstring> ReadLines(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    std::vector<std::wstring> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(FromAnsi(line));
    }
    return lines;
}

bool SameNoCase(const std::wstring& a, const std::wstring& b) {
    return lstrcmpiW(a.c_str(), b.c_str()) == 0;
}

// The server file of the entry whose NameNNN is name; empty when no entry
// or two entries with different files have that name.
std::wstring ServerFile(const std::vector<std::wstring>& list, const std::wstring& name) {
    std::wstring found, section;
    bool ambiguous = false;
    for (const std::wstring& line : list) {
        if (!line.empty() && line[0] == L'[') section = line;
        if (line.size() < 8 || line.compare(0, 4, L"Name") != 0 || line[7] != L'=') continue;
        if (!SameNoCase(line.substr(8), name)) continue;
        const std::wstring key = L"File" + line.substr(4, 3) + L"=";
        bool inSection = false;
        std::wstring file;
        for (const std::wstring& other : list) {
            if (!other.empty() && other[0] == L'[') inSection = other == section;
            if (inSection && other.compare(0, key.size(), key) == 0) file = other.substr(key.size());
        }
        ambiguous = ambiguous || (!found.empty() && !SameNoCase(found, file));
        found = file;
    }
    return ambiguous ? std::wstring() : found;
}

// The FTP name of a list entry: a closing "prg" is served as "EXE".
std::wstring FtpName(std::wstring file) {
    if (file.size() >= 3 && SameNoCase(file.substr(file.size() - 3), L"prg")) file.replace(file.size() - 3, 3, L"EXE");
    return file;
}

bool FtpFetch(uint16_t port, const std::wstring& remote, const std::wstring& local) {
    InetHandle session(InternetOpenW(L"Program_Name", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    InetHandle connection(InternetConnectW(session.get(), L"127.0.0.1", port, L"58213_upd", L"6184270",
                                           INTERNET_SERVICE_FTP, 0, 0));
    // The folder and the size lookup belong to every fetch the program
    // makes, so they belong to the floor too; Wine answers the lookup by
    // listing the whole folder, which costs more than a small file.
    if (!connection || !FtpSetCurrentDirectoryW(connection.get(), L"lupd19/")) return false;
    WIN32_FIND_DATAW found{};
    if (!InetHandle(FtpFindFirstFileW(connection.get(), remote.c_str(), &found, INTERNET_FLAG_RELOAD, 0))) return false;
    InetHandle file(FtpOpenFileW(connection.get(), remote.c_str(), GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0));
    return ReadAllInto(file.get(), local);
}

bool ReadPlan(const std::wstring& planPath, const std::wstring& listPath, bool ftpOverHttp, std::vector<Fetch>* plan) {
    const std::vector<std::wstring> list = ReadLines(listPath);
    for (const std::wstring& line : ReadLines(planPath)) {
        const size_t blank = line.find(L' ');
        if (blank == std::wstring::npos) continue;
        const std::wstring way = line.substr(0, blank), name = line.substr(blank + 1);
        const std::wstring file = ServerFile(list, name);
        if (file.empty() || (way != L"ftp" && way != L"http")) {
            std::fwprintf(stderr, L"bench_floor: %ls is not one entry of the list\n", line.c_str());
            return false;
        }
        const bool ftp = way == L"ftp" && !ftpOverHttp;
        plan->push_back({ftp, ftp ? FtpName(file) : file, way == L"ftp"});
    }
    return !plan->empty();
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 6) {
        std::fprintf(stderr, "usage: bench_floor <ftp port> <http port> <update19.txt> <plan> <scratch folder\\> [http]\n");
        return 2;
    }
    const auto ftpPort = static_cast<uint16_t>(_wtoi(argv[1]));
    const std::wstring base = L"http://127.0.0.1:" + std::wstring(argv[2]) + L"/talveroupdate/files/lupd19/";
    const std::wstring scratch = argv[5];
    std::vector<Fetch> plan;
    if (!ReadPlan(argv[4], argv[3], argc > 6 && std::wstring(argv[6]) == L"http", &plan)) return 1;
    CoInitialize(nullptr);
    CreateDirectoryW(scratch.c_str(), nullptr);
    // Each round fetches from the server, as the install run does.
    for (const Fetch& f : plan)
        if (!f.ftp) DeleteUrlCacheEntryW((base + f.remote).c_str());

    LARGE_INTEGER freq, t0, t1;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&t0);
    for (size_t i = 0; i < plan.size(); ++i) {
        const Fetch& f = plan[i];
        const std::wstring local = scratch + std::to_wstring(i) + L"_" + f.remote;
        const bool ok = f.ftp        ? FtpFetch(ftpPort, f.remote, local)
                        : f.replaces ? BareHttpFetch(base + f.remote, local)
                                     : URLDownloadToFileW(nullptr, (base + f.remote).c_str(), local.c_str(), 0,
                                                          nullptr) == S_OK;
        if (!ok) {
            std::fwprintf(stderr, L"bench_floor: %ls could not be fetched\n", f.remote.c_str());
            return 1;
        }
    }
    QueryPerformanceCounter(&t1);
    std::printf("floor_ms %.1f\nfloor_files %u\n",
                static_cast<double>(t1.QuadPart - t0.QuadPart) * 1000.0 / static_cast<double>(freq.QuadPart),
                static_cast<unsigned>(plan.size()));
    for (const Fetch& f : plan)
        if (!f.ftp) DeleteUrlCacheEntryW((base + f.remote).c_str());
    CoUninitialize();
    return 0;
}
