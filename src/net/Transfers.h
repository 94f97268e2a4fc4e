#pragma once
// Transfers from the update server: its hosts, the HTTP fetch
// (Transfers.cpp), the FTP fetch with its progress display (FtpTransfer.cpp)
// and the size texts of that display.
#include <windows.h>

#include <cstdint>
#include <string>

#include "net/LiveWait.h"
#include "net/Reporting.h"
#include "net/TransferLimits.h"
#include "sys/Trust.h"

// The update server's hosts: the registry values "Update Host" (host,
// optionally ":port") and "FTP Host" (host only) under the settings key
// override the built-in names. Read afresh on every call, never written.
std::wstring UpdateHttpHost(HKEY root);
std::wstring UpdateFtpHost(HKEY root);
// "http://" + UpdateHttpHost() + "/talveroupdate/files/".
std::wstring MakeUpdateBaseUrl(HKEY root);

// The login to the update server's FTP host.
struct FtpServer {
    std::wstring host, user, password;
    uint16_t port = 21;
};

// How a run reaches the files that replace installed ones. It only moves
// on: once the server could not open an active-mode data connection the
// run stays passive, and once FTP could not be reached (or gave no data
// connection either way) the rest of the run goes straight to HTTP.
struct FtpRoute {
    enum class Way { Active, Passive, Http };
    Way way = Way::Active;
    bool unreachable = false;  // why FTP was left: no connection at all, else no data connection
};

// The SHA-256 that a fetch's bytes must have (the update list's "Hash"),
// checked on the complete side file before it replaces or lands anywhere.
// A file of other bytes is removed, mismatch is set and the fetch fails.
// Without an expected digest nothing is read twice.
// The same for the file's length where the list gives one (expectedSize
// >= 0): a server that announces another or sends more ends the fetch, and
// sizeMismatch is set.
struct DigestCheck {
    const Sha256Digest* expected = nullptr;
    bool mismatch = false;
    int64_t expectedSize = -1;
    bool sizeMismatch = false;
};
// A target that another program may hold open, for a fetch that asks the
// user about it (Wiederholen / Abbrechen) instead of failing: the name the
// question gives it, and whether the user gave up, leaving the installed
// file as it was and the fetched one removed.
struct HeldTarget {
    std::wstring name;
    bool leftInUse = false;
};

// What the user is to be told of a failed fetch: the box's text (empty:
// nothing to say) and its MB_ flags. The fetch itself shows no box of a
// fault; its caller passes this on (run/StepFaults.h).
struct FetchFault {
    std::wstring box;
    UINT boxFlags = MB_OK;
    bool tooLarge = false;  // the fetch was ended past its byte limit
};

// True when check asks for nothing or path holds the expected bytes; sets
// check->mismatch otherwise (also when the file cannot be read).
bool PassesDigestCheck(const std::wstring& path, DigestCheck* check);

// Fetches url into dest in one blocking call, creating dest's folder chain
// first. A failed fetch (also an HTTP error status) leaves an existing dest
// untouched, gives dest as an error box in fault and returns false; a file
// that fails check does the same without the box. With askToOpen the user
// is then asked whether to open the file. A body past maxBytes (0: no
// limit) ends the fetch as it arrives, with fault.tooLarge and no box.
bool HttpDownload(const std::wstring& url, const std::wstring& dest, bool askToOpen, Frontend& frontend,
                  FetchFault& fault, const TransferLimits& limits = TransferLimits(), DigestCheck* check = nullptr,
                  uint64_t maxBytes = 0);

// Fetches url into memory through a side file in folder, removed again in
// every case: no box, no question. False when the fetch fails or the body
// is longer than maxBytes, which ends it as soon as that many have come.
bool HttpFetchQuietly(const std::wstring& url, const std::wstring& folder, size_t maxBytes, std::string* bytes,
                      Frontend& frontend, const TransferLimits& limits = TransferLimits());

// Fetches remoteFolder/remoteFile over FTP (binary) into localPath block by
// block, showing the progress and the busy cursor while it runs. localPath's
// folder must exist. The first try is active mode, then passive mode if the
// server cannot open an active data connection; with an httpUrl, a server
// that cannot be reached (or gives no data connection either way) is left
// for httpUrl. *route says which way the last file took and is where the
// next one starts (nullptr: this fetch alone, from active mode). A fetch
// that breaks off or goes silent mid-file is tried twice more, going on
// after the bytes it has where the server allows it. localPath is replaced
// only by a complete file (as many bytes as the server's fresh listing or
// the HTTP answer gave, not one more) that passes check; otherwise it stays
// as it was, fault says what the user is to hear where there is something
// to say (the FTP refusal's box also when HTTP could not help either), and
// the result is false. With held, a localPath that another program holds open is asked
// about while it is held; the file is not fetched again. A local write
// error is raised as UpdateError once the display is reset.
bool FtpDownload(const FtpServer& server, const std::wstring& remoteFolder, const std::wstring& remoteFile,
                 const std::wstring& localPath, TransferProgress& progress, Frontend& frontend, FetchFault& fault,
                 const TransferLimits& limits = TransferLimits(), DigestCheck* check = nullptr,
                 FtpRoute* route = nullptr, const std::wstring& httpUrl = std::wstring(),
                 HeldTarget* held = nullptr);

// "999 bytes", "1,00 Kb", "1,50 Mb" (decimal steps, the user's decimal separator).
std::wstring SizeText(int64_t n);
// The same with a given separator, and the user's separator itself.
std::wstring SizeTextWith(int64_t n, const std::wstring& separator);
std::wstring UserDecimalSeparator();
// The bar position for received of total bytes: nearest integer percent,
// halves to even, within 0..100; an empty total counts as complete.
int ProgressPercent(uint64_t received, uint64_t total);
