#pragma once
// A computer on which the Mirado products are installed, made up inside the
// shared Wine prefix for one scenario: its own application-data root (the
// machine's "Common AppData" points there while it lives), program folders,
// the product settings under HKCU\SOFTWARE\Talvero, the local update server
// as the update host, and a harmless program for opening text files. The
// destructor puts everything back.
#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace uidriver {

// ---- plain file and registry helpers (nothing of the program under test) ----
bool WriteBytes(const std::wstring& path, const std::string& bytes);
bool ReadBytes(const std::wstring& path, std::string* bytes);
bool Exists(const std::wstring& path);
void MakeFolders(const std::wstring& folder);  // the whole chain
void DeleteKeyTree(HKEY root, const std::wstring& key);
std::string ToUtf8(const std::wstring& s);
std::wstring FromUtf8(const std::string& s);
std::string ToAnsi(const std::wstring& s);
std::wstring FromAnsi(const std::string& s);
// Every file below folder: path relative to it -> content.
std::map<std::wstring, std::string> Snapshot(const std::wstring& folder);
// Folders below folder whose name starts with prefix (full paths, trailing backslash).
std::vector<std::wstring> FoldersStartingWith(const std::wstring& folder, const std::wstring& prefix);

inline constexpr const wchar_t* kSettingsKey = L"SOFTWARE\\Talvero\\CAD\\Settings";

class World {
public:
    // catalogue: the update server's catalogue folder (as Windows sees it),
    // with a trailing backslash.
    World(unsigned httpPort, unsigned ftpPort, std::wstring catalogue);
    ~World();
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    // The application-data root, e.g. C:\utest\e2e_12_1\ (trailing backslash).
    const std::wstring& Root() const { return root_; }
    std::wstring WorkFolder() const { return root_ + L"talvero\\temp\\"; }
    std::wstring UpdatesFolder() const { return WorkFolder() + L"Updates\\"; }

    // Program folders and data folders of the installed products.
    std::wstring Mirado19() const { return root_ + L"Programme\\Talvero\\Mirado19\\"; }
    std::wstring Miradopro19() const { return root_ + L"Programme\\Talvero\\Miradopro19\\"; }
    std::wstring Mirados19() const { return root_ + L"Programme\\Talvero\\Mirados19\\"; }
    std::wstring Norvix19() const { return root_ + L"Programme\\Talvero\\norvix19\\"; }
    std::wstring Mirado19Iec() const { return root_ + L"Talvero\\Mirado19\\Profiles\\qon_iec\\"; }
    std::wstring Miradopro19Iec() const { return root_ + L"Talvero\\Miradopro19\\Profiles\\qon_iec\\"; }
    std::wstring ProFolder() const { return root_ + L"talvero\\Miradopro19\\"; }
    std::wstring SymbolFolder() const { return root_ + L"Talvero\\Mirados2019\\Symbole\\"; }
    std::wstring Qon5Catalogue() const { return root_ + L"Kataloge\\Qon5\\"; }

    // Registers and creates the four products (program folders, profiles,
    // symbols, templates, norvix4.cfg).
    void InstallProducts();
    // The update server as web and FTP host.
    void PointAtServer();
    void PointAtServer(unsigned httpPort, unsigned ftpPort);
    // The six customer values as a returning user has them.
    void SetCustomer(const std::vector<std::wstring>& six);
    std::wstring Setting(const std::wstring& name) const;  // "<none>" when missing

    // Text files open with a program that copies the file to OpenedCopy()
    // and ends at once.
    void HarmlessTextViewer();
    std::wstring OpenedCopy() const { return root_ + L"opened.txt"; }

    // Files put into the server catalogue, removed at the end.
    void Publish(const std::wstring& relative, const std::string& bytes);
    void PublishList(const std::wstring& text);  // update19.txt in the ANSI code page, CR LF

    // The download log the run writes today.
    std::wstring LogPath() const;

private:
    std::wstring root_;
    std::wstring catalogue_;
    unsigned http_, ftp_;
    std::wstring savedCommonAppData_;
    bool hadCommonAppData_ = false;
    bool viewer_ = false;
    std::wstring savedTxt_;
    bool hadTxt_ = false;
    std::vector<std::wstring> published_;
};

}  // namespace uidriver
