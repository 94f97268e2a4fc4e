#pragma once
// TZipExtractor: the window's archive component (Zip1). The ZIP engine is
// built in (src/zip/ZipReader.h). Faults never raise: they are recorded
// in ErrorCode/ErrorText and, unless Silent, shown in German (through
// OnFault, or in a message box of its own).
// The whole directory, the room on the target drive and the names against
// ProtectedPrefix are checked before the first byte is written; a file that
// replaces an existing one goes to a side file beside it first and replaces
// it only after its CRC-32 and size proved right; a new one is written under
// its name marked to be removed on close until then, so neither a damaged
// entry nor a run killed mid-entry leaves a part of it. The first damaged
// entry ends the extraction; files written before it stay.
#include <cstdint>
#include <exception>
#include <functional>
#include <string>

namespace zipread {
class Reader;
struct Entry;
struct Status;
}  // namespace zipread

enum class ExtractOption : unsigned { KeepFolderNames = 1, CreateFolders = 2, OverwriteFiles = 4 };

// Values of ErrorCode after SetArchiveName or Extract.
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

class TZipExtractor {
public:
    std::wstring ExtractFolder;
    unsigned ExtractOptions = static_cast<unsigned>(ExtractOption::KeepFolderNames) |
                              static_cast<unsigned>(ExtractOption::CreateFolders);
    bool Silent = false;
    // Called before an existing file is replaced (path of that file, entry
    // name), once the new content has been written and checked. An exception
    // from it leaves the file in place and leaves Extract.
    std::function<void(const std::wstring& existing, const std::wstring& entryName)> OnBeforeReplace;
    // Folders no entry may reach: an archive with a path component that
    // begins with this (in any case, or as the 8.3 alias of an existing
    // folder or file whose name does) is refused whole. Empty: no such check.
    // The install run keeps its backups in "_History" folders.
    std::wstring ProtectedPrefix;
    // Called at least once per entry and once per 64 KiB written, so the
    // window can keep processing its messages during a long extraction. It
    // is expected not to throw.
    std::function<void()> KeepAlive;
    // Asked when an existing file cannot be replaced because another
    // program holds it open (path of that file, entry name): true tries the
    // replace again, false leaves the old file and goes on with the next
    // entry. Without it, such a file ends the extraction as a write fault.
    // An exception from it leaves the file in place and leaves Extract.
    std::function<bool(const std::wstring& existing, const std::wstring& entryName)> OnInUse;
    // Files of at least this many bytes are flushed to the disk before they
    // get their name, so that a power cut leaves the old file or the whole
    // new one; 0: none. Smaller files are not worth a flush each.
    uint64_t FlushAbove = 0;
    // Shows a fault's text to the user in place of the component's own box,
    // so the box has the owner the caller wants. Expected not to throw.
    std::function<void(const std::wstring& text)> OnFault;

    void SetArchiveName(const std::wstring& name);
    const std::wstring& ArchiveName() const { return archiveName_; }
    void AddOption(ExtractOption o) { ExtractOptions |= static_cast<unsigned>(o); }
    // Extracts every entry; returns the number of files written.
    int Extract();
    int ErrorCode() const { return errorCode_; }
    const std::wstring& ErrorText() const { return errorText_; }
    int ExtractedCount() const { return extractedCount_; }
    // Files of the last Extract left as they were because OnInUse gave up.
    int LeftInUseCount() const { return leftInUse_; }
    // Entries found when the archive's directory was read (folders included).
    int EntryCount() const { return entryCount_; }

private:
    std::wstring archiveName_;
    int errorCode_ = 0;
    std::wstring errorText_;
    int extractedCount_ = 0;
    int leftInUse_ = 0;
    int entryCount_ = 0;

    void Fail(int code, const std::wstring& text);
    enum class Put { Written, Skipped, LeftInUse, Stop, CallerThrew };
    // One file entry to target in folder (which exists). Stop: the fault is
    // recorded; CallerThrew: OnBeforeReplace threw, *callerError holds it.
    Put PutFile(zipread::Reader& reader, const zipread::Entry& e, const std::wstring& target,
                const std::wstring& folder, const std::function<void()>* keepAlive, bool overwrite,
                std::exception_ptr* callerError);
    // A file where none was; Skipped (with *taken when the name is) where
    // the side-file way must take it.
    Put PutNew(zipread::Reader& reader, const zipread::Entry& e, const std::wstring& target,
               const std::function<void()>* keepAlive, bool* taken);
    // The entry's checked data into file (a HANDLE), with the entry's time
    // (flushed from FlushAbove on); false with the reader's fault in *fault.
    bool WriteEntry(zipread::Reader& reader, const zipread::Entry& e, void* file,
                    const std::function<void()>* keepAlive, zipread::Status* fault);
    // Records (and shows) a fault found while an entry was written.
    void FailEntry(const zipread::Status& fault);
    // The checked side file over the existing target.
    Put ReplaceExisting(const std::wstring& side, const std::wstring& target, const std::wstring& entryName,
                        std::exception_ptr* callerError);
};
