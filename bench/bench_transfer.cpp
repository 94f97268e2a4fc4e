// Transfer timings against the local update server (tools/bench-transfer.sh
// starts it and adds curl for comparison):
//   ftp_display  FtpDownload with the progress display running
//   ftp_bare     the same WinInet calls and 4096-byte reads, no display
//   ftp_pumped   ftp_bare plus the per-block message check, still no display
//   http         HttpDownload
//   http_bare    one plain URLDownloadToFileW
//   http_fallback       FtpDownload where nothing listens on the FTP port:
//                       the file comes over HTTP with the display
//   http_fallback_bare  the same URL read bare through WinInet
// Usage: bench_transfer.exe <ftp port> <http port> <remote file in lupd19/> <local folder\> [rounds] [ftp]
// With "ftp" only ftp_display and ftp_bare run, and no probe (the throttled
// rounds, where the server sets the pace). Otherwise bench_probe.exe
// measures how fast the window answers during every ftp_display transfer.
// Prints "RESULT <name> <median seconds> <fastest seconds> <bytes>" per way,
// "RATIO <name> <median of the per-round ratios>" and
// "PROBE ftp_display <longest answer ms> <probes> <timeouts>".
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>
#include <urlmon.h>
#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "BareFetch.h"
#include "sys/Handles.h"
#include "ProbeRun.h"
#include "ui/ProgressControls.h"
#include "net/Transfers.h"
#include "run/Variable.h"
#include "ui/WindowReporting.h"
#include "ui/main.h"

