// How quickly a window answers while its program works (not a test): sends
// the window WM_NULL every 50 ms and records the longest answer, the way a
// person's click would wait for it.
//
//   bench_probe.exe <process id> <window handle or 0> <event name>
//
// With window handle 0 it looks for the visible top-level window of the
// process that has no owner (its main window). Once it has the window it
// signals "<event name>_ready"; it stops when "<event name>" is signalled or
// the process ends, and prints
//   probe_max_ms <longest answer>
//   probes <count> timeouts <count>
// A probe waits at most 5 s; one that times out counts with its 5 s.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "sys/Handles.h"

namespace {

constexpr DWORD kInterval = 50;
constexpr UINT kAnswerLimit = 5000;

struct Search {
    DWORD pid;
    HWND found = nullptr;
};

BOOL CALLBACK FindMain(HWND h, LPARAM lp) {
    auto* s = reinterpret_cast<Search*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (pid == s->pid && IsWindowVisible(h) && !GetWindow(h, GW_OWNER)) s->found = h;
    return s->found == nullptr;
}

double Ms(LARGE_INTEGER a, LARGE_INTEGER b) {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(b.QuadPart - a.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

// The main window of pid, waiting up to 30 s for it to show; or null.
HWND WaitForMain(DWORD pid, HANDLE process) {
    for (int i = 0; i < 600; ++i) {
        Search s{pid};
        EnumWindows(FindMain, reinterpret_cast<LPARAM>(&s));
        if (s.found) return s.found;
        if (WaitForSingleObject(process, kInterval) == WAIT_OBJECT_0) return nullptr;
    }
    return nullptr;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 4) {
        std::fprintf(stderr, "usage: bench_probe <process id> <window handle or 0> <event name>\n");
        return 2;
    }
    const DWORD pid = static_cast<DWORD>(wcstoul(argv[1], nullptr, 10));
    HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(_wcstoui64(argv[2], nullptr, 10)));
    const std::wstring name = argv[3];
    KernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
    KernelHandle stop(CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
    KernelHandle ready(CreateEventW(nullptr, TRUE, FALSE, (name + L"_ready").c_str()));
    if (!process || !stop || !ready) {
        std::fprintf(stderr, "bench_probe: process %lu or the events cannot be opened\n", pid);
        return 1;
    }
    if (!window) window = WaitForMain(pid, process.get());
    if (!window || !IsWindow(window)) {
        std::fprintf(stderr, "bench_probe: no window of process %lu\n", pid);
        return 1;
    }
    SetEvent(ready.get());
    double longest = 0;
    unsigned probes = 0, timeouts = 0;
    const HANDLE ends[] = {stop.get(), process.get()};
    for (;;) {
        LARGE_INTEGER t0, t1;
        QueryPerformanceCounter(&t0);
        DWORD_PTR answer = 0;
        const LRESULT ok = SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, kAnswerLimit, &answer);
        QueryPerformanceCounter(&t1);
        if (!ok && !IsWindow(window)) break;  // the window went away with its program
        const double ms = Ms(t0, t1);
        longest = ms > longest ? ms : longest;
        ++probes;
        timeouts += ok ? 0 : 1;
        // Every 50 ms from the start of the last probe; a slow answer is not
        // followed by a burst of probes to catch up.
        const DWORD wait = ms >= kInterval ? 0 : static_cast<DWORD>(kInterval - ms);
        if (WaitForMultipleObjects(2, ends, FALSE, wait) != WAIT_TIMEOUT) break;
    }
    std::printf("probe_max_ms %.1f\nprobes %u timeouts %u\n", longest, probes, timeouts);
    return 0;
}
