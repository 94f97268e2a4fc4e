#pragma once
// TZipExtractor: the window's archive component (Zip1). The ZIP engine is
// built in (src/zip/ZipReader.h). Each call is told everything it needs
// (ExtractRequest) and whom to tell and ask (ExtractEvents); it keeps
// nothing between calls. Faults never raise: they come back in the
// ExtractResult and, in German, through ExtractEvents::Fault; the
// component shows no box of its own.
// The whole directory, the room on the target drive and the names against
// the protected prefix are checked before the first byte is written; a file
// that replaces an existing one goes to a side file beside it first and
// replaces it only after its CRC-32 and size proved right; a new one is
// written under its name marked to be removed on close until then, so
// neither a damaged entry nor a run killed mid-entry leaves a part of it.
// The first damaged entry ends the extraction; files written before it stay.
#include <cstdint>
#include <string>

enum class ExtractOption : unsigned { KeepFolderNames = 1, CreateFolders = 2, OverwriteFiles = 4 };

constexpr unsigned operator|(ExtractOption a, ExtractOption b) {
    return static_cast<unsigned>(a) | static_cast<unsigned>(b);
}
constexpr unsigned operator|(unsigned a, ExtractOption b) { return a | static_cast<unsigned>(b); }

// Values of ExtractResult::code.
enum ZipErrorCode : int {
    zipOk = 0,
    zipArchiveMissing = 1,     // no such archive, or no name given
    zipArchiveUnreadable = 2,  // exists but cannot be opened or read
    zipArchiveDamaged = 3,     // no ZIP archive, or its structure is inconsistent
    zipUnsafeEntry = 4,        // a name or entry kind that could write outside the target folder
    zipUnsupportedEntry = 5,   // encrypted, or a compression method other than stored and deflate
    zipEntryDamaged = 6,       // CRC or size of an entry's data wrong
    zipTargetFolder = 7,       // the target folder is missing or cannot be created
    zipWriteFailed = 8,        // a file or folder cannot be written or replaced
    zipInternal = 9,           // out of memory and the like
    zipNoSpace = 10,           // the files would not fit on the target drive
};

struct ExtractRequest {
    std::wstring archive;
    // The folder the entries go below.
    std::wstring folder;
    unsigned options = ExtractOption::KeepFolderNames | ExtractOption::CreateFolders;
    // Folders no entry may reach: an archive with a path component that
    // begins with this (in any case, or as the 8.3 alias of an existing
    // folder or file whose name does) is refused whole. Empty: no such check.
    std::wstring protectedPrefix;
    // Files of at least this many bytes are flushed to the disk before they
    // get their name, so that a power cut leaves the old file or the whole
    // new one; 0: none. Smaller files are not worth a flush each.
    uint64_t flushAbove = 0;

    bool Has(ExtractOption o) const { return (options & static_cast<unsigned>(o)) != 0; }
};

// What an extraction tells and asks while it runs. The defaults tell
// nobody and let a held file end the extraction as a write fault.
class ExtractEvents {
public:
    enum class Held { Fail, Retry, Leave };
    virtual ~ExtractEvents() = default;
    // Called at least once per entry and once per 64 KiB written, so a
    // window can keep processing its messages. Expected not to throw.
    virtual void KeepAlive() {}
    // Before an existing file is replaced (path of that file, entry name),
    // once the new content has been written and checked. An exception
    // leaves the file in place and leaves Extract.
    virtual void BeforeReplace(const std::wstring& existing, const std::wstring& entryName) {
        (void)existing;
        (void)entryName;
    }
    // An existing file cannot be replaced because another program holds it
    // open: Retry tries the replace again (and asks again while it is
    // held), Leave keeps the old file and goes on with the next entry, Fail
    // ends the extraction as a write fault. An exception leaves the file in
    // place and leaves Extract.
    virtual Held FileHeld(const std::wstring& existing, const std::wstring& entryName) {
        (void)existing;
        (void)entryName;
        return Held::Fail;
    }
    // A fault's German text, once, as the extraction ends with it. Expected
    // not to throw.
    virtual void Fault(const std::wstring& text) { (void)text; }
};

struct ExtractResult {
    int code = zipOk;
    std::wstring text;  // the fault's German text; empty with zipOk
    int extracted = 0;  // files written
    int leftInUse = 0;  // files left as they were because FileHeld said Leave
    int entries = 0;    // entries of the archive's directory (folders included)
};

class TZipExtractor {
public:
    // Extracts every entry of request.archive below request.folder. Raises
    // only what an event raised.
    ExtractResult Extract(const ExtractRequest& request, ExtractEvents& events) const;
};
