#include "sys/Dateien.h"

namespace {

bool IsAsciiLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// Only "X:\..." paths are built as chains. Taking the first two characters
// of anything else as a drive would create folders relative to wherever the
// program was started (an empty profiles folder gives such a path).
bool StartsWithDrive(const std::wstring& path) {
    return path.size() >= 3 && IsAsciiLetter(path[0]) && path[1] == L':' && path[2] == L'\\';
}

}  // namespace

bool ForceFolderChain(const std::wstring& path) {
    std::wstring rest = path;
    if (rest.empty() || rest.back() != L'\\') rest += L'\\';
    if (!StartsWithDrive(rest)) return false;
    std::wstring built = rest.substr(0, 2);
    rest.erase(0, 3);
    while (!rest.empty()) {
        const size_t cut = rest.find(L'\\');
        built += L'\\';
        built += rest.substr(0, cut);
        rest.erase(0, cut == std::wstring::npos ? cut : cut + 1);
        // A folder that is already there is what most calls meet; the chain
        // goes on. Anything else (no rights, a bad name) stops it, and the
        // folders made so far stay: removing them could hit someone's files.
        if (!CreateDirectoryW(built.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    }
    return true;
}

bool FolderExists(const std::wstring& path) {
    const DWORD attr = GetFileAttributesW(path.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool FileExists(const std::wstring& path) {
    const DWORD attr = GetFileAttributesW(path.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::wstring IoErrorText(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND: return L"Datei nicht gefunden";
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME: return L"Ungültiger Dateiname";
        case ERROR_TOO_MANY_OPEN_FILES: return L"Zu viele geöffnete Dateien";
        case ERROR_ACCESS_DENIED: return L"Dateizugriff verweigert";
        case ERROR_HANDLE_EOF: return L"Lesefehler über Dateiende hinaus";
        case ERROR_HANDLE_DISK_FULL:
        case ERROR_DISK_FULL: return L"Festplatte voll";
        default: return L"E/A-Fehler " + std::to_wstring(code);
    }
}

void RaiseIoError(DWORD code) { throw UpdateError(IoErrorText(code)); }

DWORD WriteAll(HANDLE file, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        // One call takes a DWORD's worth at most.
        const DWORD want = static_cast<DWORD>(size > (1u << 30) ? (1u << 30) : size);
        DWORD done = 0;
        if (!WriteFile(file, p, want, &done, nullptr)) {
            // A failed write must never read as success.
            const DWORD error = GetLastError();
            return error != ERROR_SUCCESS ? error : ERROR_WRITE_FAULT;
        }
        if (done == 0) return ERROR_DISK_FULL;
        p += done;
        size -= done;
    }
    return ERROR_SUCCESS;
}

std::wstring ExtractFilePath(const std::wstring& path) {
    const size_t last = path.find_last_of(L"\\:");
    return last == std::wstring::npos ? std::wstring() : path.substr(0, last + 1);
}

std::string ToAnsi(const std::wstring& text) {
    if (text.empty()) return std::string();
    const int len = static_cast<int>(text.size());
    const int n = WideCharToMultiByte(CP_ACP, 0, text.data(), len, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), len, &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring FromAnsi(const std::string& text) {
    if (text.empty()) return std::wstring();
    const int len = static_cast<int>(text.size());
    const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), len, nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), len, &out[0], n);
    return out;
}
