#include "TestSupport.h"

#include <algorithm>

#include <shlwapi.h>
#include <cstdio>

namespace testsupport {

static std::wstring NoLead(const std::wstring& key) {
    return (!key.empty() && key[0] == L'\\') ? key.substr(1) : key;
}

RegTreeGuard::RegTreeGuard(HKEY root, std::wstring subKey) : root_(root), subKey_(NoLead(subKey)) {
    SHDeleteKeyW(root_, subKey_.c_str());
}

RegTreeGuard::~RegTreeGuard() { SHDeleteKeyW(root_, subKey_.c_str()); }

static HKEY RedirectRoot(HKEY root, const std::wstring& to) {
    HKEY h = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, to.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr);
    RegOverridePredefKey(root, h);
    return h;
}

RootsRedirect::RootsRedirect(const std::wstring& scratch) : guard_(HKEY_CURRENT_USER, scratch) {
    user_ = RedirectRoot(HKEY_CURRENT_USER, NoLead(scratch) + L"\\user");
    machine_ = RedirectRoot(HKEY_LOCAL_MACHINE, NoLead(scratch) + L"\\machine");
}

RootsRedirect::~RootsRedirect() {
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegCloseKey(user_);
    RegCloseKey(machine_);
}

void RegSet(HKEY root, const std::wstring& key, const std::wstring& name, const std::wstring& value,
            DWORD type) {
    HKEY h = nullptr;
    if (RegCreateKeyExW(root, NoLead(key).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr) !=
        ERROR_SUCCESS)
        return;
    RegSetValueExW(h, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(h);
}

bool RegGet(HKEY root, const std::wstring& key, const std::wstring& name, std::wstring* value) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(root, NoLead(key).c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    DWORD type = 0, size = 0;
    LONG rc = RegQueryValueExW(h, name.c_str(), nullptr, &type, nullptr, &size);
    if (rc == ERROR_SUCCESS) {
        std::wstring buf(size / sizeof(wchar_t) + 1, L'\0');
        rc = RegQueryValueExW(h, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&buf[0]), &size);
        buf.resize(wcsnlen(buf.c_str(), buf.size()));
        if (value) *value = buf;
    }
    RegCloseKey(h);
    return rc == ERROR_SUCCESS;
}

bool RegHasKey(HKEY root, const std::wstring& key) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(root, NoLead(key).c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    RegCloseKey(h);
    return true;
}

TempFolder::TempFolder() {
    static int counter = 0;
    CreateDirectoryW(L"C:\\utest", nullptr);
    wchar_t name[64];
    swprintf(name, 64, L"C:\\utest\\t%lu_%d_%lu\\", GetCurrentProcessId(), ++counter, GetTickCount());
    path_ = name;
    RemoveTree(path_);
    CreateDirectoryW(path_.c_str(), nullptr);
}

TempFolder::~TempFolder() { RemoveTree(path_); }

void RemoveTree(const std::wstring& path) {
    std::wstring p = path;
    while (!p.empty() && p.back() == L'\\') p.pop_back();
    const DWORD attr = GetFileAttributesW(p.c_str());
    if (attr == INVALID_FILE_ATTRIBUTES) return;
    if (!(attr & FILE_ATTRIBUTE_DIRECTORY) || (attr & FILE_ATTRIBUTE_REPARSE_POINT)) {
        SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!DeleteFileW(p.c_str())) RemoveDirectoryW(p.c_str());
        return;
    }
    WIN32_FIND_DATAW fd;
    HANDLE f = FindFirstFileW((p + L"\\*").c_str(), &fd);
    if (f != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring n = fd.cFileName;
            if (n != L"." && n != L"..") RemoveTree(p + L"\\" + n);
        } while (FindNextFileW(f, &fd));
        FindClose(f);
    }
    SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(p.c_str());
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (!f) return;
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

bool ReadFileBytes(const std::wstring& path, std::string* bytes) {
    FILE* f = _wfopen(path.c_str(), L"rb");
    if (!f) return false;
    std::string out;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    fclose(f);
    if (bytes) *bytes = out;
    return true;
}

bool PathExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

BoxAnswerer::BoxAnswerer(DWORD uiThreadId) : ui_(uiThreadId), thread_([this] { Run(); }) {}

BoxAnswerer::~BoxAnswerer() {
    stop_ = true;
    thread_.join();
}

void BoxAnswerer::AnswerWhen(std::function<bool(HWND box)> ready) {
    std::lock_guard<std::mutex> lock(mu_);
    ready_ = std::move(ready);
}

void BoxAnswerer::Queue(int answer) {
    std::lock_guard<std::mutex> lock(mu_);
    answers_.push_back(answer);
}

std::vector<SeenBox> BoxAnswerer::Seen() {
    std::lock_guard<std::mutex> lock(mu_);
    return seen_;
}

void BoxAnswerer::Clear() {
    std::lock_guard<std::mutex> lock(mu_);
    seen_.clear();
    answers_.clear();
}

