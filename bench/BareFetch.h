#pragma once
// The bare transfers the benchmarks measure the program against: WinInet's
// own calls and 4096-byte reads straight into a file, nothing around them.
#include <windows.h>
#include <wininet.h>

#include <string>

#include "sys/Handles.h"

// Reads file to its end into a new file at local, 4096 bytes at a time.
inline bool ReadAllInto(HINTERNET file, const std::wstring& local) {
    FileHandle out(CreateFileW(local.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                               nullptr));
    if (!file || !out) return false;
    char block[4096];
    DWORD got = 0;
    while (InternetReadFile(file, block, sizeof(block), &got) && got > 0) {
        DWORD written = 0;
        if (!WriteFile(out.get(), block, got, &written, nullptr) || written != got) return false;
    }
    return true;
}

// One session, one InternetOpenUrl past the cache, the read loop.
inline bool BareHttpFetch(const std::wstring& url, const std::wstring& local) {
    InetHandle session(InternetOpenW(L"Program_Name", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    InetHandle file(InternetOpenUrlW(session.get(), url.c_str(), nullptr, 0,
                                     INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0));
    return ReadAllInto(file.get(), local);
}
