#include "zip/ZipFiles.h"

#include <cstddef>
#include <cstring>
#include <vector>


namespace zipfiles {

namespace {

// NtSetInformationFile on an open handle: what the kernel32 calls of
// Vista do, here on XP too. Its status (0: done); kNoSuchCall where ntdll
// has none.
constexpr LONG kNoSuchCall = static_cast<LONG>(0xC0000002);  // STATUS_NOT_IMPLEMENTED
LONG SetFileInformation(HANDLE file, void* info, ULONG size, int infoClass) {
    struct IoStatus {
        void* status;
        ULONG_PTR information;
    };
    using SetInformationFile = LONG(WINAPI*)(HANDLE, IoStatus*, void*, ULONG, int);
    static const auto setInformation = reinterpret_cast<SetInformationFile>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtSetInformationFile")));
    if (!setInformation) return kNoSuchCall;
    IoStatus io{};
    return setInformation(file, &io, info, size, infoClass);
}

}  // namespace

Rename RenameNew(HANDLE file, const std::wstring& target) {
    std::wstring nt;
    if (target.size() > 2 && target[1] == L':' && target[2] == L'\\') nt = L"\\??\\" + target;
    else if (target.rfind(L"\\\\?\\", 0) == 0) nt = L"\\??\\" + target.substr(4);
    if (nt.empty()) return Rename::NotPossible;
    // FILE_RENAME_INFORMATION: replace flag, root directory, name length, name.
    struct Header {
        BOOLEAN replaceIfExists;
        HANDLE rootDirectory;
        ULONG fileNameLength;
    };
    const size_t nameBytes = nt.size() * sizeof(wchar_t);
    std::vector<char> info(sizeof(Header) + nameBytes + sizeof(wchar_t), 0);
    Header header{FALSE, nullptr, static_cast<ULONG>(nameBytes)};
    std::memcpy(info.data(), &header, sizeof(header));
    std::memcpy(info.data() + offsetof(Header, fileNameLength) + sizeof(ULONG), nt.data(), nameBytes);
    const int kFileRenameInformation = 10;
    const LONG status = SetFileInformation(file, info.data(), static_cast<ULONG>(info.size()), kFileRenameInformation);
    const LONG kObjectNameCollision = static_cast<LONG>(0xC0000035);
    if (status == 0) return Rename::Done;
    return status == kObjectNameCollision ? Rename::Taken : Rename::NotPossible;
}

bool SetRemoveOnClose(HANDLE file, bool remove) {
    BOOLEAN deleteFile = remove ? TRUE : FALSE;
    const int kFileDispositionInformation = 13;
    return SetFileInformation(file, &deleteFile, sizeof deleteFile, kFileDispositionInformation) == 0;
}

bool EntryFileTime(const zipread::Entry& e, FILETIME* ft) {
    if (e.hasUnixTime) {
        const ULONGLONG ticks = static_cast<ULONGLONG>(e.unixTime + 11644473600LL) * 10000000ULL;
        ft->dwLowDateTime = static_cast<DWORD>(ticks);
        ft->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
        return true;
    }
    // DOS times are local times of the machine that made the archive.
    FILETIME local;
    return DosDateTimeToFileTime(e.dosDate, e.dosTime, &local) && LocalFileTimeToFileTime(&local, ft);
}

bool IsFolder(const std::wstring& path) {
    const DWORD a = GetFileAttributesW(ApiPath(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool Folders::Ensure(const std::wstring& folder) {
    std::wstring path = folder;
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    if (known_.count(path)) return true;
    if (!IsFolder(path)) {
        const size_t cut = path.find_last_of(L'\\');
        if (cut != std::wstring::npos && cut > 2 && !Ensure(path.substr(0, cut))) return false;
        if (CreateDirectoryW(ApiPath(path).c_str(), nullptr)) made_.insert(path + L'\\');
        else if (!IsFolder(path)) return false;
    }
    known_.insert(path);
    return true;
}

bool Folders::Use(const std::wstring& folder) {
    const auto [at, fresh] = used_.insert(folder);
    if (!fresh) return true;
    if (!Ensure(folder)) {
        used_.erase(at);
        return false;
    }
    if (!made_.count(folder)) SweepLeftoverSideFiles(folder);
    return true;
}

bool FullPath(const std::wstring& path, std::wstring* full) {
    const DWORD need = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (need == 0) return false;
    std::wstring buffer(need, L'\0');
    const DWORD got = GetFullPathNameW(path.c_str(), need, &buffer[0], nullptr);
    if (got == 0 || got >= need) return false;
    buffer.resize(got);
    *full = buffer;
    return true;
}

}  // namespace zipfiles
