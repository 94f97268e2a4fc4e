// The Windows side of Zip1: it opens the archive, creates folders and moves
// checked temporary files into place; all archive logic is in ZipReader.
#include "zip/ZipExtractor.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <new>
#include <unordered_set>
#include <vector>

#include "sys/Dateien.h"
#include "net/FilesInUse.h"
#include "sys/Handles.h"
#include "net/Reporting.h"
#include "net/SideFiles.h"
#include "sys/Text.h"
#include "zip/ZipReader.h"
#include "zip/ZipSpace.h"

namespace {

using zipread::Fault;

std::wstring Wide(const std::u16string& s) { return std::wstring(s.begin(), s.end()); }

std::wstring Quoted(const std::wstring& s) { return L"\"" + s + L"\""; }

class FileSource : public zipread::ByteSource {
public:
    FileSource(HANDLE file, uint64_t size) : file_(file), size_(size) {}
    uint64_t Size() const override { return size_; }
    // Seek and read, not a read with an OVERLAPPED offset: Wine answers
    // each such read with a completion notice to the wineserver, a round
    // trip per entry, where the seek stays in the process.
    bool ReadAt(uint64_t offset, void* buffer, size_t n) override {
        auto* p = static_cast<char*>(buffer);
        if (offset > size_) return false;
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(offset);
        if (!SetFilePointerEx(file_, at, nullptr, FILE_BEGIN)) return false;
        while (n > 0) {
            const DWORD want = static_cast<DWORD>(n > (1u << 30) ? (1u << 30) : n);
            DWORD got = 0;
            if (!ReadFile(file_, p, want, &got, nullptr) || got == 0) return false;
            p += got;
            n -= got;
        }
        return true;
    }

private:
    HANDLE file_;
    uint64_t size_;
};

class FileSink : public zipread::ByteSink {
public:
    // keepAlive is null when there is nothing to call.
    FileSink(HANDLE file, const std::function<void()>* keepAlive) : file_(file), keepAlive_(keepAlive) {}
    bool Write(const void* data, size_t n) override {
        // The reader hands over at most its 64 KiB buffer per call.
        if (keepAlive_) (*keepAlive_)();
        return WriteAll(file_, data, n) == ERROR_SUCCESS;
    }

private:
    HANDLE file_;
    const std::function<void()>* keepAlive_;
};

// The side file beside the target that an entry is written into; removed
// unless it was kept.
class TempFile {
public:
    bool Create(const std::wstring& folder) {
        file_.reset(CreateSideFile(folder, L"zip", GENERIC_WRITE | DELETE, &path_));
        return static_cast<bool>(file_);
    }
    ~TempFile() { Discard(); }
    TempFile() = default;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    HANDLE Handle() const { return file_.get(); }
    const std::wstring& Path() const { return path_; }
    void Close() { file_.reset(); }
    void Discard() {
        file_.reset();
        if (!path_.empty()) DeleteFileW(ApiPath(path_).c_str());
        path_.clear();
    }
    void Keep() { path_.clear(); }

private:
    FileHandle file_;
    std::wstring path_;
};

// NtSetInformationFile on an open handle: what the kernel32 calls of
// Vista do, here on XP too. Its status (0: done); kNoSuchCall where ntdll
// has none.
constexpr LONG kNoSuchCall = static_cast<LONG>(0xC0000002);  // STATUS_NOT_IMPLEMENTED
LONG SetFileInformation(HANDLE file, void* info, ULONG size, int infoClass) {
    struct IoStatus {
        void* status;
        ULONG_PTR information;
    };
    using SetInformationFile = LONG(WINAPI*)(HANDLE, IoStatus*, void*, ULONG, int);
    static const auto setInformation = reinterpret_cast<SetInformationFile>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtSetInformationFile")));
    if (!setInformation) return kNoSuchCall;
    IoStatus io{};
    return setInformation(file, &io, info, size, infoClass);
}

enum class Rename { Done, Taken, NotPossible };

// Gives the still open side file its final name when no file of that name
// exists. Renaming through the handle costs one system call, where
// MoveFileExW opens the file by name again; with thousands of small files
// under Wine that is most of the difference to a plain write. NotPossible
// (no such call, a path it cannot take): the caller falls back to
// MoveFileExW.
Rename RenameNew(HANDLE file, const std::wstring& target) {
    std::wstring nt;
    if (target.size() > 2 && target[1] == L':' && target[2] == L'\\') nt = L"\\??\\" + target;
    else if (target.rfind(L"\\\\?\\", 0) == 0) nt = L"\\??\\" + target.substr(4);
    if (nt.empty()) return Rename::NotPossible;
    // FILE_RENAME_INFORMATION: replace flag, root directory, name length, name.
    struct Header {
        BOOLEAN replaceIfExists;
        HANDLE rootDirectory;
        ULONG fileNameLength;
    };
    const size_t nameBytes = nt.size() * sizeof(wchar_t);
    std::vector<char> info(sizeof(Header) + nameBytes + sizeof(wchar_t), 0);
    Header header{FALSE, nullptr, static_cast<ULONG>(nameBytes)};
    std::memcpy(info.data(), &header, sizeof(header));
    std::memcpy(info.data() + offsetof(Header, fileNameLength) + sizeof(ULONG), nt.data(), nameBytes);
    const int kFileRenameInformation = 10;
    const LONG status = SetFileInformation(file, info.data(), static_cast<ULONG>(info.size()), kFileRenameInformation);
    const LONG kObjectNameCollision = static_cast<LONG>(0xC0000035);
    if (status == 0) return Rename::Done;
    return status == kObjectNameCollision ? Rename::Taken : Rename::NotPossible;
}

// Marks an open file to be removed when its last handle closes, or takes
// the mark back.
bool SetRemoveOnClose(HANDLE file, bool remove) {
    BOOLEAN deleteFile = remove ? TRUE : FALSE;
    const int kFileDispositionInformation = 13;
    return SetFileInformation(file, &deleteFile, sizeof deleteFile, kFileDispositionInformation) == 0;
}

bool EntryFileTime(const zipread::Entry& e, FILETIME* ft) {
    if (e.hasUnixTime) {
        const ULONGLONG ticks = static_cast<ULONGLONG>(e.unixTime + 11644473600LL) * 10000000ULL;
        ft->dwLowDateTime = static_cast<DWORD>(ticks);
        ft->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
        return true;
    }
    // DOS times are local times of the machine that made the archive.
    FILETIME local;
    return DosDateTimeToFileTime(e.dosDate, e.dosTime, &local) && LocalFileTimeToFileTime(&local, ft);
}

bool IsFolder(const std::wstring& path) {
    const DWORD a = GetFileAttributesW(ApiPath(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// Creates a folder with its missing parents; remembers what exists so that
// thousands of files in few folders cost one check per folder.
class Folders {
public:
    bool Ensure(const std::wstring& folder) {
        std::wstring path = folder;
        while (path.size() > 3 && path.back() == L'\\') path.pop_back();
        if (known_.count(path)) return true;
        if (!IsFolder(path)) {
            const size_t cut = path.find_last_of(L'\\');
            if (cut != std::wstring::npos && cut > 2 && !Ensure(path.substr(0, cut))) return false;
            if (CreateDirectoryW(ApiPath(path).c_str(), nullptr)) made_.insert(path + L'\\');
            else if (!IsFolder(path)) return false;
        }
        known_.insert(path);
        return true;
    }
    // A folder that files are written into (ending with a backslash). The
    // first use also removes the temporary files a killed run left there,
    // which nothing else would ever clear away; a folder this run made
    // holds none, and its listing would cost a few wineserver round trips.
    bool Use(const std::wstring& folder) {
        const auto [at, fresh] = used_.insert(folder);
        if (!fresh) return true;
        if (!Ensure(folder)) {
            used_.erase(at);
            return false;
        }
        if (!made_.count(folder)) SweepLeftoverSideFiles(folder);
        return true;
    }

private:
    std::unordered_set<std::wstring> known_, used_, made_;
};

// The extended "\\?\" form takes a path as it stands, without resolving
// ".." or turning '/' into '\\', so the target must be made full first.
bool FullPath(const std::wstring& path, std::wstring* full) {
    const DWORD need = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (need == 0) return false;
    std::wstring buffer(need, L'\0');
    const DWORD got = GetFullPathNameW(path.c_str(), need, &buffer[0], nullptr);
    if (got == 0 || got >= need) return false;
    buffer.resize(got);
    *full = buffer;
    return true;
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

void TZipExtractor::Fail(int code, const std::wstring& text) {
    errorCode_ = code;
    errorText_ = text;
    if (Silent) return;
    if (OnFault)
        OnFault(text);
    else
        MessageBoxW(nullptr, text.c_str(), kAppTitle, MB_OK | MB_ICONERROR);
}

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

void TZipExtractor::SetArchiveName(const std::wstring& name) {
    archiveName_ = name;
    errorCode_ = zipOk;
    errorText_.clear();
    entryCount_ = 0;
    try {
        OpenArchive a(name);
        errorCode_ = a.code;
        errorText_ = a.text;
        entryCount_ = static_cast<int>(a.reader.Entries().size());
    } catch (const std::exception&) {
        errorCode_ = zipInternal;
        errorText_ = L"Das Archiv " + Quoted(name) + L" kann nicht gelesen werden.";
    }
}

// No entry is ever left half written under the name the product loads: a
// new file is marked for removal until whole (PutNew), one that replaces
// an installed file is written into a side file, which the next run sweeps
// should this one be killed. An existing file is kept without
// OverwriteFiles; with it, OnBeforeReplace comes first, then the replace,
// and a file another program holds is left to OnInUse.
TZipExtractor::Put TZipExtractor::PutFile(zipread::Reader& reader, const zipread::Entry& e, const std::wstring& target,
                                          const std::wstring& folder, const std::function<void()>* keepAlive,
                                          bool overwrite, std::exception_ptr* callerError) {
    if (!overwrite) {
        const DWORD attrs = GetFileAttributesW(ApiPath(target).c_str());
        if (attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY)) return Put::Skipped;
    }
    bool taken = false;
    if (overwrite) {
        const Put put = PutNew(reader, e, target, keepAlive, &taken);
        if (put != Put::Skipped) return put;
    }
    TempFile temp;
    if (!temp.Create(folder)) {
        Fail(zipWriteFailed, L"Im Ordner " + Quoted(folder) + L" kann keine Datei angelegt werden.");
        return Put::Stop;
    }
    zipread::Status fault;
    if (!WriteEntry(reader, e, temp.Handle(), keepAlive, &fault)) {
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
    const Put put = ReplaceExisting(temp.Path(), target, Wide(e.name), callerError);
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
TZipExtractor::Put TZipExtractor::PutNew(zipread::Reader& reader, const zipread::Entry& e,
                                         const std::wstring& target, const std::function<void()>* keepAlive,
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
    if (!WriteEntry(reader, e, file.get(), keepAlive, &fault)) {
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

bool TZipExtractor::WriteEntry(zipread::Reader& reader, const zipread::Entry& e, void* file,
                               const std::function<void()>* keepAlive, zipread::Status* fault) {
    FileSink sink(file, keepAlive);
    *fault = reader.Extract(e, sink);
    if (!fault->ok()) return false;
    FILETIME ft;
    if (EntryFileTime(e, &ft)) SetFileTime(file, nullptr, nullptr, &ft);
    if (FlushAbove > 0 && e.uncompressedSize >= FlushAbove) FlushFileBuffers(file);
    return true;
}

void TZipExtractor::FailEntry(const zipread::Status& fault) {
    int code = zipOk;
    const std::wstring text = FaultText(fault, archiveName_, &code, true);
    Fail(code, text);
}

TZipExtractor::Put TZipExtractor::ReplaceExisting(const std::wstring& side, const std::wstring& target,
                                                  const std::wstring& entryName, std::exception_ptr* callerError) {
    const DWORD attrs = GetFileAttributesW(ApiPath(target).c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES || (attrs & FILE_ATTRIBUTE_DIRECTORY)) {
        Fail(zipWriteFailed, L"Die Datei " + Quoted(target) + L" kann nicht geschrieben werden" +
                                 (attrs == INVALID_FILE_ATTRIBUTES ? L"." : L", weil dort ein Ordner liegt."));
        return Put::Stop;
    }
    try {
        if (OnBeforeReplace) OnBeforeReplace(target, entryName);
        const auto move = [&side, &target] { return MoveReplacing(side, target); };
        if (!OnInUse) {
            if (move()) return Put::Written;
        } else {
            switch (ReplaceWhileHeld(move, target, [&] { return OnInUse(target, entryName); })) {
            case HeldReplace::Replaced:
                return Put::Written;
            case HeldReplace::LeftInUse:
                return Put::LeftInUse;
            case HeldReplace::Failed:
                break;
            }
        }
    } catch (...) {
        *callerError = std::current_exception();
        return Put::CallerThrew;
    }
    Fail(zipWriteFailed, L"Die Datei " + Quoted(target) + L" kann nicht ersetzt werden.");
    return Put::Stop;
}

int TZipExtractor::Extract() {
    errorCode_ = zipOk;
    errorText_.clear();
    extractedCount_ = 0;
    leftInUse_ = 0;
    std::exception_ptr callerError;
    try {
        OpenArchive a(archiveName_);
        if (a.code != zipOk) {
            Fail(a.code, a.text);
            return 0;
        }
        const std::vector<zipread::Entry>& entries = a.reader.Entries();
        entryCount_ = static_cast<int>(entries.size());

        std::wstring base;
        const bool create = ExtractOptions & static_cast<unsigned>(ExtractOption::CreateFolders);
        const std::wstring noTarget = L"Der Zielordner " + Quoted(ExtractFolder) +
                                      (create ? L" kann nicht angelegt werden." : L" existiert nicht.");
        if (ExtractFolder.empty() || !FullPath(ExtractFolder, &base)) {
            Fail(zipTargetFolder, noTarget);
            return 0;
        }
        if (base.back() != L'\\') base += L'\\';

        // Refusals that concern the archive as a whole come before anything
        // is created, so a refused archive leaves the target as it was.
        if (!ProtectedPrefix.empty()) {
            if (const zipread::Entry* bad = IntoProtected(entries, base, ProtectedPrefix)) {
                zipread::Status s;
                s.fault = Fault::UnsafeName;
                s.entry = bad->name;
                int code = zipOk;
                const std::wstring text = FaultText(s, archiveName_, &code);
                Fail(code, text);
                return 0;
            }
        }
        const std::wstring noRoom = zipspace::NoRoomText(entries, base, archiveName_);
        if (!noRoom.empty()) {
            Fail(zipNoSpace, noRoom);
            return 0;
        }

        Folders folders;
        if (!(create ? folders.Ensure(base) : IsFolder(base))) {
            Fail(zipTargetFolder, noTarget);
            return 0;
        }
        // Copied, so that a call which replaces KeepAlive does not destroy
        // the function while it runs; null when there is nothing to call.
        const std::function<void()> keepAliveCopy = KeepAlive;
        const std::function<void()>* keepAlive = keepAliveCopy ? &keepAliveCopy : nullptr;
        const bool keepFolders = ExtractOptions & static_cast<unsigned>(ExtractOption::KeepFolderNames);
        const bool overwrite = ExtractOptions & static_cast<unsigned>(ExtractOption::OverwriteFiles);

        for (const zipread::Entry& e : entries) {
            if (keepAlive) (*keepAlive)();
            std::wstring rel = Backslashed(Wide(e.name));
            if (e.isDirectory) {
                if (keepFolders && !folders.Ensure(base + rel)) {
                    Fail(zipWriteFailed, L"Der Ordner " + Quoted(base + rel) + L" kann nicht angelegt werden.");
                    return extractedCount_;
                }
                continue;
            }
            if (!keepFolders) rel = rel.substr(rel.find_last_of(L'\\') + 1);
            const std::wstring target = base + rel;
            const std::wstring folder = target.substr(0, target.find_last_of(L'\\') + 1);
            if (!folders.Use(folder)) {
                Fail(zipWriteFailed, L"Der Ordner " + Quoted(folder) + L" kann nicht angelegt werden.");
                return extractedCount_;
            }
            const Put put = PutFile(a.reader, e, target, folder, keepAlive, overwrite, &callerError);
            if (put == Put::Stop) return extractedCount_;
            if (put == Put::CallerThrew) break;
            if (put == Put::Written) ++extractedCount_;
            if (put == Put::LeftInUse) ++leftInUse_;
        }
    } catch (const std::bad_alloc&) {
        Fail(zipInternal, L"Zum Entpacken des Archivs " + Quoted(archiveName_) + L" reicht der Speicher nicht.");
    } catch (const std::exception&) {
        Fail(zipInternal, L"Beim Entpacken des Archivs " + Quoted(archiveName_) + L" ist ein Fehler aufgetreten.");
    }
    if (callerError) std::rethrow_exception(callerError);
    return extractedCount_;
}
