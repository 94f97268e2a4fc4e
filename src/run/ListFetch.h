#pragma once
// The fetch of the update list that the confirmation step's press makes:
// the list of an earlier run goes first, the new one comes over HTTP, and a
// build with a key reads it only with the vendor's signature beside it.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "net/Reporting.h"
#include "net/Transfers.h"
#include "sys/Handles.h"
#include "sys/Trust.h"

enum class ListFetchResult {
    Fetched,  // listFile holds the list as served (and signed, where keys were given)
    Failed,   // the list did not arrive; the user was shown why
    Refused,  // too large, or keys were given and its signature or head does not fit; listFile is gone
};

// The list as its signature was checked, held open so that nobody can
// write, rename or delete it until the install run that uses it is over:
// the run reads it again by path, through the INI functions.
class VerifiedList {
public:
    VerifiedList() = default;
    VerifiedList(FileHandle file, const Sha256Digest& digest) : file_(std::move(file)), digest_(digest) {}
    // True while path names the held file and holds the checked bytes.
    bool StillAt(const std::wstring& path) const;
    void Release() noexcept { file_.reset(); }

private:
    FileHandle file_;
    Sha256Digest digest_{};
};

// Opens the list at path for reading and holds it so: no other program may
// write, rename or delete it while the handle is open.
FileHandle HoldList(const std::wstring& path);

struct FetchedList {
    ListFetchResult result = ListFetchResult::Failed;
    std::wstring refusal;   // the box of a refused list
    VerifiedList verified;  // with keys: the list held from its check on
};

// Where a list is checked: the vendor's keys (PEM public keys, as
// EmbeddedListKeys() gives them; none: no check) and the registry root that
// keeps the newest list's number.
struct ListTrust {
    std::vector<std::string> keys;
    HKEY root = nullptr;
};

// Fetches listUrl into listFile, refusing one over kMaxListBytes. With keys
// listUrl + ".sig" is fetched afresh and quietly, held in memory only, and
// must be one key's signature over the exact bytes of listFile; the head
// those bytes begin with must then fit (run/ListHead.h).
FetchedList FetchUpdateList(const std::wstring& listUrl, const std::wstring& listFile, const ListTrust& trust,
                            Frontend& frontend, const TransferLimits& limits = TransferLimits());

// The largest list the wizard takes: far above any real catalogue, far
// below what would tie up the disk or the memory.
inline constexpr uint64_t kMaxListBytes = 4u * 1024 * 1024;
inline constexpr const wchar_t* kListTooLargeText = L"Die Updateliste ist zu groß und wird nicht verwendet.";
// The box of a list that changed on disk after its check.
inline constexpr const wchar_t* kChangedListText =
    L"Die Updateliste wurde nach ihrer Prüfung verändert und wird nicht verwendet.";

// The box of a list that fails the signature check.
inline constexpr const wchar_t* kUnsignedListText =
    L"Die Updateliste ist nicht gültig signiert und wird nicht verwendet.";

// Removes a stale list (read-only, or a directory link of that name, too):
// it must never be read as the new one.
void DeleteOldList(const std::wstring& path);
