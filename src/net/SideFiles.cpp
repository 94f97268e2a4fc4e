#include "net/SideFiles.h"

#include <atomic>
#include <cwchar>

namespace {

// "~upd1a2b_3.tmp" -> 0x1a2b; 0 when the name is not one of ours.
DWORD WriterOf(const wchar_t* name) {
    if (name[0] != L'~') return 0;
    if (wcsncmp(name + 1, L"upd", 3) != 0 && wcsncmp(name + 1, L"zip", 3) != 0) return 0;
    const wchar_t* p = name + 4;
    DWORD pid = 0;
    int digits = 0;
    for (; *p && *p != L'_'; ++p, ++digits) {
        const wchar_t c = *p;
        int v;
        if (c >= L'0' && c <= L'9') v = c - L'0';
        else if (c >= L'a' && c <= L'f') v = c - L'a' + 10;
        else return 0;
        if (digits >= 8) return 0;
        pid = pid * 16 + static_cast<DWORD>(v);
    }
    if (*p != L'_' || digits == 0) return 0;
    const size_t len = wcslen(p);
    if (len < 5 || _wcsicmp(p + len - 4, L".tmp") != 0) return 0;
    return pid;
}

}  // namespace

std::wstring ApiPath(const std::wstring& path) {
    if (path.size() >= MAX_PATH - 12 && path.size() > 2 && path[1] == L':' && path[2] == L'\\')
        return L"\\\\?\\" + path;
    return path;
}

HANDLE CreateSideFile(const std::wstring& folder, const wchar_t* tag, DWORD access, std::wstring* path) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        wchar_t name[48];
        swprintf(name, 48, L"~%ls%lx_%x.tmp", tag, GetCurrentProcessId(), counter++);
        *path = folder + name;
        HANDLE h = CreateFileW(ApiPath(*path).c_str(), access, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) return h;
        const DWORD e = GetLastError();
        if (e != ERROR_FILE_EXISTS && e != ERROR_ALREADY_EXISTS) break;
    }
    path->clear();
    return INVALID_HANDLE_VALUE;
}

void SweepLeftoverSideFiles(const std::wstring& folder) {
    const DWORD self = GetCurrentProcessId();
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW(ApiPath(folder + L"~*.tmp").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        const DWORD writer = WriterOf(fd.cFileName);
        if (writer != 0 && writer != self) DeleteFileW(ApiPath(folder + fd.cFileName).c_str());
    } while (FindNextFileW(find, &fd));
    FindClose(find);
}

SideFile::SideFile(const std::wstring& dest, DWORD access) {
    const size_t cut = dest.find_last_of(L"\\:");
    const std::wstring folder = cut == std::wstring::npos ? std::wstring() : dest.substr(0, cut + 1);
    file_ = CreateSideFile(folder, L"upd", access, &path_);
}

SideFile::~SideFile() {
    Close();
    if (!path_.empty()) DeleteFileW(ApiPath(path_).c_str());
}

bool SideFile::Close() {
    if (file_ == INVALID_HANDLE_VALUE) return true;
    const bool ok = CloseHandle(file_) != FALSE;
    file_ = INVALID_HANDLE_VALUE;
    return ok;
}

bool MoveReplacing(const std::wstring& from, const std::wstring& dest) {
    const std::wstring to = ApiPath(dest);
    const DWORD attrs = GetFileAttributesW(to.c_str());
    const bool readOnly = attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_READONLY) &&
                          !(attrs & FILE_ATTRIBUTE_DIRECTORY);
    if (readOnly) SetFileAttributesW(to.c_str(), attrs & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    if (MoveFileExW(ApiPath(from).c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    // The caller tells a held file from others by the move's error.
    const DWORD error = GetLastError();
    if (readOnly) SetFileAttributesW(to.c_str(), attrs);
    SetLastError(error);
    return false;
}

bool SideFile::MoveOver(const std::wstring& dest) {
    if (path_.empty() || !Close()) return false;
    if (!MoveReplacing(path_, dest)) return false;
    path_.clear();
    return true;
}
