// Whole-wizard figures (not a test), one round per call:
//   bench_wizard.exe <update.exe> [plan]
// starts the wizard once to time its start-up to a visible window waiting
// for input (and closes it), then again and walks it to the
// offered list with the selection kept, and times the install run from the
// press of "Weiter" to "Beenden". Beside them it measures what Wine itself
// costs on an empty Win32 program in the same round: to a visible window
// waiting for input, measured the same way, and to the end of a program
// that does nothing. With [plan] it writes
// what the install run fetched, read from its download log, for
// bench_floor.exe: "ftp NAME" per file fetched onto its target, "http NAME"
// per file parked on the keep path, in the run's order.
//   bench_wizard.exe empty-window | empty-exit     (the empty programs)
// Prints "name milliseconds" lines.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "sys/Dateien.h"
#include "Driver.h"

using uidriver::Box;
using uidriver::Wizard;

namespace {

LRESULT CALLBACK EmptyProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(h, msg, wp, lp);
}

int EmptyWindow() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = EmptyProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"BenchEmpty";
    RegisterClassW(&wc);
    HWND h = CreateWindowExW(0, L"BenchEmpty", L"bench empty", WS_OVERLAPPEDWINDOW, 0, 0, 470, 425, nullptr,
                             nullptr, wc.hInstance, nullptr);
    ShowWindow(h, SW_SHOW);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    return 0;
}

double Ms(const LARGE_INTEGER& a, const LARGE_INTEGER& b) {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(b.QuadPart - a.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

LARGE_INTEGER Now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t;
}

// Milliseconds from the start of a program until it shows a window and
// waits for input (its window drawn); both programs compared are measured
// this same way, so the difference is start-up work of the program's own.
// The program is then closed and waited for.
double StartToWindow(const std::wstring& exe, const std::wstring& args, const wchar_t* windowClass) {
    std::wstring cmd = L"\"" + exe + L"\" " + args;
    const std::wstring folder = exe.substr(0, exe.find_last_of(L"\\/") + 1);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    const LARGE_INTEGER t0 = Now();
    if (!CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &si, &pi))
        return -1;
    WaitForInputIdle(pi.hProcess, 30000);
    HWND shown = nullptr;
    double ms = -1;
    for (int i = 0; i < 30000 && !shown; ++i) {
        const std::vector<HWND> found = uidriver::TopWindows(pi.dwProcessId, windowClass);
        if (!found.empty()) shown = found.front();
        else Sleep(1);
    }
    if (shown) ms = Ms(t0, Now());
    uidriver::EndProcess(pi.hProcess, shown, 10000);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return ms;
}

std::wstring Self() {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    return self;
}

// Start of this very program doing nothing: milliseconds until it has ended.
double EmptyExit() {
    std::wstring cmd = L"\"" + Self() + L"\" empty-exit";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    const LARGE_INTEGER t0 = Now();
    if (!CreateProcessW(Self().c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
    WaitForSingleObject(pi.hProcess, 30000);
    const double ms = Ms(t0, Now());
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return ms;
}

void AnswerBoxes(Wizard& w) {
    for (const Box& b : w.Boxes()) w.Answer(b, b.Has(IDNO) ? IDNO : b.Has(IDOK) ? IDOK : IDYES);
}

// The download log the finished run names in its report list, turned into
// the fetches it records; false when there is no log or no fetch in it.
bool WritePlan(const Wizard& w, const std::wstring& planPath) {
    const std::vector<std::wstring> shown = w.Lines(w.lstAnw);
    std::wstring logPath;
    for (size_t i = 0; i + 1 < shown.size(); ++i)
        if (shown[i].find(L"Download-Protokoll") != std::wstring::npos) logPath = shown[i + 1];
    logPath.erase(0, logPath.find_first_not_of(L' '));
    std::ifstream log(logPath.c_str(), std::ios::binary);
    std::ofstream plan(planPath.c_str(), std::ios::binary | std::ios::trunc);
    const std::wstring ftp = L"Download von: ", aside = L" wurde in Temp-Pfad: ";
    int fetches = 0;
    std::string raw;
    while (std::getline(log, raw)) {
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        const std::wstring line = FromAnsi(raw);
        const size_t at = line.find(aside);
        if (line.compare(0, ftp.size(), ftp) == 0) {
            plan << "ftp " << ToAnsi(line.substr(ftp.size())) << "\n";
            ++fetches;
        } else if (at != std::wstring::npos) {
            plan << "http " << ToAnsi(line.substr(0, at)) << "\n";
            ++fetches;
        }
    }
    return fetches > 0 && plan.good();
}

int Round(const std::wstring& exe, const std::wstring& planPath) {
    printf("empty_exit_ms %.1f\n", EmptyExit());
    printf("empty_window_ms %.1f\n", StartToWindow(Self(), L"empty-window", L"BenchEmpty"));
    printf("startup_ms %.1f\n", StartToWindow(exe, L"", L"TfrmMain"));
    Wizard w;
    if (!w.Start(exe) || !w.FindControls()) return 1;
    w.FillAll(L"Muster AG", L"Zürich", L"Hans Muster", L"PC-07", L"044 000", L"hm@muster.ch");
    if (!w.Press() || !Wizard::WaitFor([&] { return w.Place(w.panAdr).x == 500; }, 10000)) return 1;
    w.ClickCheck(0);
    if (!w.Press()) return 1;
    if (!Wizard::WaitFor(
            [&] {
                AnswerBoxes(w);
                return w.Enabled(w.cmdnex) && w.Count(w.lstUpd) > 0 && w.Lines(w.lstAnw).size() == 1;
            },
            30000))
        return 1;
    const LARGE_INTEGER t1 = Now();
    if (!w.PressInstall()) return 1;
    if (!Wizard::WaitFor(
            [&] {
                AnswerBoxes(w);
                return w.WaitButton(L"Beenden", 0);
            },
            300000))
        return 1;
    printf("install_ms %.1f\n", Ms(t1, Now()));
    if (!planPath.empty() && !WritePlan(w, planPath)) {
        fprintf(stderr, "bench_wizard: the install run's download log names no fetch\n");
        return 1;
    }
    w.PressUntil([&] { return !w.Running(); });
    w.WaitExit(15000);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: bench_wizard.exe <update.exe> [plan] | empty-window | empty-exit\n");
        return 2;
    }
    const std::wstring arg = argv[1];
    if (arg == L"empty-exit") return 0;
    if (arg == L"empty-window") return EmptyWindow();
    const int rc = Round(arg, argc > 2 ? argv[2] : L"");
    fflush(stdout);
    return rc;
}
