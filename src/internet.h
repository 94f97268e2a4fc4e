#pragma once
// Transfers from the update server, the update descriptor, the install run
// and the download log.
#include <windows.h>
#include <cstdint>

#include "LiveWait.h"
#include <string>
#include <vector>

// ---- work folder ----
// The updater's work folder; made to exist.
std::wstring GetWorkFolder();

// ---- transfers ----
// The update server's hosts: the registry values "Update Host" (host,
// optionally ":port") and "FTP Host" (host only) under the settings key
// override the built-in names. Read afresh on every call, never written.
std::wstring UpdateHttpHost();
std::wstring UpdateFtpHost();
// "http://" + UpdateHttpHost() + "/talveroupdate/files/".
std::wstring MakeUpdateBaseUrl();

// Fetches url into dest in one blocking call, creating dest's folder chain
// first. A failed fetch (also an HTTP error status) shows dest as an error
// box, leaves an existing dest untouched and returns false. With askToOpen
// the user is then asked whether to open the file.
// How long a transfer may go without receiving anything before it counts as
// failed (the window answers all the while).
struct TransferLimits {
    DWORD stallMs = kDefaultStallMs;
};

bool HttpDownload(const std::wstring& url, const std::wstring& dest, bool askToOpen,
                  const TransferLimits& limits = TransferLimits());

// Fetches remoteFolder/remoteFile over FTP (active mode, binary) into
// localPath block by block, showing the progress in the three controls.
// localPath's folder must exist. localPath is replaced only by a complete
// file (as many bytes as the server's fresh listing reported, not one more);
// otherwise it stays as it was and the result is false. A local write error
// is raised as UpdateError once the display is reset.
bool FtpDownload(const std::wstring& host, const std::wstring& user, const std::wstring& password,
                 uint16_t port, const std::wstring& remoteFolder, const std::wstring& remoteFile,
                 const std::wstring& localPath, HWND progressBar, HWND sizeLabel, HWND fileLabel,
                 const TransferLimits& limits = TransferLimits());

// "999 bytes", "1,00 Kb", "1,50 Mb" (decimal steps, the user's decimal separator).
std::wstring SizeText(int64_t n);
// The same with a given separator, and the user's separator itself.
std::wstring SizeTextWith(int64_t n, const std::wstring& separator);
std::wstring UserDecimalSeparator();
// The bar position for received of total bytes: nearest integer percent,
// halves to even, within 0..100; an empty total counts as complete.
int ProgressPercent(uint64_t received, uint64_t total);

// ---- update descriptor and target folders ----
// One numbered file entry of a descriptor section (keys "File", "Repl",
// "Open", "Name" and "Path", each followed by the number in three digits).
struct FileEntry {
    int number = 0;       // 1..999
    std::wstring F;       // "File": name in the server folder, as fetched over HTTP
    std::wstring FtpName; // F with a closing "PRG" turned into "EXE", as fetched over FTP
    bool R = true;        // "Repl": an existing file may be replaced
    bool O = false;       // "Open": offer to open the file after a fetch into the updates folder
    std::wstring N;       // "Name": local file name in the target folder
    std::wstring Path;    // "Path": keyword or literal folder, as stored
    // N could land outside the target folder, on a device or in a backup
    // folder; the install run skips such an entry.
    bool refused = false;
};

// The update descriptor: the local list file read as an INI file. The install
// run makes one per run (the "open" of the descriptor) and drops it at the
// end; it holds only the file's path, and every read goes to the profile
// functions afresh, so nothing is cached between entries.
class UpdateDescriptor {
public:
    explicit UpdateDescriptor(std::wstring fileName) : fileName_(std::move(fileName)) {}
    const std::wstring& FileName() const noexcept { return fileName_; }

    // The value as stored, or defaultValue when the key is missing.
    std::wstring ReadText(const std::wstring& section, const std::wstring& key,
                          const std::wstring& defaultValue = std::wstring()) const;
    // An integer value: 0 is false, any other integer true; missing or not
    // a number gives defaultValue.
    bool ReadFlag(const std::wstring& section, const std::wstring& key, bool defaultValue) const;
    // The section's product key "Prg", upper-cased.
    std::wstring Product(const std::wstring& section) const;
    // File entry n (1..999); its F is empty where the section's list ends.
    FileEntry Entry(const std::wstring& section, int n) const;
    // Entries 1, 2, ... up to the first one with an empty "File" (at most 999).
    std::vector<FileEntry> Entries(const std::wstring& section) const;

private:
    std::wstring fileName_;
};

inline constexpr int kMaxFileEntries = 999;

// "001" for 1, "010" for 10, "999" for 999.
std::wstring EntryNumberText(int n);
// The server name requested over FTP: a closing "PRG" (any case) becomes "EXE".
std::wstring FtpFileName(const std::wstring& serverName);
// True when name can only ever mean a file directly inside a folder: not
// empty, no "." or "..", no separators, drive colons or wildcards, no device
// name, no trailing dot or blank.
bool IsPlainFileName(const std::wstring& name);
// True when name is a file name, or a relative path whose every part passes
// the rules for archive entries, and no part leads into a backup folder.
bool IsSafeLocalName(const std::wstring& name);
// Backup folders of a run are named kBackupPrefix + " " + date and time.
inline constexpr const wchar_t* kBackupPrefix = L"_History";
// A path part that begins like a backup folder (without regard to case).
bool StartsWithBackupPrefix(const std::wstring& part);
// The line the install run writes into lstAnw for a refused entry.
std::wstring RefusedEntryLine(const FileEntry& entry);
// The folder of the installed product that a file entry's Path value names
// (keywords without regard to case); an unknown value is taken as a literal
// folder in upper case. Looks everything up afresh on every call.
std::wstring ResolveTargetFolder(const std::wstring& product, const std::wstring& pathValue);
// ---- install run and download log ----
// Installs the checked entries of frmMain's lstUpd from the descriptor
// WorkFolder + "update.cfg", reporting into lstAnw, and ends with
// WriteDownloadLog, also when an error ends the run early (the error is then
// raised again for the wizard's click handler).
void InstallUpdates();
// Saves lstAnw as WorkFolder + "Updates\Download <short date> .txt" (ANSI,
// CR LF), empties lstAnw and lstUpd, writes where the log lies and opens it.
// A log that cannot be written raises UpdateError with both lists unchanged.
void WriteDownloadLog();
// The FTP port the install run uses: the setting "FTP Port" (default "21"),
// 21 when the setting is no port number or cannot be read.
uint16_t InstallFtpPort();
