// The Windows side of Zip1: it opens the archive, creates folders and moves
// checked temporary files into place; all archive logic is in ZipReader.
#include "zip/ZipExtractor.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <new>
#include <vector>

#include "net/FilesInUse.h"
#include "net/SideFiles.h"
#include "sys/Dateien.h"
#include "sys/Handles.h"
#include "sys/Text.h"
#include "zip/ZipFiles.h"
#include "zip/ZipReader.h"
#include "zip/ZipSpace.h"

namespace {

using zipread::Fault;
using namespace zipfiles;

std::wstring Wide(const std::u16string& s) { return std::wstring(s.begin(), s.end()); }

std::wstring Quoted(const std::wstring& s) { return L"\"" + s + L"\""; }

std::wstring FolderNotMadeText(const std::wstring& folder) {
    return L"Der Ordner " + Quoted(folder) + L" kann nicht angelegt werden.";
}

bool BeginsWith(const std::u16string& upcasedName, const std::u16string& upcasedPrefix) {
    return upcasedName.compare(0, upcasedPrefix.size(), upcasedPrefix) == 0;
}

// The first entry with a path component that names a protected folder or
// file: one whose name begins with the prefix, or an 8.3 alias ("_HISTO~1")
// of an existing one whose long name does. Only components with '~' can be
// aliases, so only they cost a lookup, and each folder path only once.
const zipread::Entry* IntoProtected(const std::vector<zipread::Entry>& entries, const std::wstring& base,
                                    const std::wstring& prefix) {
    const std::u16string upPrefix = zipread::UpcaseName(std::u16string(prefix.begin(), prefix.end()));
    std::unordered_set<std::u16string> harmless;
    for (const zipread::Entry& e : entries) {
        const std::u16string up = zipread::UpcaseName(e.name);
        for (size_t start = 0; start < up.size();) {
            size_t stop = up.find(u'/', start);
            if (stop == std::u16string::npos) stop = up.size();
            const std::u16string part = up.substr(start, stop - start);
            if (BeginsWith(part, upPrefix)) return &e;
            if (part.find(u'~') != std::u16string::npos && harmless.insert(up.substr(0, stop)).second) {
                WIN32_FIND_DATAW fd;
                const std::wstring path = base + Backslashed(Wide(e.name.substr(0, stop)));
                const HANDLE find = FindFirstFileW(ApiPath(path).c_str(), &fd);
                if (find != INVALID_HANDLE_VALUE) {
                    FindClose(find);
                    const std::u16string longName(fd.cFileName, fd.cFileName + wcslen(fd.cFileName));
                    if (BeginsWith(zipread::UpcaseName(longName), upPrefix)) return &e;
                }
            }
            start = stop + 1;
        }
    }
    return nullptr;
}

}  // namespace

namespace {

// The German message for a fault of the reader; *code receives ErrorCode.
// Faults of the directory stop the whole archive; a fault found while an
// entry is extracted concerns that entry (earlier files stay written).
std::wstring FaultText(const zipread::Status& s, const std::wstring& archive, int* code, bool extracting = false) {
    const std::wstring a = Quoted(archive), e = Quoted(Wide(s.entry));
    switch (s.fault) {
    case Fault::ReadError:
        *code = zipArchiveUnreadable;
        return L"Das Archiv " + a + L" kann nicht gelesen werden.";
    case Fault::UnsafeName:
        *code = zipUnsafeEntry;
        return L"Das Archiv " + a + L" enthält den unzulässigen Dateinamen " + e + L" und wird nicht entpackt.";
    case Fault::Symlink:
        *code = zipUnsafeEntry;
        return L"Das Archiv " + a + L" enthält die symbolische Verknüpfung " + e + L" und wird nicht entpackt.";
    case Fault::Duplicate:
        *code = zipUnsafeEntry;
        return L"Das Archiv " + a + L" enthält den Namen " + e +
               L" doppelt oder zugleich als Datei und Ordner und wird nicht entpackt.";
    case Fault::Encrypted:
        *code = zipUnsupportedEntry;
        return L"Die Datei " + e + L" im Archiv " + a + L" ist verschlüsselt. Das Archiv wird nicht entpackt.";
    case Fault::Method:
        *code = zipUnsupportedEntry;
        return L"Die Datei " + e + L" im Archiv " + a +
               L" ist mit einem nicht unterstützten Verfahren gepackt. Das Archiv wird nicht entpackt.";
    case Fault::Damaged:
        if (!extracting) break;
        [[fallthrough]];
    case Fault::Crc:
    case Fault::Size:
    case Fault::TooLong:
        *code = zipEntryDamaged;
        return L"Die Datei " + e + L" im Archiv " + a +
               L" ist beschädigt (Prüfsummen- oder Größenfehler) und wurde nicht entpackt.";
    case Fault::WriteError:
        *code = zipWriteFailed;
        return L"Die Datei " + e + L" aus dem Archiv " + a + L" kann nicht geschrieben werden.";
    default:
        break;
    }
    if (s.fault == Fault::Damaged && !s.entry.empty()) {
        *code = zipEntryDamaged;
        return L"Die Datei " + e + L" im Archiv " + a + L" ist beschädigt. Das Archiv wird nicht entpackt.";
    }
    *code = zipArchiveDamaged;
    return L"Das Archiv " + a + L" ist beschädigt oder kein ZIP-Archiv und wird nicht entpackt.";
}

// Opens the archive and checks its whole directory.
struct OpenArchive {
    FileHandle file;
    std::unique_ptr<FileSource> source;
    zipread::Reader reader;
    int code = zipOk;
    std::wstring text;

