#include "run/ListFetch.h"

#include <windows.h>

#include "run/ListHead.h"
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

// What file holds from its start, byte for byte; false when it cannot be
// read or holds more than kMaxListBytes.
bool ReadHeldBytes(HANDLE file, std::string* bytes) {
    const LARGE_INTEGER start{};
    if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return false;
    std::string content;
    std::string block(64 * 1024, '\0');
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, &block[0], static_cast<DWORD>(block.size()), &got, nullptr)) return false;
        if (got == 0) break;
        content.append(block, 0, got);
        if (content.size() > kMaxListBytes) return false;
    }
    *bytes = std::move(content);
    return true;
}

bool SignedByAny(const std::string& list, const std::string& signature, const std::vector<std::string>& keys) {
    for (const std::string& key : keys)
        if (VerifyListSignature(list, signature, key)) return true;
    return false;
}

Sha256Digest DigestOf(const std::string& bytes) {
    Sha256Digest digest{};
    if (!BytesSha256(bytes, &digest)) digest.fill(0);
    return digest;
}

FetchedList Refused(const std::wstring& listFile, const std::wstring& text) {
    DeleteOldList(listFile);
    FetchedList refused;
    refused.result = ListFetchResult::Refused;
    refused.refusal = text;
    return refused;
}

}  // namespace

FileHandle HoldList(const std::wstring& path) {
    return FileHandle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

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

bool VerifiedList::StillAt(const std::wstring& path) const {
    if (!file_) return false;
    const FileHandle now(HoldList(path));
    BY_HANDLE_FILE_INFORMATION held{}, named{};
    if (!now || !GetFileInformationByHandle(file_.get(), &held) || !GetFileInformationByHandle(now.get(), &named))
        return false;
    if (held.dwVolumeSerialNumber != named.dwVolumeSerialNumber || held.nFileIndexHigh != named.nFileIndexHigh ||
        held.nFileIndexLow != named.nFileIndexLow)
        return false;
    std::string bytes;
    return ReadHeldBytes(now.get(), &bytes) && DigestOf(bytes) == digest_;
}

FetchedList FetchUpdateList(const std::wstring& listUrl, const std::wstring& listFile, const ListTrust& trust,
                            Frontend& frontend, const TransferLimits& limits) {
    DeleteOldList(listFile);
    FetchFault fault;
    if (!HttpDownload(listUrl, listFile, false, frontend, fault, limits, nullptr, kMaxListBytes)) {
        if (fault.tooLarge) return Refused(listFile, kListTooLargeText);
        TellFault(FetchFailed(fault, std::wstring()), frontend, nullptr);
        return FetchedList{};
    }
    FetchedList fetched;
    fetched.result = ListFetchResult::Fetched;
    if (trust.keys.empty()) return fetched;
    // The signature never becomes a file of its own under a fixed name, so
    // no later run can find one that belongs to another list. The bytes it
    // is checked against are read through the handle that holds the list
    // from now on.
    std::string signature, list;
    FileHandle held(HoldList(listFile));
    const bool valid = held &&
                       HttpFetchQuietly(listUrl + L".sig", ExtractFilePath(listFile), kMaxSignatureBytes, &signature,
                                        frontend, limits) &&
                       ReadHeldBytes(held.get(), &list) && SignedByAny(list, signature, trust.keys);
    if (!valid) {
        held.reset();
        return Refused(listFile, kUnsignedListText);
    }
    const HeadCheck head = CheckListHead(list, trust.root, LocalToday());
    if (head != HeadCheck::Accepted) {
        held.reset();
        return Refused(listFile, HeadRefusalText(head));
    }
    fetched.verified = VerifiedList(std::move(held), DigestOf(list));
    return fetched;
}
