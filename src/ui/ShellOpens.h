#pragma once
// Files opened for the user (the download log in its editor). Starting the
// file's program can take long: the shell waits until that program is ready
// for input, and under Wine it first loads COM and the shell. The wizard's
// window does not wait for that; each open runs on a thread of its own, and
// the program does not end before its opens have started their programs.
#include <windows.h>

#include <string>
#include <vector>

#include "sys/Handles.h"

// Opens path with the program the shell associates with it (verb nullptr:
// its default verb) and returns once the shell has started it.
void OpenWithShell(HWND owner, const std::wstring& path, const wchar_t* verb, int show);

class ShellOpens {
public:
    ShellOpens() = default;
    // Waits for opens still under way, at most kEndWaitMs in all.
    ~ShellOpens();
    ShellOpens(const ShellOpens&) = delete;
    ShellOpens& operator=(const ShellOpens&) = delete;

    // OpenWithShell on a thread of its own; where no thread can be made, at once.
    void Open(HWND owner, const std::wstring& path, const wchar_t* verb, int show);

private:
    static constexpr DWORD kEndWaitMs = 15000;
    std::vector<KernelHandle> running_;
};
