#pragma once
// The update descriptor (the update list read as an INI file) with its file
// entries, the rules for the names those entries give, and the folders of
// the installed products that the entries' paths name.
#include <cstdint>
#include <string>
#include <vector>

#include "run/Session.h"
#include "sys/Trust.h"

// Why the install run skips a file entry.
enum class EntryRefusal {
    None,
    UnsafeName,  // N could land outside the target folder, on a device or in a backup folder
    BadDigest,   // "Hash" is there but no "sha256:" digest: a damaged list, not one without digests
    NoDigest,    // a signed list vouches for an entry's bytes only through its digest
    BadSize,     // "Size" is there but no decimal number of bytes
    NoSize,      // a signed list bounds every fetch through the entry's size
};

// One numbered file entry of a descriptor section (keys "File", "Repl",
// "Open", "Name", "Path", "Hash" and "Size", each followed by the number in
// three digits).
struct FileEntry {
    int number = 0;       // 1..999
    std::wstring F;       // "File": name in the server folder, as fetched over HTTP
    std::wstring FtpName; // F with a closing "PRG" turned into "EXE", as fetched over FTP
    bool R = true;        // "Repl": an existing file may be replaced
    bool O = false;       // "Open": offer to open the file after a fetch into the updates folder
    std::wstring N;       // "Name": local file name in the target folder
    std::wstring Path;    // "Path": keyword or literal folder, as stored
    // "Hash": the SHA-256 the fetched bytes must have, where hasDigest.
    bool hasDigest = false;
    Sha256Digest digest{};
    // "Size": the file's length in bytes, where hasSize; a fetch of any
    // other length fails, and one that runs past it ends there.
    bool hasSize = false;
    uint64_t size = 0;
    EntryRefusal refusal = EntryRefusal::None;
    bool refused() const noexcept { return refusal != EntryRefusal::None; }
};

// The update descriptor: the local list file read as an INI file. The install
// run makes one per run (the "open" of the descriptor) and drops it at the
// end; it holds only the file's path, and every read goes to the profile
// functions afresh, so nothing is cached between entries.
class UpdateDescriptor {
public:
    // digestsRequired: the list passed the signature check, so an entry
    // without a digest is refused.
    explicit UpdateDescriptor(std::wstring fileName, bool digestsRequired = false)
        : fileName_(std::move(fileName)), digestsRequired_(digestsRequired) {}
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
    bool digestsRequired_;
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
// The line the install run reports for a refused entry, naming its refusal.
std::wstring RefusedEntryLine(const FileEntry& entry);
// The folder of the installed product that a file entry's Path value names
// (keywords without regard to case); an unknown value is taken as a literal
// folder in upper case. Looks everything up afresh on every call.
std::wstring ResolveTargetFolder(const Session& session, const std::wstring& product, const std::wstring& pathValue);
