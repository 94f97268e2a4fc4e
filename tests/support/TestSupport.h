#pragma once
// Helpers shared by the Windows tests: own registry keys, own folders, and an
// answerer for the message boxes the code under test shows.
#include <windows.h>
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

// Deletes a registry tree when constructed and again when destroyed, so a
// test starts from nothing and leaves nothing behind.
class RegTreeGuard {
public:
    RegTreeGuard(HKEY root, std::wstring subKey);
    ~RegTreeGuard();
    RegTreeGuard(const RegTreeGuard&) = delete;
    RegTreeGuard& operator=(const RegTreeGuard&) = delete;

private:
    HKEY root_;
    std::wstring subKey_;
};

// Redirects HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE of this process into
// the scratch keys scratch\user and scratch\machine below the real
// HKEY_CURRENT_USER, so a test can arrange both roots without touching the
// prefix's settings. Undone, and the scratch tree deleted, at the end.
class RootsRedirect {
public:
    explicit RootsRedirect(const std::wstring& scratch);
    ~RootsRedirect();
    RootsRedirect(const RootsRedirect&) = delete;
    RootsRedirect& operator=(const RootsRedirect&) = delete;
    HKEY machine() const { return machine_; }

private:
    RegTreeGuard guard_;
    HKEY user_ = nullptr;
    HKEY machine_ = nullptr;
};

// Raw registry access for arranging and checking (no code under test).
void RegSet(HKEY root, const std::wstring& key, const std::wstring& name, const std::wstring& value,
            DWORD type = REG_SZ);
bool RegGet(HKEY root, const std::wstring& key, const std::wstring& name, std::wstring* value);
bool RegHasKey(HKEY root, const std::wstring& key);

// A folder of its own below C:\utest\, removed with all its content at the end.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    // With a trailing backslash.
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
};

void RemoveTree(const std::wstring& path);
void WriteFileBytes(const std::wstring& path, const std::string& bytes);
bool ReadFileBytes(const std::wstring& path, std::string* bytes);
bool PathExists(const std::wstring& path);

// Watches the given UI thread for message boxes and answers them. Every box
// is recorded (caption, text, icon kind) and closed with the next queued
// answer (IDOK when none is queued).
struct SeenBox {
    std::wstring caption;
    std::wstring text;
    std::vector<std::wstring> buttons;
    std::vector<std::wstring> statics;  // every static text of the box
};

class BoxAnswerer {
public:
    explicit BoxAnswerer(DWORD uiThreadId = GetCurrentThreadId());
    ~BoxAnswerer();
    BoxAnswerer(const BoxAnswerer&) = delete;
    BoxAnswerer& operator=(const BoxAnswerer&) = delete;

    void Queue(int answer);  // IDOK, IDYES, IDNO, IDCANCEL
    // A box is answered only once `ready` says so (or after 5 s): a user
    // answers what the box shows, not a box still filling itself.
    void AnswerWhen(std::function<bool(HWND box)> ready);
    std::vector<SeenBox> Seen();
    void Clear();

private:
    void Run();
    DWORD ui_;
    std::atomic<bool> stop_{false};
    std::mutex mu_;
    std::vector<int> answers_;
    std::function<bool(HWND)> ready_;
    std::vector<SeenBox> seen_;
    std::thread thread_;
};

// Sends a window a message every 50 ms from a thread of its own while it
// lives, the way another program would, and counts the messages that got no
// answer within limitMs.
class AnswerProbe {
public:
    AnswerProbe(HWND window, DWORD limitMs);
    ~AnswerProbe();
    AnswerProbe(const AnswerProbe&) = delete;
    AnswerProbe& operator=(const AnswerProbe&) = delete;
    // Ends the probing; a message still on its way then does not count.
    void Stop();
    int answered() const { return answered_; }
    int unanswered() const { return unanswered_; }

private:
    HWND window_;
    DWORD limitMs_;
    std::atomic<bool> stop_{false};
    std::atomic<int> answered_{0}, unanswered_{0};
    std::thread thread_;
};

// Runs command and waits up to timeoutMs for it to end: its exit code, or
// kNotRun when it could not be started or did not end in time (it is then
// ended, so that no hung program outlives the test).
inline constexpr DWORD kNotRun = 999;
DWORD RunToEnd(std::wstring command, DWORD timeoutMs);
// This test program once more, with only the tests gtestFilter names and
// the environment variable name set to value for it.
DWORD RunThisProgramAgain(const std::string& gtestFilter, const wchar_t* name, const std::wstring& value,
                          DWORD timeoutMs);

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& text);

}  // namespace testsupport
