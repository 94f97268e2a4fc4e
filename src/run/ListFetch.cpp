#include "run/ListFetch.h"

#include <windows.h>

#include "run/StepFaults.h"
#include "sys/Dateien.h"
#include "sys/Handles.h"
#include "sys/Trust.h"

namespace {

// An RSA signature is as long as the key; the largest keys a provider takes
// give a few hundred bytes. Anything far longer is not a signature.
constexpr size_t kMaxSignatureBytes = 64 * 1024;

bool ExistsFollowingLinks(const std::wstring& path) {
    const DWORD attr = GetFileAttributesW(path.c_str());
    if (attr == INVALID_FILE_ATTRIBUTES) return false;
    if (!(attr & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
    FileHandle target(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return static_cast<bool>(target);
}

// The list file as it arrived, byte for byte; false when it cannot be read.
bool ReadListBytes(const std::wstring& path, std::string* bytes) {
    const FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return false;
    std::string content;
    std::string block(64 * 1024, '\0');
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), &block[0], static_cast<DWORD>(block.size()), &got, nullptr)) return false;
        if (got == 0) break;
        content.append(block, 0, got);
    }
    *bytes = std::move(content);
    return true;
}

}  // namespace

void DeleteOldList(const std::wstring& path) {
    if (!ExistsFollowingLinks(path)) return;
    if (DeleteFileW(path.c_str())) return;
    // A list left read-only (copied from a CD, marked by hand) must not
    // keep every later fetch from landing.
    const DWORD marks = GetFileAttributesW(path.c_str());
    if (marks != INVALID_FILE_ATTRIBUTES && (marks & FILE_ATTRIBUTE_READONLY) && !(marks & FILE_ATTRIBUTE_DIRECTORY) &&
        SetFileAttributesW(path.c_str(), marks & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY)) &&
        DeleteFileW(path.c_str()))
        return;
    const DWORD attr = GetFileAttributesW(path.c_str());
    if (attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_REPARSE_POINT) &&
        (attr & FILE_ATTRIBUTE_DIRECTORY))
        RemoveDirectoryW(path.c_str());
}

ListFetchResult FetchUpdateList(const std::wstring& listUrl, const std::wstring& listFile, const std::string& key,
                                Frontend& frontend, const TransferLimits& limits) {
    DeleteOldList(listFile);
    FetchFault fault;
    if (!HttpDownload(listUrl, listFile, false, frontend, fault, limits)) {
        TellFault(FetchFailed(fault, std::wstring()), frontend, nullptr);
        return ListFetchResult::Failed;
    }
    if (key.empty()) return ListFetchResult::Fetched;
    // The signature never becomes a file of its own under a fixed name, so
    // no later run can find one that belongs to another list.
    std::string signature, list;
    const bool valid = HttpFetchQuietly(listUrl + L".sig", ExtractFilePath(listFile), kMaxSignatureBytes, &signature,
                                        frontend, limits) &&
                       ReadListBytes(listFile, &list) && VerifyListSignature(list, signature, key);
    if (valid) return ListFetchResult::Fetched;
    DeleteOldList(listFile);
    return ListFetchResult::Unsigned;
}
