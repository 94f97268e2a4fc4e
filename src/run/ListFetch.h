#pragma once
// The fetch of the update list that the confirmation step's press makes:
// the list of an earlier run goes first, the new one comes over HTTP, and a
// build with a key reads it only with the vendor's signature beside it.
#include <string>

#include "net/Reporting.h"
#include "net/Transfers.h"

enum class ListFetchResult {
    Fetched,   // listFile holds the list as served (and signed, where a key was given)
    Failed,    // the list did not arrive; the user was shown why
    Unsigned,  // a key was given and the signature is missing or wrong; listFile is gone
};

// Fetches listUrl into listFile. With a key (PEM public key, as
// EmbeddedListKey() gives it) listUrl + ".sig" is fetched afresh and
// quietly, held in memory only, and must be the key's signature over the
// exact bytes of listFile.
ListFetchResult FetchUpdateList(const std::wstring& listUrl, const std::wstring& listFile, const std::string& key,
                                Frontend& frontend, const TransferLimits& limits = TransferLimits());

// The box of a list that fails the signature check.
inline constexpr const wchar_t* kUnsignedListText =
    L"Die Updateliste ist nicht gültig signiert und wird nicht verwendet.";

// Removes a stale list (read-only, or a directory link of that name, too):
// it must never be read as the new one.
void DeleteOldList(const std::wstring& path);
