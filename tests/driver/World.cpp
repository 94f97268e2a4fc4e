#include "World.h"

#include <shlwapi.h>

#include <cstdio>

#include "support/TestSupport.h"

namespace uidriver {

// ---- helpers ----------------------------------------------------------------

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = bytes.empty() ||
                    (WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                     written == bytes.size());
    CloseHandle(h);
    return ok;
}

bool ReadBytes(const std::wstring& path, std::string* bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    bytes->clear();
    char block[65536];
    DWORD got = 0;
    while (ReadFile(h, block, sizeof block, &got, nullptr) && got > 0) bytes->append(block, got);
    CloseHandle(h);
    return true;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void MakeFolders(const std::wstring& folder) {
    for (size_t at = folder.find(L'\\', 3); at != std::wstring::npos; at = folder.find(L'\\', at + 1))
        CreateDirectoryW(folder.substr(0, at).c_str(), nullptr);
    CreateDirectoryW(folder.c_str(), nullptr);
}

void DeleteKeyTree(HKEY root, const std::wstring& key) { SHDeleteKeyW(root, key.c_str()); }

namespace {

std::string Encode(UINT cp, const std::wstring& s) {
    if (s.empty()) return std::string();
    const int n = WideCharToMultiByte(cp, 0, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(cp, 0, s.data(), static_cast<int>(s.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring Decode(UINT cp, const std::string& s) {
    if (s.empty()) return std::wstring();
    const int n = MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), &out[0], n);
    return out;
}

void SnapshotInto(const std::wstring& folder, const std::wstring& rel, std::map<std::wstring, std::string>* out) {
    WIN32_FIND_DATAW fd;
    HANDLE f = FindFirstFileW((folder + rel + L"*").c_str(), &fd);
    if (f == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring n = fd.cFileName;
        if (n == L"." || n == L"..") continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            SnapshotInto(folder, rel + n + L"\\", out);
        } else {
            std::string bytes;
            ReadBytes(folder + rel + n, &bytes);
            (*out)[rel + n] = bytes;
        }
    } while (FindNextFileW(f, &fd));
    FindClose(f);
}

const wchar_t kShellFolders[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
// Wine looks file types up in the machine's classes only.
const wchar_t kTxtKey[] = L"Software\\Classes\\.txt";
const wchar_t kViewerKey[] = L"Software\\Classes\\utest.e2eviewer";
const HKEY kClassesRoot = HKEY_LOCAL_MACHINE;

}  // namespace

std::string ToUtf8(const std::wstring& s) { return Encode(CP_UTF8, s); }
std::wstring FromUtf8(const std::string& s) { return Decode(CP_UTF8, s); }
std::string ToAnsi(const std::wstring& s) { return Encode(CP_ACP, s); }
std::wstring FromAnsi(const std::string& s) { return Decode(CP_ACP, s); }

std::map<std::wstring, std::string> Snapshot(const std::wstring& folder) {
    std::map<std::wstring, std::string> files;
    SnapshotInto(folder, L"", &files);
    return files;
}

std::vector<std::wstring> FoldersStartingWith(const std::wstring& folder, const std::wstring& prefix) {
    std::vector<std::wstring> found;
    WIN32_FIND_DATAW fd;
    HANDLE f = FindFirstFileW((folder + prefix + L"*").c_str(), &fd);
    if (f == INVALID_HANDLE_VALUE) return found;
    do {
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) found.push_back(folder + fd.cFileName + L"\\");
    } while (FindNextFileW(f, &fd));
    FindClose(f);
    return found;
}

// ---- World ------------------------------------------------------------------

World::World(unsigned httpPort, unsigned ftpPort, std::wstring catalogue)
    : catalogue_(std::move(catalogue)), http_(httpPort), ftp_(ftpPort) {
    static int counter = 0;
    CreateDirectoryW(L"C:\\utest", nullptr);
    wchar_t name[80];
    swprintf(name, 80, L"C:\\utest\\e2e_%lu_%d\\", GetCurrentProcessId(), ++counter);
    root_ = name;
    testsupport::RemoveTree(root_);
    MakeFolders(root_ + L"Talvero");
    hadCommonAppData_ = testsupport::RegGet(HKEY_LOCAL_MACHINE,
            kShellFolders, L"Common AppData", &savedCommonAppData_);
    testsupport::RegSet(HKEY_LOCAL_MACHINE, kShellFolders, L"Common AppData", root_.substr(0, root_.size() - 1));
    DeleteKeyTree(HKEY_CURRENT_USER, L"SOFTWARE\\Talvero");
}

World::~World() {
    for (const std::wstring& p : published_) DeleteFileW(p.c_str());
    if (viewer_) {
        DeleteKeyTree(kClassesRoot, kViewerKey);
        if (hadTxt_)
            testsupport::RegSet(kClassesRoot, kTxtKey, L"", savedTxt_);
        else
            DeleteKeyTree(kClassesRoot, kTxtKey);
    }
    DeleteKeyTree(HKEY_CURRENT_USER, L"SOFTWARE\\Talvero");
    if (hadCommonAppData_) testsupport::RegSet(HKEY_LOCAL_MACHINE,
            kShellFolders, L"Common AppData", savedCommonAppData_);
    testsupport::RemoveTree(root_);
}

void World::InstallProducts() {
    for (const std::wstring& f : {Mirado19(), Miradopro19(), Mirados19(), Norvix19(), Mirado19Iec(),
                                  Miradopro19Iec(), SymbolFolder(), Qon5Catalogue(),
                                  root_ + L"Talvero\\Mirados2019\\Vorlagen\\"})
        MakeFolders(f);
    testsupport::RegSet(HKEY_CURRENT_USER, kSettingsKey, L"Mirado19 Dir", Mirado19());
    testsupport::RegSet(HKEY_CURRENT_USER, kSettingsKey, L"Miradopro19 Dir", Miradopro19());
    testsupport::RegSet(HKEY_CURRENT_USER, kSettingsKey, L"Mirados19 Dir", Mirados19());
    testsupport::RegSet(HKEY_CURRENT_USER, kSettingsKey, L"norvix19 Dir", Norvix19());
    testsupport::RegSet(HKEY_CURRENT_USER, L"SOFTWARE\\Talvero\\Mirado19\\Settings", L"Profiles Dir",
             root_ + L"Talvero\\Mirado19\\Profiles\\");
    testsupport::RegSet(HKEY_CURRENT_USER, L"SOFTWARE\\Talvero\\Miradopro19\\Settings", L"Profiles Dir",
             root_ + L"Talvero\\Miradopro19\\Profiles\\");
    testsupport::RegSet(HKEY_CURRENT_USER, L"SOFTWARE\\Talvero\\Mirados19\\Settings", L"Symbol Dir", SymbolFolder());
    testsupport::RegSet(HKEY_CURRENT_USER, L"SOFTWARE\\Talvero\\Mirados19\\Settings", L"Vorlage Dir",
             root_ + L"Talvero\\Mirados2019\\Vorlagen\\norm.dwt");
    WriteBytes(Norvix19() + L"norvix4.cfg",
               ToAnsi(L"[Path]\r\nCatalog_Qon5=" + Qon5Catalogue() + L"\r\nCatalog_QonPage=\r\n"));
}

void World::PointAtServer() { PointAtServer(http_, ftp_); }

void World::PointAtServer(unsigned httpPort, unsigned ftpPort) {
    testsupport::RegSet(HKEY_CURRENT_USER, kSettingsKey, L"Update Host", L"127.0.0.1:" + std::to_wstring(httpPort));
    testsupport::RegSet(HKEY_CURRENT_USER, kSettingsKey, L"FTP Host", L"127.0.0.1");
    testsupport::RegSet(HKEY_CURRENT_USER, kSettingsKey, L"FTP Port", std::to_wstring(ftpPort));
}

void World::SetCustomer(const std::vector<std::wstring>& six) {
    const wchar_t* names[] = {L"Firma", L"Ort", L"User", L"PC", L"Telefon", L"E-Mail"};
    for (size_t i = 0; i < 6 && i < six.size(); ++i) testsupport::RegSet(HKEY_CURRENT_USER,
            kSettingsKey, names[i], six[i]);
}

std::wstring World::Setting(const std::wstring& name) const {
    std::wstring v;
    return testsupport::RegGet(HKEY_CURRENT_USER, kSettingsKey, name, &v) ? v : L"<none>";
}

// The copy gets its final name only once complete, so a look while copy is
// still writing never takes part of the log for what the viewer was given.
void World::HarmlessTextViewer() {
    if (!viewer_) hadTxt_ = testsupport::RegGet(kClassesRoot, kTxtKey, L"", &savedTxt_);
    viewer_ = true;
    testsupport::RegSet(kClassesRoot, kTxtKey, L"", L"utest.e2eviewer");
    testsupport::RegSet(kClassesRoot, std::wstring(kViewerKey) + L"\\shell\\open\\command", L"",
             L"cmd.exe /c copy /y \"%1\" \"" + OpenedCopy() + L".part\" && move /y \"" + OpenedCopy() +
                 L".part\" \"" + OpenedCopy() + L"\"");
}

void World::Publish(const std::wstring& relative, const std::string& bytes) {
    const std::wstring path = catalogue_ + relative;
    WriteBytes(path, bytes);
    published_.push_back(path);
}

void World::PublishList(const std::wstring& text) {
    std::wstring crlf;
    for (wchar_t c : text) {
        if (c == L'\n') crlf += L'\r';
        crlf += c;
    }
    Publish(L"update19.txt", ToAnsi(crlf));
}

std::wstring World::LogPath() const {
    // Dated in the user's short date format, which the wizard shares with
    // this process; a character no file name can hold (the slashes of
    // M/d/yyyy) stands as a dot.
    wchar_t date[64] = L"";
    GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date, 64);
    for (wchar_t* c = date; *c; ++c)
        if (wcschr(L"\\/:*?\"<>|", *c)) *c = L'.';
    return UpdatesFolder() + L"Download " + date + L" .txt";
}

}  // namespace uidriver