    explicit OpenArchive(const std::wstring& name) {
        if (name.empty()) {
            code = zipArchiveMissing;
            text = L"Es wurde kein Archiv zum Entpacken angegeben.";
            return;
        }
        file.reset(CreateFileW(ApiPath(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        LARGE_INTEGER size{};
        if (!file) {
            const DWORD e = GetLastError();
            const bool missing = e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND || e == ERROR_INVALID_NAME;
            code = missing ? zipArchiveMissing : zipArchiveUnreadable;
            text = L"Das Archiv " + Quoted(name) +
                   (missing ? L" wurde nicht gefunden." : L" kann nicht geöffnet werden.");
            return;
        }
        if (!GetFileSizeEx(file.get(), &size)) {
            code = zipArchiveUnreadable;
            text = L"Das Archiv " + Quoted(name) + L" kann nicht gelesen werden.";
            return;
        }
        source.reset(new FileSource(file.get(), static_cast<uint64_t>(size.QuadPart)));
        const zipread::Status s = reader.Open(*source);
        if (!s.ok()) text = FaultText(s, name, &code);
    }
};

}  // namespace

namespace {

// One call of Extract: the request, whom to tell, and what came of it.
class Extraction {
public:
    Extraction(const ExtractRequest& request, ExtractEvents& events) : req_(request), events_(events) {}
    ExtractResult Run();

private:
    const ExtractRequest& req_;
    ExtractEvents& events_;
    ExtractResult result_;
    std::exception_ptr callerError_;

    enum class Put { Written, Skipped, LeftInUse, Stop, CallerThrew };
    void Fail(int code, const std::wstring& text);
    void ExtractEntries(zipread::Reader& reader);
    // One file entry to target in folder (which exists). Stop: the fault is
    // recorded; CallerThrew: an event threw, callerError_ holds it.
    Put PutFile(zipread::Reader& reader, const zipread::Entry& e, const std::wstring& target,
                const std::wstring& folder);
    // A file where none was; Skipped (with *taken when the name is) where
    // the side-file way must take it.
    Put PutNew(zipread::Reader& reader, const zipread::Entry& e, const std::wstring& target, bool* taken);
    // The entry's checked data into file, with the entry's time (flushed
    // from flushAbove on); false with the reader's fault in *fault.
    bool WriteEntry(zipread::Reader& reader, const zipread::Entry& e, HANDLE file, zipread::Status* fault);
    // Records (and tells) a fault found while an entry was written.
    void FailEntry(const zipread::Status& fault);
    // The checked side file over the existing target.
    Put ReplaceExisting(const std::wstring& side, const std::wstring& target, const std::wstring& entryName);
};

void Extraction::Fail(int code, const std::wstring& text) {
    result_.code = code;
    result_.text = text;
    events_.Fault(text);
}

// No entry is ever left half written under the name the product loads: a
// new file is marked for removal until whole (PutNew), one that replaces
// an installed file is written into a side file, which the next run sweeps
// should this one be killed. An existing file is kept without
// OverwriteFiles; with it, BeforeReplace comes first, then the replace,
// and a file another program holds is left to FileHeld.
Extraction::Put Extraction::PutFile(zipread::Reader& reader, const zipread::Entry& e, const std::wstring& target,
                                    const std::wstring& folder) {
    const bool overwrite = req_.Has(ExtractOption::OverwriteFiles);
    if (!overwrite) {
        const DWORD attrs = GetFileAttributesW(ApiPath(target).c_str());
        if (attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY)) return Put::Skipped;
    }
    bool taken = false;
    if (overwrite) {
        const Put put = PutNew(reader, e, target, &taken);
        if (put != Put::Skipped) return put;
    }
    TempFile temp;
    if (!temp.Create(folder)) {
        Fail(zipWriteFailed, L"Im Ordner " + Quoted(folder) + L" kann keine Datei angelegt werden.");
        return Put::Stop;
    }
    zipread::Status fault;
    if (!WriteEntry(reader, e, temp.Handle(), &fault)) {
        temp.Discard();
        FailEntry(fault);
        return Put::Stop;
    }
    // A name PutNew found taken needs no rename that must fail.
    const Rename renamed = taken ? Rename::Taken : RenameNew(temp.Handle(), ApiPath(target));
    temp.Close();
    if (renamed == Rename::Done) {
        temp.Keep();
        return Put::Written;
    }
    const std::wstring from = ApiPath(temp.Path()), to = ApiPath(target);
    if (renamed == Rename::NotPossible && MoveFileExW(from.c_str(), to.c_str(), 0)) {
        temp.Keep();
        return Put::Written;
    }
    // Made since the look above: still kept.
    if (!overwrite && GetFileAttributesW(to.c_str()) != INVALID_FILE_ATTRIBUTES) return Put::Skipped;
    const Put put = ReplaceExisting(temp.Path(), target, Wide(e.name));
    if (put == Put::Written) temp.Keep();
    return put;
}

// A file where none was is written under its own name, marked to be
// removed on close until it is whole and checked: a run killed mid-entry
// (its handles closed by Windows) leaves nothing, and no program can open
// the half-written file meanwhile. One name lookup instead of a side
// file's two, which under Wine is most of the cost of a small file.
// Skipped: the name is taken (*taken) or the mark cannot be set; the
// side-file way must take it.
Extraction::Put Extraction::PutNew(zipread::Reader& reader, const zipread::Entry& e, const std::wstring& target,
                                   bool* taken) {
    FileHandle file(CreateFileW(ApiPath(target).c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        *taken = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
        return Put::Skipped;
    }
    if (!SetRemoveOnClose(file.get(), true)) {
        // Still empty and ours: it goes again, and the side-file way comes.
        file.reset();
        DeleteFileW(ApiPath(target).c_str());
        return Put::Skipped;
    }
    zipread::Status fault;
    if (!WriteEntry(reader, e, file.get(), &fault)) {
        file.reset();
        FailEntry(fault);
        return Put::Stop;
    }
    if (!SetRemoveOnClose(file.get(), false)) {
        file.reset();
        Fail(zipWriteFailed, L"Die Datei " + Quoted(target) + L" kann nicht geschrieben werden.");
        return Put::Stop;
    }
    return Put::Written;
}

bool Extraction::WriteEntry(zipread::Reader& reader, const zipread::Entry& e, HANDLE file, zipread::Status* fault) {
    FileSink sink(file, events_);
    *fault = reader.Extract(e, sink);
    if (!fault->ok()) return false;
    FILETIME ft;
    if (EntryFileTime(e, &ft)) SetFileTime(file, nullptr, nullptr, &ft);
    if (req_.flushAbove > 0 && e.uncompressedSize >= req_.flushAbove) FlushFileBuffers(file);
    return true;
}

void Extraction::FailEntry(const zipread::Status& fault) {
    int code = zipOk;
    const std::wstring text = FaultText(fault, req_.archive, &code, true);
    Fail(code, text);
}

Extraction::Put Extraction::ReplaceExisting(const std::wstring& side, const std::wstring& target,
                                            const std::wstring& entryName) {
    const DWORD attrs = GetFileAttributesW(ApiPath(target).c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES || (attrs & FILE_ATTRIBUTE_DIRECTORY)) {
        Fail(zipWriteFailed, L"Die Datei " + Quoted(target) + L" kann nicht geschrieben werden" +
                                 (attrs == INVALID_FILE_ATTRIBUTES ? L"." : L", weil dort ein Ordner liegt."));
        return Put::Stop;
    }
    try {
        events_.BeforeReplace(target, entryName);
        const auto move = [&side, &target] { return MoveReplacing(side, target); };
        bool fails = false;
        const auto tryAgain = [&] {
            const ExtractEvents::Held answer = events_.FileHeld(target, entryName);
            fails = answer == ExtractEvents::Held::Fail;
            return answer == ExtractEvents::Held::Retry;
        };
        switch (ReplaceWhileHeld(move, target, tryAgain)) {
        case HeldReplace::Replaced:
            return Put::Written;
        case HeldReplace::LeftInUse:
            if (!fails) return Put::LeftInUse;
            break;
        case HeldReplace::Failed:
            break;
        }
    } catch (...) {
        callerError_ = std::current_exception();
        return Put::CallerThrew;
    }
    Fail(zipWriteFailed, L"Die Datei " + Quoted(target) + L" kann nicht ersetzt werden.");
    return Put::Stop;
}

ExtractResult Extraction::Run() {
    try {
        OpenArchive a(req_.archive);
        if (a.code != zipOk) {
            Fail(a.code, a.text);
            return result_;
        }
        result_.entries = static_cast<int>(a.reader.Entries().size());
        ExtractEntries(a.reader);
    } catch (const std::bad_alloc&) {
        Fail(zipInternal, L"Zum Entpacken des Archivs " + Quoted(req_.archive) + L" reicht der Speicher nicht.");
    } catch (const std::exception&) {
        Fail(zipInternal, L"Beim Entpacken des Archivs " + Quoted(req_.archive) + L" ist ein Fehler aufgetreten.");
    }
    if (callerError_) std::rethrow_exception(callerError_);
    return result_;
}

void Extraction::ExtractEntries(zipread::Reader& reader) {
    const std::vector<zipread::Entry>& entries = reader.Entries();
    std::wstring base;
    const bool create = req_.Has(ExtractOption::CreateFolders);
    const std::wstring noTarget =
        L"Der Zielordner " + Quoted(req_.folder) + (create ? L" kann nicht angelegt werden." : L" existiert nicht.");
    if (req_.folder.empty() || !FullPath(req_.folder, &base)) {
        Fail(zipTargetFolder, noTarget);
        return;
    }
    if (base.back() != L'\\') base += L'\\';

    // Refusals that concern the archive as a whole come before anything
    // is created, so a refused archive leaves the target as it was.
    if (!req_.protectedPrefix.empty()) {
        if (const zipread::Entry* bad = IntoProtected(entries, base, req_.protectedPrefix)) {
            zipread::Status s;
            s.fault = Fault::UnsafeName;
            s.entry = bad->name;
            int code = zipOk;
            const std::wstring text = FaultText(s, req_.archive, &code);
            Fail(code, text);
            return;
        }
    }
    const std::wstring noRoom = zipspace::NoRoomText(entries, base, req_.archive);
    if (!noRoom.empty()) {
        Fail(zipNoSpace, noRoom);
        return;
    }

    Folders folders;
    if (!(create ? folders.Ensure(base) : IsFolder(base))) {
        Fail(zipTargetFolder, noTarget);
        return;
    }
    const bool keepFolders = req_.Has(ExtractOption::KeepFolderNames);
    for (const zipread::Entry& e : entries) {
        events_.KeepAlive();
        std::wstring rel = Backslashed(Wide(e.name));
        if (e.isDirectory) {
            if (keepFolders && !folders.Ensure(base + rel)) {
                Fail(zipWriteFailed, FolderNotMadeText(base + rel));
                return;
            }
            continue;
        }
        if (!keepFolders) rel = rel.substr(rel.find_last_of(L'\\') + 1);
        const std::wstring target = base + rel;
        const std::wstring folder = target.substr(0, target.find_last_of(L'\\') + 1);
        if (!folders.Use(folder)) {
            Fail(zipWriteFailed, FolderNotMadeText(folder));
            return;
        }
        const Put put = PutFile(reader, e, target, folder);
        if (put == Put::Stop || put == Put::CallerThrew) break;
        if (put == Put::Written) ++result_.extracted;
        if (put == Put::LeftInUse) ++result_.leftInUse;
    }
}

}  // namespace

ExtractResult TZipExtractor::Extract(const ExtractRequest& request, ExtractEvents& events) const {
    return Extraction(request, events).Run();
}
