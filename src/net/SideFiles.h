#pragma once
// Files that stand in for a target until they are complete: a fetch or an
// extraction writes into a file of its own beside the target (same folder,
// so the final move is a rename) and moves it into place only when it is
// whole. The names carry the writing process's id, so a later run can tell
// what a killed run left behind from what is being written right now.
#include <windows.h>
#include <string>

// A new, empty file "~<tag><pid>_<n>.tmp" in folder (which ends with a
// backslash or is empty for the current folder), opened with the given
// access and no sharing. Returns INVALID_HANDLE_VALUE when none can be made;
// *path receives the name. Long paths get the extended form.
HANDLE CreateSideFile(const std::wstring& folder, const wchar_t* tag, DWORD access, std::wstring* path);

// Removes side files that other processes left in folder ("~upd*.tmp" and
// "~zip*.tmp" whose process id is not this process's). Files still open
// elsewhere stay; nothing else in the folder is touched.
void SweepLeftoverSideFiles(const std::wstring& folder);

// The extended "\\?\" form for paths near MAX_PATH; path must be full.
std::wstring ApiPath(const std::wstring& path);

// Moves the closed file from over dest, a read-only dest too (an update
// replaces a file that arrived read-only, from a CD say; the mark comes
// back if the move fails). Both paths full; the last error says why not.
bool MoveReplacing(const std::wstring& from, const std::wstring& dest);

// A side file for one destination, removed unless it was moved into place
// or handed to someone else.
class SideFile {
public:
    // Makes the file in dest's folder; path() is empty when that failed.
    explicit SideFile(const std::wstring& dest, DWORD access = GENERIC_WRITE);
    ~SideFile();
    SideFile(const SideFile&) = delete;
    SideFile& operator=(const SideFile&) = delete;

    const std::wstring& path() const noexcept { return path_; }
    // Open while the owner writes through it; INVALID_HANDLE_VALUE after Close.
    HANDLE handle() const noexcept { return file_; }
    // False when closing reported an error (the data may not be on disk).
    bool Close();
    // Replaces dest (a read-only dest too) by the closed side file; the last
    // error says why not.
    bool MoveOver(const std::wstring& dest);
    // Someone else removes the file from now on.
    void Release() noexcept { path_.clear(); }

private:
    HANDLE file_ = INVALID_HANDLE_VALUE;
    std::wstring path_;
};
