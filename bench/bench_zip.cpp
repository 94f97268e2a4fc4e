// Extraction speed and memory of Zip1 under Wine; tools/bench-zip.sh makes
// the archives, times native unzip on them and prints the comparison.
//
//   bench_zip speed DIR [N]  (a) DIR\big.zip into DIR\ours_a, (b) DIR\small.zip
//                         into DIR\ours_bN, and the bare loop that writes the
//                         same small files from memory into DIR\bare_bN, in
//                         N interleaved rounds (default 3), best of each
//   bench_zip memory DIR  DIR\huge.zip into DIR\ours_c; peak working set
//   bench_zip probe DIR   the same extraction as the install run makes it, on
//                         the thread of the wizard's window, which it keeps
//                         alive through KeepAlive, while bench_probe.exe
//                         sends that window WM_NULL; a process of its own, as
//                         the window's own memory is no part of the peak above
//
// Output lines are "key value" for the script to read.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ProbeRun.h"
#include "ui/WindowReporting.h"
#include "ui/main.h"
#include "zip/ZipExtractor.h"

namespace {

double Now() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

// Peak working set of this process in bytes; 0 when the system cannot say.
unsigned long long PeakWorkingSet() {
    using Fn = BOOL(WINAPI*)(HANDLE, PPROCESS_MEMORY_COUNTERS, DWORD);
    Fn fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "K32GetProcessMemoryInfo")));
    if (!fn) {
        HMODULE psapi = LoadLibraryW(L"psapi.dll");
        if (psapi) fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(psapi, "GetProcessMemoryInfo")));
    }
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof(pmc);
    if (!fn || !fn(GetCurrentProcess(), &pmc, sizeof(pmc))) return 0;
    return pmc.PeakWorkingSetSize;
}

// Extracts like the install run does; returns seconds, or -1 on a fault.
double TimeExtract(const std::wstring& archive, const std::wstring& target, int* files,
                   std::function<void()> keepAlive = nullptr) {
    struct Breathing : ExtractEvents {
        std::function<void()> keepAlive;
        void KeepAlive() override {
            if (keepAlive) keepAlive();
        }
    } events;
    events.keepAlive = std::move(keepAlive);
    const double t0 = Now();
    ExtractRequest request;
    request.archive = archive;
    request.folder = target;
    request.options = request.options | ExtractOption::OverwriteFiles;
    // What a flush before each rename costs: BENCH_ZIP_FLUSH_ABOVE=1 flushes
    // every file, 0 none; unset, the component's own threshold holds.
    wchar_t flush[32];
    if (GetEnvironmentVariableW(L"BENCH_ZIP_FLUSH_ABOVE", flush, 32)) request.flushAbove = _wtoi64(flush);
    const ExtractResult r = TZipExtractor().Extract(request, events);
    *files = r.extracted;
    const double t = Now() - t0;
    if (r.code != zipOk) {
        std::fwprintf(stderr, L"fault %d: %ls\n", r.code, r.text.c_str());
        return -1;
    }
    return t;
}

// The same layout and sizes as tools/bench-zip.sh gives small.zip: 5,000
// files of 3,000 bytes in 50 folders (10 chains of 5 nested folders).
double TimeBareLoop(const std::wstring& target) {
    std::vector<char> data(3000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>('a' + (i * 7) % 26);
    const double t0 = Now();
    CreateDirectoryW(target.c_str(), nullptr);
    int written = 0;
    for (int top = 0; top < 10; ++top) {
        std::wstring folder = target;
        for (int level = 0; level < 5; ++level) {
            folder += L"d" + std::to_wstring(top) + L"_" + std::to_wstring(level) + L"\\";
            CreateDirectoryW(folder.c_str(), nullptr);
            for (int f = 0; f < 100; ++f) {
                const std::wstring path = folder + L"f" + std::to_wstring(f) + L".dat";
                HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                       nullptr);
                if (h == INVALID_HANDLE_VALUE) return -1;
                DWORD done = 0;
                data[0] = static_cast<char>('A' + f % 26);
                WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &done, nullptr);
                CloseHandle(h);
                ++written;
            }
        }
    }
    return written == 5000 ? Now() - t0 : -1;
}

// The wizard's window as the install run has it while it unpacks.
struct Wizard {
    TfrmMain form;
    WindowFrontend frontend;
    Wizard() {
        INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&icc);
        form.session().registryRoot = HKEY_CURRENT_USER;
        form.Create(GetModuleHandleW(nullptr), false);
        ShowWindow(form.Handle(), SW_SHOWNOACTIVATE);
        UpdateWindow(form.Handle());
    }
};

int Probe(const std::wstring& dir) {
    Wizard wizard;
    ProcessMessages();
    int files = 0;
    ProbeRun probe(wizard.form.Handle());
    const double c = TimeExtract(dir + L"huge.zip", dir + L"probe_c\\", &files, [&] { wizard.frontend.KeepAlive(); });
    const ProbeResult answers = probe.Stop();
    std::printf("probe_c %.3f files %d\n", c, files);
    if (answers.ok) std::printf("probe_max_ms %.1f\nprobes %u\n", answers.maxMs, answers.probes);
    return c < 0 || !answers.ok;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 3) {
        std::fwprintf(stderr, L"usage: bench_zip speed DIR [rounds [bare-first]] | memory DIR | probe DIR\n");
        return 2;
    }
    const std::wstring mode = argv[1];
    std::wstring dir = argv[2];
    if (dir.back() != L'\\') dir += L'\\';
    int files = 0;
    if (mode == L"speed") {
        const double a = TimeExtract(dir + L"big.zip", dir + L"ours_a\\", &files);
        std::printf("ours_a %.3f files %d\n", a, files);
        // The small-file case is dominated by Wine's server round trips, which
        // other load on the machine disturbs; interleaved rounds, best of each.
        double b = 1e9, bare = 1e9;
        const int rounds = argc > 3 ? std::max(1, _wtoi(argv[3])) : 3;
        // Whichever side runs first meets the disk still writing back the
        // big entry; the caller alternates the order between runs.
        const bool bareFirst = argc > 4 && std::wstring(argv[4]) == L"bare-first";
        for (int round = 0; round < rounds; ++round) {
            const std::wstring n = std::to_wstring(round);
            double tb = 0, tbare = 0;
            if (bareFirst) tbare = TimeBareLoop(dir + L"bare_b" + n + L"\\");
            tb = TimeExtract(dir + L"small.zip", dir + L"ours_b" + n + L"\\", &files);
            if (!bareFirst) tbare = TimeBareLoop(dir + L"bare_b" + n + L"\\");
            if (tb < 0 || tbare < 0) return 1;
            b = tb < b ? tb : b;
            bare = tbare < bare ? tbare : bare;
        }
        std::printf("ours_b %.3f files %d\n", b, files);
        std::printf("bare_b %.3f\n", bare);
        std::printf("peak_speed %llu\n", PeakWorkingSet());
        return a < 0 || b < 0 || bare < 0;
    }
    if (mode == L"probe") return Probe(dir);
    const unsigned long long before = PeakWorkingSet();
    const double c = TimeExtract(dir + L"huge.zip", dir + L"ours_c\\", &files);
    std::printf("ours_c %.3f files %d\n", c, files);
    std::printf("peak_start %llu\npeak_c %llu\n", before, PeakWorkingSet());
    return c < 0;
}
