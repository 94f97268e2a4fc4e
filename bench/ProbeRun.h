#pragma once
// Runs bench_probe.exe (beside the calling program) against one of this
// process's windows for the span of one piece of work:
//   ProbeRun probe(window);   // returns once the probe has the window
//   ... the work, on the window's thread ...
//   ProbeResult r = probe.Stop();
// Starting and stopping the probe lies outside the work's own timing.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "sys/Handles.h"

struct ProbeResult {
    bool ok = false;
    double maxMs = 0;
    unsigned probes = 0;
    unsigned timeouts = 0;
};

class ProbeRun {
public:
    explicit ProbeRun(HWND window) {
        static unsigned serial = 0;
        const std::wstring name =
            L"bench_probe_" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++serial);
        stop_.reset(CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
        KernelHandle ready(CreateEventW(nullptr, TRUE, FALSE, (name + L"_ready").c_str()));
        SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
        HANDLE readEnd = nullptr, writeEnd = nullptr;
        if (!stop_ || !ready || !CreatePipe(&readEnd, &writeEnd, &sa, 0)) return;
        output_.reset(readEnd);
        KernelHandle childEnd(writeEnd);
        SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring exe = self;
        exe = exe.substr(0, exe.find_last_of(L'\\') + 1) + L"bench_probe.exe";
        std::wstring cmd = L"\"" + exe + L"\" " + std::to_wstring(GetCurrentProcessId()) + L" " +
                           std::to_wstring(reinterpret_cast<uintptr_t>(window)) + L" " + name;
        STARTUPINFOW si{};
        si.cb = sizeof(si);
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = childEnd.get();
        si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        PROCESS_INFORMATION pi{};
        if (!CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) return;
        process_.reset(pi.hProcess);
        KernelHandle thread(pi.hThread);
        // The probe is ready, or it gave up (ended) before it found the window.
        const HANDLE either[] = {ready.get(), process_.get()};
        WaitForMultipleObjects(2, either, FALSE, 30000);
    }

    ProbeResult Stop() {
        ProbeResult r;
        if (!process_) return r;
        SetEvent(stop_.get());
        // A probe may be on its way to the window; this thread must answer
        // it, or the probe would wait its full 5 s for a window that is
        // only waiting for the probe.
        const HANDLE process = process_.get();
        const DWORD limit = GetTickCount() + 15000;
        for (;;) {
            const DWORD left = limit - GetTickCount();
            if (static_cast<int>(left) <= 0) return r;
            const DWORD got = MsgWaitForMultipleObjects(1, &process, FALSE, left, QS_SENDMESSAGE);
            if (got == WAIT_OBJECT_0) break;
            if (got != WAIT_OBJECT_0 + 1) return r;
            MSG msg;
            PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
        std::string text;
        char buffer[512];
        DWORD got = 0;
        while (ReadFile(output_.get(), buffer, sizeof(buffer), &got, nullptr) && got > 0) text.append(buffer, got);
        const size_t at = text.find("probe_max_ms ");
        const size_t count = text.find("probes ");
        const size_t late = text.find("timeouts ");
        if (at == std::string::npos || count == std::string::npos || late == std::string::npos) return r;
        r.maxMs = std::atof(text.c_str() + at + 13);
        r.probes = static_cast<unsigned>(std::strtoul(text.c_str() + count + 7, nullptr, 10));
        r.timeouts = static_cast<unsigned>(std::strtoul(text.c_str() + late + 9, nullptr, 10));
        r.ok = r.probes > 0;
        return r;
    }

private:
    KernelHandle stop_;
    KernelHandle process_;
    KernelHandle output_;
};