static std::wstring WindowText(HWND h) {
    wchar_t buf[4096];
    const int n = GetWindowTextW(h, buf, 4096);
    return std::wstring(buf, n > 0 ? n : 0);
}

// A visible dialog of the thread that has not been answered yet.
struct BoxSearch {
    const std::vector<HWND>* answered;
    HWND found = nullptr;
};

static BOOL CALLBACK FindBox(HWND h, LPARAM param) {
    auto* search = reinterpret_cast<BoxSearch*>(param);
    wchar_t cls[64];
    GetClassNameW(h, cls, 64);
    if (wcscmp(cls, L"#32770") != 0 || !IsWindowVisible(h)) return TRUE;
    for (HWND done : *search->answered)
        if (done == h) return TRUE;
    search->found = h;
    return FALSE;
}

static BOOL CALLBACK CollectButtons(HWND h, LPARAM out) {
    wchar_t cls[64];
    GetClassNameW(h, cls, 64);
    if (_wcsicmp(cls, L"Button") == 0 && IsWindowVisible(h))
        reinterpret_cast<std::vector<std::wstring>*>(out)->push_back(WindowText(h));
    return TRUE;
}

static BOOL CALLBACK CollectStatics(HWND h, LPARAM out) {
    wchar_t cls[64];
    GetClassNameW(h, cls, 64);
    if (_wcsicmp(cls, L"Static") == 0)
        reinterpret_cast<std::vector<std::wstring>*>(out)->push_back(WindowText(h));
    return TRUE;
}

void BoxAnswerer::Run() {
    // A box that takes long to close (the folder browser still reading the
    // drives) is still the same box: it is recorded and answered once.
    std::vector<HWND> answered;
    while (!stop_) {
        answered.erase(std::remove_if(answered.begin(), answered.end(), [](HWND h) { return !IsWindow(h); }),
                       answered.end());
        BoxSearch search{&answered};
        EnumThreadWindows(ui_, FindBox, reinterpret_cast<LPARAM>(&search));
        HWND box = search.found;
        if (!box) {
            Sleep(20);
            continue;
        }
        Sleep(30);  // let the box finish laying itself out
        std::function<bool(HWND)> ready;
        {
            std::lock_guard<std::mutex> lock(mu_);
            ready = ready_;
        }
        for (int i = 0; ready && i < 250 && IsWindow(box) && !ready(box); ++i) Sleep(20);
        SeenBox seen;
        seen.caption = WindowText(box);
        seen.text = WindowText(GetDlgItem(box, 0xFFFF));
        EnumChildWindows(box, CollectButtons, reinterpret_cast<LPARAM>(&seen.buttons));
        EnumChildWindows(box, CollectStatics, reinterpret_cast<LPARAM>(&seen.statics));
        int answer = IDOK;
        {
            std::lock_guard<std::mutex> lock(mu_);
            seen_.push_back(seen);
            if (!answers_.empty()) {
                answer = answers_.front();
                answers_.erase(answers_.begin());
            }
        }
        // A box with a single Yes button has no IDOK: fall back to its only button.
        HWND button = GetDlgItem(box, answer);
        if (!button) {
            for (int id : {IDOK, IDYES, IDCANCEL, IDNO}) {
                if ((button = GetDlgItem(box, id)) != nullptr) {
                    answer = id;
                    break;
                }
            }
        }
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), reinterpret_cast<LPARAM>(button));
        answered.push_back(box);
        for (int i = 0; i < 300 && IsWindow(box) && IsWindowVisible(box); ++i) Sleep(10);
        // Wine's modal loop notices the ended dialog only with its next message.
        PostThreadMessageW(ui_, WM_NULL, 0, 0);
    }
}

AnswerProbe::AnswerProbe(HWND window, DWORD limitMs) : window_(window), limitMs_(limitMs) {
    thread_ = std::thread([this] {
        while (!stop_) {
            DWORD_PTR result = 0;
            if (SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_NORMAL, limitMs_, &result))
                ++answered_;
            else if (!stop_)
                ++unanswered_;
            Sleep(50);
        }
    });
}

void AnswerProbe::Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

AnswerProbe::~AnswerProbe() { Stop(); }

DWORD RunToEnd(std::wstring command, DWORD timeoutMs) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return kNotRun;
    CloseHandle(pi.hThread);
    DWORD code = kNotRun;
    if (WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
    else TerminateProcess(pi.hProcess, kNotRun);
    CloseHandle(pi.hProcess);
    return code;
}

DWORD RunThisProgramAgain(const std::string& gtestFilter, const wchar_t* name, const std::wstring& value,
                          DWORD timeoutMs) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    // The child inherits the variable; this program goes on without it.
    SetEnvironmentVariableW(name, value.c_str());
    const DWORD code = RunToEnd(L"\"" + std::wstring(self) + L"\" --gtest_filter=" + Widen(gtestFilter), timeoutMs);
    SetEnvironmentVariableW(name, nullptr);
    return code;
}

std::wstring Widen(const std::string& utf8) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], n);
    return out;
}

std::string Narrow(const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

}  // namespace testsupport
