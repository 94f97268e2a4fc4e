#pragma once
// One attempt at a file that replaces an installed one: over FTP
// (FtpTransfer.cpp) or over HTTP when FTP cannot be reached
// (HttpTransfer.cpp). An attempt shows no box: it says how it ended and
// what the user is to hear should the file end there; the fetch in
// Transfers.cpp decides whether to try again, another way, or give up.
#include <windows.h>

#include <cstdint>
#include <string>

#include "net/RemoteRead.h"
#include "net/Transfers.h"

enum class AttemptEnd {
    Done,         // all the data arrived (its length is checked by the caller)
    Unreachable,  // no connection to the server at all: another way may reach it
    DataFailed,   // the server answered, but no data connection could be made
    Broken,       // the data began and then broke off or went silent: worth another try
    Failed,       // a refusal or fault that another try would meet again
};

// The boxes of a file that cannot come over FTP, also where HTTP was tried
// after it and could not help either.
std::wstring HostUnavailableBox(const std::wstring& host);
std::wstring FileNotFoundBox(const std::wstring& file);

struct Attempt {
    AttemptEnd end = AttemptEnd::Failed;
    std::wstring box;  // what the user is told if the file ends here; empty: nothing
};

// What earlier attempts learnt of the file: its whole length and what tells
// the same file from a changed one, so that a later attempt resumes only on
// the same file.
struct RemoteIdentity {
    bool known = false;
    uint64_t size = 0;
    FILETIME written{};        // FTP: the listing's time
    std::wstring validator;    // HTTP: the ETag, else Last-Modified
};

enum class FtpMode { Active, Passive };

enum class BoundedEnd { Whole, TooLarge, Failed };
// url into file (at path) block by block, at most maxBytes, with the
// retries of a fetch that breaks off; no display. For fetches that must
// stop as the bytes arrive, which the download service cannot do for a
// body without an announced length.
BoundedEnd HttpFetchBounded(const std::wstring& url, HANDLE file, const std::wstring& path, uint64_t maxBytes,
                            const TransferLimits& limits, Frontend& frontend);

// Fetches server:folder/file in mode into target, resuming at
// target.written where the server allows it (REST) and the file is still
// the one identity describes.
Attempt FtpAttempt(const FtpServer& server, const std::wstring& folder, const std::wstring& file, FtpMode mode,
                   FetchTarget& target, RemoteIdentity& identity, DWORD stallMs);

// Fetches url into target the same way, resuming with a Range request that
// names identity's validator (If-Range), so a changed file comes whole.
Attempt HttpAttempt(const std::wstring& url, FetchTarget& target, RemoteIdentity& identity, DWORD stallMs);
