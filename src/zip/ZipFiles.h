#pragma once
// The archive component's files on disk: the archive read through a
// handle, entries written into a handle, side files, folders made once,
// and the rename and remove-on-close marks set through ntdll.
#include <windows.h>

#include <cstdint>
#include <string>
#include <unordered_set>

#include "net/SideFiles.h"
#include "sys/Dateien.h"
#include "sys/Handles.h"
#include "zip/ZipExtractor.h"
#include "zip/ZipReader.h"

namespace zipfiles {

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
    FileSink(HANDLE file, ExtractEvents& events) : file_(file), events_(events) {}
    bool Write(const void* data, size_t n) override {
        // The reader hands over at most its 64 KiB buffer per call.
        events_.KeepAlive();
        return WriteAll(file_, data, n) == ERROR_SUCCESS;
    }

private:
    HANDLE file_;
    ExtractEvents& events_;
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

enum class Rename { Done, Taken, NotPossible };

// Gives the still open side file its final name when no file of that name
// exists. Renaming through the handle costs one system call, where
// MoveFileExW opens the file by name again; with thousands of small files
// under Wine that is most of the difference to a plain write. NotPossible
// (no such call, a path it cannot take): the caller falls back to
// MoveFileExW.
Rename RenameNew(HANDLE file, const std::wstring& target);

// Marks an open file to be removed when its last handle closes, or takes
// the mark back.
bool SetRemoveOnClose(HANDLE file, bool remove);

// The entry's modification time as a FILETIME (UTC).
bool EntryFileTime(const zipread::Entry& e, FILETIME* ft);

bool IsFolder(const std::wstring& path);

// Creates a folder with its missing parents; remembers what exists so that
// thousands of files in few folders cost one check per folder.
class Folders {
public:
    bool Ensure(const std::wstring& folder);
    // A folder that files are written into (ending with a backslash). The
    // first use also removes the temporary files a killed run left there,
    // which nothing else would ever clear away; a folder this run made
    // holds none, and its listing would cost a few wineserver round trips.
    bool Use(const std::wstring& folder);

private:
    std::unordered_set<std::wstring> known_, used_, made_;
};

// The extended "\\?\" form takes a path as it stands, without resolving
// ".." or turning '/' into '\\', so the target must be made full first.
bool FullPath(const std::wstring& path, std::wstring* full);

}  // namespace zipfiles
