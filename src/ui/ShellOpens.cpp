#include "ui/ShellOpens.h"

#include <shellapi.h>

#include <memory>

#include "sys/LazyDlls.h"

namespace {

struct Request {
    HWND owner;
    std::wstring path, verb;
    bool hasVerb;
    int show;
};

void OpenNow(const Request& r) { OpenWithShell(r.owner, r.path, r.hasVerb ? r.verb.c_str() : nullptr, r.show); }

DWORD WINAPI OpenMain(void* param) {
    const std::unique_ptr<Request> request(static_cast<Request*>(param));
    OpenNow(*request);
    return 0;
}

}  // namespace

void OpenWithShell(HWND owner, const std::wstring& path, const wchar_t* verb, int show) {
    // A file's program may be started through a shell extension, which wants COM.
    const HRESULT com = lazy::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    lazy::ShellExecuteW(owner, verb, path.c_str(), nullptr, nullptr, show);
    if (SUCCEEDED(com)) lazy::CoUninitialize();
}

ShellOpens::~ShellOpens() {
    const DWORD start = GetTickCount();
    for (const KernelHandle& thread : running_) {
        const DWORD spent = GetTickCount() - start;
        WaitForSingleObject(thread.get(), spent < kEndWaitMs ? kEndWaitMs - spent : 0);
    }
}

void ShellOpens::Open(HWND owner, const std::wstring& path, const wchar_t* verb, int show) {
    auto request = std::make_unique<Request>(Request{owner, path, verb ? verb : L"", verb != nullptr, show});
    KernelHandle thread(CreateThread(nullptr, 0, OpenMain, request.get(), 0, nullptr));
    if (!thread) {
        OpenNow(*request);
        return;
    }
    request.release();  // the thread owns it now
    // Finished opens need no waiting for at the end.
    for (auto it = running_.begin(); it != running_.end();)
        it = WaitForSingleObject(it->get(), 0) == WAIT_OBJECT_0 ? running_.erase(it) : it + 1;
    running_.push_back(std::move(thread));
}