namespace {

double Now() {
    LARGE_INTEGER f, t;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

int64_t FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::wstring lastCacheCopy;

// The transfer as FtpDownload makes it, minus everything it adds.
// pumped: with the message check FtpDownload makes before every block.
bool BareFtp(uint16_t port, const std::wstring& remote, const std::wstring& local, bool pumped = false) {
    InetHandle session(InternetOpenW(L"Program_Name", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    InetHandle connection(InternetConnectW(session.get(), L"127.0.0.1", port, L"58213_upd", L"6184270",
                                           INTERNET_SERVICE_FTP, 0, 0));
    if (!connection || !FtpSetCurrentDirectoryW(connection.get(), L"lupd19/")) return false;
    WIN32_FIND_DATAW found{};
    if (!InetHandle(FtpFindFirstFileW(connection.get(), remote.c_str(), &found, 0, 0))) return false;
    InetHandle file(FtpOpenFileW(connection.get(), remote.c_str(), GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0));
    // The cache copy WinInet makes is dropped after the timing (see Tidy).
    lastCacheCopy.assign(MAX_PATH + 1, L'\0');
    DWORD size = static_cast<DWORD>(lastCacheCopy.size() * sizeof(wchar_t));
    if (!InternetQueryOptionW(file.get(), INTERNET_OPTION_DATAFILE_NAME, &lastCacheCopy[0], &size))
        lastCacheCopy.clear();
    lastCacheCopy.resize(wcsnlen(lastCacheCopy.c_str(), lastCacheCopy.size()));
    FileHandle out(CreateFileW(local.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                               nullptr));
    if (!file || !out) return false;
    char block[4096];
    DWORD got = 0;
    for (;;) {
        if (pumped && HIWORD(GetQueueStatus(QS_ALLINPUT)) != 0) ProcessMessages();
        if (!InternetReadFile(file.get(), block, sizeof(block), &got) || got == 0) break;
        DWORD written = 0;
        if (!WriteFile(out.get(), block, got, &written, nullptr)) return false;
    }
    return true;
}

// The wizard's own window: its progress bar and labels, as the install run
// passes them.
struct Display {
    TfrmMain form;
    HWND bar = nullptr, size = nullptr, file = nullptr;
    WindowFrontend frontend;
    Display() {
        INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&icc);
        form.session().registryRoot = HKEY_CURRENT_USER;
        form.Create(GetModuleHandleW(nullptr), false);
        bar = form.Control(ControlId::ProgressBar1);
        size = form.Control(ControlId::lblSize);
        file = form.Control(ControlId::lblFile);
        SetWindowPos(form.Control(ControlId::panAdr), nullptr, 500, 64, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        ShowWindow(form.Handle(), SW_SHOWNOACTIVATE);
        UpdateWindow(form.Handle());
    }
};

struct Way {
    const char* name;
    std::function<bool()> run;
    std::wstring result;
    std::vector<double> times;
    bool probed = false;
};

struct Probes {
    double maxMs = 0;
    unsigned probes = 0, timeouts = 0;
    bool failed = false;
    void Add(const ProbeResult& r) {
        failed = failed || !r.ok;
        maxMs = r.maxMs > maxMs ? r.maxMs : maxMs;
        probes += r.probes;
        timeouts += r.timeouts;
    }
};

void AddOtherWays(std::vector<Way>& ways, uint16_t ftpPort, const std::wstring& remote, const std::wstring& folder,
                  const std::wstring& url) {
    ways.push_back({"ftp_pumped", [=] { return BareFtp(ftpPort, remote, folder + L"ftp_pumped.bin", true); },
                    folder + L"ftp_pumped.bin", {}, false});
    ways.push_back({"http", [=] { return HttpDownload(url, folder + L"http.bin", false); }, folder + L"http.bin", {}, false});
    ways.push_back({"http_bare",
                    [=] {
                        const std::wstring dest = folder + L"http_bare.bin";
                        return URLDownloadToFileW(nullptr, url.c_str(), dest.c_str(), 0, nullptr) == S_OK;
                    },
                    folder + L"http_bare.bin", {}, false});
}

// Every way once per round; the size every way fetched, or -1 when one
// failed. The probed ways have bench_probe.exe watch window meanwhile.
int64_t RunRounds(std::vector<Way>& ways, int rounds, HWND window, const std::wstring& url, Probes* probes) {
    // Rounds interleave the ways, every other round in reverse order, so a
    // slow moment of the machine hits all alike.
    int64_t expected = -1;
    for (int round = 0; round < rounds; ++round) {
        for (size_t i = 0; i < ways.size(); ++i) {
            Way& way = ways[round % 2 ? ways.size() - 1 - i : i];
            DeleteFileW(way.result.c_str());
            std::unique_ptr<ProbeRun> probe;
            if (way.probed) probe = std::make_unique<ProbeRun>(window);
            const double start = Now();
            const bool ok = way.run();
            way.times.push_back(Now() - start);
            if (probe) probes->Add(probe->Stop());
            // Outside the timing: what the bare ways leave in the web cache.
            if (!lastCacheCopy.empty()) DeleteFileW(lastCacheCopy.c_str());
            lastCacheCopy.clear();
            DeleteUrlCacheEntryW(url.c_str());
            const int64_t size = FileSize(way.result);
            if (expected < 0) expected = size;
            if (!ok || size != expected || size <= 0) {
                std::fprintf(stderr, "%s failed (size %lld)\n", way.name, static_cast<long long>(size));
                return -1;
            }
        }
    }
    return expected;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc < 5) {
        std::fprintf(stderr, "usage: bench_transfer <ftp port> <http port> <file> <local folder\\> [rounds] [ftp]\n");
        return 2;
    }
    const auto ftpPort = static_cast<uint16_t>(_wtoi(argv[1]));
    const std::wstring httpPort = argv[2];
    const std::wstring remote = argv[3];
    const std::wstring folder = argv[4];
    const int rounds = argc > 5 ? std::max(1, _wtoi(argv[5])) : 5;
    const bool ftpOnly = argc > 6 && std::wstring(argv[6]) == L"ftp";
    const std::wstring url = L"http://127.0.0.1:" + httpPort + L"/talveroupdate/files/lupd19/" + remote;
    OleInitialize(nullptr);
    Display display;

    std::vector<Way> ways;
    ways.push_back({"ftp_display", [&] {
                        ProgressControls progress(display.bar, display.size, display.file);
                        FetchFault fault;
                        return FtpDownload(FtpServer{L"127.0.0.1", L"58213_upd", L"6184270", ftpPort}, L"lupd19/",
                                           remote, folder + L"ftp_display.bin", progress, display.frontend, fault);
                    },
                    folder + L"ftp_display.bin", {}, !ftpOnly});
    ways.push_back({"ftp_bare", [&] { return BareFtp(ftpPort, remote, folder + L"ftp_bare.bin"); },
                    folder + L"ftp_bare.bin", {}, false});
    if (!ftpOnly) {
        AddOtherWays(ways, ftpPort, remote, folder, url);
        // Port 1 on loopback: nothing listens, the connection is refused.
        ways.push_back({"http_fallback", [&] {
                            ProgressControls progress(display.bar, display.size, display.file);
                            FtpRoute route;
                            FetchFault fault;
                            return FtpDownload(FtpServer{L"127.0.0.1", L"58213_upd", L"6184270", 1}, L"lupd19/",
                                               remote, folder + L"http_fallback.bin", progress, display.frontend,
                                               fault, TransferLimits{}, nullptr, &route, url);
                        },
                        folder + L"http_fallback.bin", {}, false});
        ways.push_back({"http_fallback_bare", [=] { return BareHttpFetch(url, folder + L"http_fallback_bare.bin"); },
                        folder + L"http_fallback_bare.bin", {}, false});
    }
    Probes probes;
    const int64_t expected = RunRounds(ways, rounds, display.form.Handle(), url, &probes);
    if (expected < 0) return 1;
    // The ratio within each round, where both ways met the same conditions.
    const auto ratio = [&](size_t a, size_t b) {
        std::vector<double> r;
        for (int i = 0; i < rounds; ++i) r.push_back(ways[a].times[i] / ways[b].times[i]);
        std::sort(r.begin(), r.end());
        return r[r.size() / 2];
    };
    std::printf("RATIO ftp %.4f\n", ratio(0, 1));
    if (!ftpOnly)
        std::printf("RATIO ftp_pumped %.4f\nRATIO http %.4f\nRATIO http_fallback %.4f\n", ratio(2, 1), ratio(3, 4),
                    ratio(5, 6));
    if (ways[0].probed && !probes.failed)
        std::printf("PROBE ftp_display %.1f %u %u\n", probes.maxMs, probes.probes, probes.timeouts);
    for (Way& way : ways) {
        std::vector<double> sorted = way.times;
        std::sort(sorted.begin(), sorted.end());
        std::printf("RESULT %s %.4f %.4f %lld", way.name, sorted[sorted.size() / 2], sorted.front(),
                    static_cast<long long>(expected));
        for (double t : way.times) std::printf(" %.3f", t);  // in round order
        std::printf("\n");
        DeleteFileW(way.result.c_str());
    }
    OleUninitialize();
    return 0;
}
