#include "internet.h"

#include <commctrl.h>
#include <shellapi.h>
#include <urlmon.h>
#include <wininet.h>

#include <climits>
#include <cstdio>

#include "Dateien.h"
#include "Handles.h"
#include "Ini.h"
#include "Reg.h"
#include "main.h"
#include "Variable.h"
#include "WinSystem.h"
#include "SideFiles.h"
#include "Text.h"
#include "zip/ZipReader.h"

// ---- work folder ----

std::wstring GetWorkFolder() {
    std::wstring folder = AppDataRoot + L"talvero\\temp\\";
    if (!FolderExists(folder)) ForceFolderChain(folder);
    return folder;
}

// ---- update descriptor and target folders ----

namespace {
namespace descriptor {

// Values longer than this are not folder or file names but damage; they are
// cut off rather than grown without end.
constexpr size_t kMaxValueChars = 1u << 20;

// A whole decimal integer with an optional sign that fits 32 bits, or nothing.
bool ParseInteger(const std::wstring& text, long long* value) {
    size_t i = (!text.empty() && (text[0] == L'+' || text[0] == L'-')) ? 1 : 0;
    if (i == text.size()) return false;
    long long v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < L'0' || text[i] > L'9') return false;
        v = v * 10 + (text[i] - L'0');
        if (v > 0x80000000LL) return false;
    }
    v = (text[0] == L'-') ? -v : v;
    if (v > 0x7FFFFFFFLL) return false;
    *value = v;
    return true;
}

// The sibling product keeps its catalogue folders in its own configuration
// file; a missing key is added empty so the product's users see where to
// set it.
std::wstring CatalogueFolder(const wchar_t* key) {
    return ReadIniValueOrInit(L"Path", key, std::wstring(), GetNorvix19Folder() + L"norvix4.cfg");
}

std::wstring DataTemp() { return DataTempFolder; }
std::wstring ProData() { return ProFolder; }
std::wstring StdData() { return StdFolder; }
std::wstring CatalogQon5() { return CatalogueFolder(L"Catalog_Qon5"); }
std::wstring CatalogQonPage() { return CatalogueFolder(L"Catalog_QonPage"); }

struct TargetRow {
    const wchar_t* product;
    const wchar_t* keyword;  // compared after upper-casing both sides
    std::wstring (*base)();
    const wchar_t* suffix;
};

// The first matching row wins. Note the data folders: the standard product
// shares the updater's "talvero\temp\" folder, the pro product has its own,
// and the s product keeps help and dialogs in its program folder.
const TargetRow kTargetRows[] = {
    {L"MIRADO19", L"", GetMirado19Folder, L""},
    {L"MIRADO19", L"PROFIL", GetMirado19IecFolder, L""},
    {L"MIRADO19", L"PROFILES", GetMirado19ProfilesFolder, L""},
    {L"MIRADO19", L"SYMBOLE", GetMirado19IecFolder, L"Symbole\\"},
    {L"MIRADO19", L"TEMPLATE", GetMirado19IecFolder, L"Template\\"},
    {L"MIRADO19", L"BMP", GetMirado19IecFolder, L"BMP\\"},
    {L"MIRADO19", L"LAYERS", GetMirado19IecFolder, L"Layers\\"},
    {L"MIRADO19", L"DAT", DataTemp, L"Dat\\"},
    {L"MIRADO19", L"HELP", DataTemp, L"Help\\"},
    {L"MIRADO19", L"DIALOG", DataTemp, L"dialog\\"},
    {L"MIRADO19", L"APPDATA", DataTemp, L""},
    {L"MIRADO19", L"MENU", GetMenuFolder, L""},

    {L"MIRADOPRO19", L"", GetMiradopro19Folder, L""},
    {L"MIRADOPRO19", L"X86", GetMiradopro19Folder, L"X86\\"},
    {L"MIRADOPRO19", L"X64", GetMiradopro19Folder, L"X64\\"},
    {L"MIRADOPRO19", L"PROFIL", GetMiradopro19IecFolder, L""},
    {L"MIRADOPRO19", L"PROFILES", GetMiradopro19ProfilesFolder, L""},
    {L"MIRADOPRO19", L"SYMBOLE", GetMiradopro19IecFolder, L"Symbole\\"},
    {L"MIRADOPRO19", L"TEMPLATE", GetMiradopro19IecFolder, L"Template\\"},
    {L"MIRADOPRO19", L"BMP", GetMiradopro19IecFolder, L"BMP\\"},
    {L"MIRADOPRO19", L"LAYERS", GetMiradopro19IecFolder, L"Layers\\"},
    {L"MIRADOPRO19", L"DAT", ProData, L"Dat\\"},
    {L"MIRADOPRO19", L"HELP", ProData, L"Help\\"},
    {L"MIRADOPRO19", L"DIALOG", ProData, L"dialog\\"},
    {L"MIRADOPRO19", L"APPDATA", ProData, L""},

    {L"MIRADOS19", L"", GetMirados19Folder, L""},
    {L"MIRADOS19", L"SYMBOLE", GetSymbolFolder, L""},
    {L"MIRADOS19", L"BMP", GetMirados19Folder, L"BMP\\"},
    {L"MIRADOS19", L"TEMPLATE", GetTemplateFolder, L""},
    {L"MIRADOS19", L"HELP", GetMirados19Folder, L"Help\\"},
    {L"MIRADOS19", L"DIALOG", GetMirados19Folder, L"dialog\\"},
    {L"MIRADOS19", L"APPDATA", StdData, L""},

    {L"NORVIX19", L"", GetNorvix19Folder, L""},
    {L"NORVIX19", L"BMP", GetNorvix19Folder, L"BMP\\"},
    {L"NORVIX19", L"Catalog_Qon5", CatalogQon5, L""},
    {L"NORVIX19", L"Catalog_Qon5_Block", CatalogQon5, L"Block\\"},
    {L"NORVIX19", L"Catalog_Qon5_Device", CatalogQon5, L"Device\\"},
    {L"NORVIX19", L"Catalog_Qon5_Macro", CatalogQon5, L"Macro\\"},
    {L"NORVIX19", L"Catalog_Qon5_WMF", CatalogQon5, L"WMF\\"},
    {L"NORVIX19", L"Catalog_QonPage", CatalogQonPage, L""},
    {L"NORVIX19", L"Catalog_QonPage_Block", CatalogQonPage, L"Block\\"},
    {L"NORVIX19", L"Catalog_QonPage_Device", CatalogQonPage, L"Device\\"},
    {L"NORVIX19", L"Catalog_QonPage_Macro", CatalogQonPage, L"Macro\\"},
    {L"NORVIX19", L"Catalog_QonPage_WMF", CatalogQonPage, L"WMF\\"},
};

}  // namespace descriptor
}  // namespace

std::wstring EntryNumberText(int n) {
    wchar_t text[16];
    swprintf(text, 16, L"%03d", n);
    return text;
}

std::wstring FtpFileName(const std::wstring& serverName) {
    const size_t n = serverName.size();
    if (n < 3 || Upper(serverName.substr(n - 3)) != L"PRG") return serverName;
    return serverName.substr(0, n - 3) + L"EXE";
}

bool IsPlainFileName(const std::wstring& name) {
    if (name.empty()) return false;
    for (const wchar_t c : name)
        if (IsForbiddenInFileName(c)) return false;
    // Windows drops trailing dots and blanks, so "x." would land on "x" and
    // "." or ".." on a folder itself.
    if (name.back() == L'.' || name.back() == L' ') return false;
    return !zipread::IsDeviceName(std::u16string(name.begin(), name.end()));
}

bool IsSafeLocalName(const std::wstring& name) {
    if (name.empty() || name.back() == L'\\' || name.back() == L'/') return false;
    if (zipread::UnsafeNameReason(std::u16string(name.begin(), name.end())) != nullptr) return false;
    // No part may lead into a backup folder of the run.
    size_t start = 0;
    while (start < name.size()) {
        size_t stop = name.find_first_of(L"\\/", start);
        if (stop == std::wstring::npos) stop = name.size();
        if (StartsWithBackupPrefix(name.substr(start, stop - start))) return false;
        start = stop + 1;
    }
    return true;
}

bool StartsWithBackupPrefix(const std::wstring& part) {
    static const std::wstring prefix = kBackupPrefix;
    if (part.size() < prefix.size()) return false;
    return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, part.c_str(), static_cast<int>(prefix.size()),
                          prefix.c_str(), static_cast<int>(prefix.size())) == CSTR_EQUAL;
}

std::wstring RefusedEntryLine(const FileEntry& entry) {
    return L"Datei " + entry.F + L" nicht übernommen: \"" + entry.N + L"\" ist kein zulässiger Dateiname";
}

std::wstring UpdateDescriptor::ReadText(const std::wstring& section, const std::wstring& key,
                                        const std::wstring& defaultValue) const {
    std::vector<wchar_t> buf(512);
    for (;;) {
        const DWORD size = static_cast<DWORD>(buf.size());
        const DWORD n = GetPrivateProfileStringW(section.c_str(), key.c_str(), defaultValue.c_str(), buf.data(), size,
                                                 fileName_.c_str());
        // A value that fills the buffer to the last place may have been cut.
        if (n + 1 < size || buf.size() >= descriptor::kMaxValueChars) return std::wstring(buf.data(), n);
        buf.resize(buf.size() * 2);
    }
}

bool UpdateDescriptor::ReadFlag(const std::wstring& section, const std::wstring& key, bool defaultValue) const {
    long long value = 0;
    if (!descriptor::ParseInteger(ReadText(section, key), &value)) return defaultValue;
    return value != 0;
}

std::wstring UpdateDescriptor::Product(const std::wstring& section) const {
    return Upper(ReadText(section, L"Prg"));
}

FileEntry UpdateDescriptor::Entry(const std::wstring& section, int n) const {
    const std::wstring nnn = EntryNumberText(n);
    FileEntry e;
    e.number = n;
    e.F = ReadText(section, L"File" + nnn);
    if (e.F.empty()) return e;
    e.FtpName = FtpFileName(e.F);
    e.R = ReadFlag(section, L"Repl" + nnn, true);
    e.O = ReadFlag(section, L"Open" + nnn, false);
    e.N = ReadText(section, L"Name" + nnn);
    e.Path = ReadText(section, L"Path" + nnn);
    e.refused = !IsSafeLocalName(e.N);
    return e;
}

std::vector<FileEntry> UpdateDescriptor::Entries(const std::wstring& section) const {
    std::vector<FileEntry> entries;
    for (int n = 1; n <= kMaxFileEntries; ++n) {
        FileEntry e = Entry(section, n);
        if (e.F.empty()) break;
        entries.push_back(std::move(e));
    }
    return entries;
}

std::wstring ResolveTargetFolder(const std::wstring& product, const std::wstring& pathValue) {
    const std::wstring p = Upper(product);
    const std::wstring v = Upper(pathValue);
    for (const descriptor::TargetRow& row : descriptor::kTargetRows)
        if (p == row.product && v == Upper(row.keyword)) return row.base() + row.suffix;
    // Anything the tables do not know is a folder of its own; an empty one
    // leaves the file relative to the current folder.
    return v;
}


// ---- install run and download log ----

namespace {
namespace install {

constexpr const wchar_t* kFtpUser = L"58213_upd";
constexpr const wchar_t* kFtpPassword = L"6184270";
constexpr const wchar_t* kServerFolder = L"lupd19/";
constexpr uint16_t kDefaultFtpPort = 21;

std::wstring UpdatesFolder() { return WorkFolder + L"Updates\\"; }

// "_History 20261207-090503": one name for every backup folder of a run.
std::wstring HistorySuffix(const SYSTEMTIME& t) {
    wchar_t text[40];
    swprintf(text, 40, L"_History %04u%02u%02u-%02u%02u%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
             t.wSecond);
    return text;
}

// A port is a whole decimal number from 1 to 65535; anything else would
// connect somewhere nobody meant.
bool ParsePort(const std::wstring& text, uint16_t* port) {
    const std::wstring digits = Trimmed(text, [](wchar_t c) { return c == L' '; });
    if (digits.empty()) return false;
    unsigned long value = 0;
    for (const wchar_t c : digits) {
        if (c < L'0' || c > L'9') return false;
        value = value * 10 + static_cast<unsigned long>(c - L'0');
        if (value > 65535) return false;
    }
    if (value == 0) return false;
    *port = static_cast<uint16_t>(value);
    return true;
}

// The backup and updates folders are made one level deep: their parent was
// made just before, so a failure here is a real fault of the disk.
void CreateOneLevel(const std::wstring& folder) {
    if (FolderExists(folder)) return;
    if (!CreateDirectoryW(folder.c_str(), nullptr)) RaiseIoError(GetLastError());
}

void AddLine(const std::wstring& text) { ListAdd(frmMain->lstAnw, text); }

std::wstring NotFetchedLine(const FileEntry& e) { return Upper(e.N) + L" konnte nicht geladen werden"; }

// The archive engine would be loaded from the updated product's program
// folder. The lookups store their defaults, which is what users see in
// the registry afterwards.
std::wstring EngineFolderOf(const std::wstring& product) {
    if (product == L"MIRADOPRO19") return GetMiradopro19Folder();
    if (product == L"MIRADOS19") return GetMirados19Folder();
    if (product == L"NORVIX19") return GetNorvix19Folder();
    return GetMirado19Folder();
}

bool StartsWithNoCase(const std::wstring& text, const std::wstring& prefix) {
    return text.size() >= prefix.size() && Upper(text.substr(0, prefix.size())) == Upper(prefix);
}

// The copy of an installed file in the run's backup folder, under its
// folder relative to the target. The copy made first in a run holds the
// state before the run and stays. False when no copy could be made (disk
// full, a folder where the copy belongs, a path too long): the file must
// then not be replaced, or its old state would be gone for good.
bool SaveBackup(const std::wstring& target, const std::wstring& backup, const std::wstring& existing) {
    std::wstring base = target;
    for (wchar_t& c : base)
        if (c == L'/') c = L'\\';
    if (!base.empty() && base.back() != L'\\') base += L'\\';
    const std::wstring relative = StartsWithNoCase(existing, base)
                                      ? existing.substr(base.size())
                                      : existing.substr(existing.find_last_of(L"\\:") + 1);
    const std::wstring copy = backup + L"\\" + relative;
    const std::wstring folder = ExtractFilePath(copy);
    if (!FolderExists(folder)) ForceFolderChain(folder);
    if (FileExists(copy)) return true;
    return CopyFileW(existing.c_str(), copy.c_str(), TRUE) != FALSE;
}

// Zip1 keeps a replace hook and its message pump only for the one
// extraction they were set for.
class ExtractionHooks {
public:
    ExtractionHooks(TZipExtractor& zip, std::function<void(const std::wstring&, const std::wstring&)> hook)
        : zip_(zip) {
        zip_.OnBeforeReplace = std::move(hook);
        zip_.KeepAlive = [] { KeepWindowAlive(); };
    }
    ~ExtractionHooks() {
        zip_.OnBeforeReplace = nullptr;
        zip_.KeepAlive = nullptr;
    }
    ExtractionHooks(const ExtractionHooks&) = delete;
    ExtractionHooks& operator=(const ExtractionHooks&) = delete;

private:
    TZipExtractor& zip_;
};

std::wstring UnpackFailedLine(const std::wstring& archive) { return L"Fehler beim entpacken der Datei: " + archive; }

void UnpackArchive(const std::wstring& product, const std::wstring& archive, const std::wstring& target,
                   const std::wstring& backup) {
    TZipExtractor& zip = frmMain->Zip1;
    try {
        zip.EngineFolder = EngineFolderOf(product);
        zip.EngineLoad = true;
        zip.SetArchiveName(archive);
        zip.ExtractFolder = target;
        zip.AddOption(ExtractOption::OverwriteFiles);
        // Nothing an archive holds may land in a backup folder of the run.
        zip.ProtectedPrefix = kBackupPrefix;
        {
            const ExtractionHooks hooks(zip, [&target, &backup](const std::wstring& existing, const std::wstring&) {
                // A file that cannot be saved is not replaced: the raise
                // leaves it in place and ends the extraction.
                if (!SaveBackup(target, backup, existing)) RaiseIoError(GetLastError());
            });
            // Faults of the archive itself the component shows on its own;
            // the log names the archive as well.
            zip.Extract();
        }
        if (zip.ErrorCode() != zipOk) AddLine(UnpackFailedLine(archive));
        ProcessMessages();
    } catch (const std::exception&) {
        ShowMessage(UnpackFailedLine(archive), kAppTitle, MB_OK | MB_ICONERROR);
        AddLine(UnpackFailedLine(archive));
    }
}

struct Run {
    std::wstring historySuffix;
    uint16_t ftpPort = kDefaultFtpPort;
};

// Replace path: the installed file is saved into the run's backup folder
// before the new one is fetched over it. True when the new file arrived.
bool FetchReplacing(const Run& run, const FileEntry& e, const std::wstring& target, const std::wstring& local,
                    const std::wstring& backup) {
    CreateOneLevel(backup);
    if (FileExists(local) && !SaveBackup(target, backup, local)) {
        AddLine(Upper(e.N) + L" konnte nicht gesichert werden und wurde nicht ersetzt");
        return false;
    }
    // A side file that a killed run left beside the target goes now.
    const std::wstring folder = ExtractFilePath(local);
    if (!FolderExists(folder)) ForceFolderChain(folder);
    SweepLeftoverSideFiles(folder);
    AddLine(L"Download von: " + Upper(e.N));
    // The transfer lands beside the file and replaces it only once complete,
    // so a failed fetch leaves the installed file as it was.
    const bool fetched = FtpDownload(UpdateFtpHost(), kFtpUser, kFtpPassword, run.ftpPort, kServerFolder,
                                     e.FtpName, local, frmMain->ProgressBar1, frmMain->lblSize, frmMain->lblFile);
    AddLine(fetched ? Upper(e.N) + L" wurde in Pfad: " + Upper(ExtractFilePath(local)) + L" kopiert"
                    : NotFetchedLine(e));
    return fetched;
}

// Keep path: the installed file must stay; the new one is parked in the
// updates folder for the user.
void FetchAside(const FileEntry& e, const std::wstring& relative) {
    const std::wstring updates = UpdatesFolder();
    CreateOneLevel(updates);
    const bool fetched = HttpDownload(UpdateBaseUrl + kServerFolder + e.F, updates + relative, e.O);
    AddLine(fetched ? Upper(e.N) + L" wurde in Temp-Pfad: " + Upper(updates) + L" kopiert" : NotFetchedLine(e));
}

// Only a full folder can hold the files: an empty one (a product folder
// that is not there) or a relative one would put them wherever the program
// was started.
bool IsFullFolder(const std::wstring& folder) {
    if (folder.size() >= 3 && folder[1] == L':' && folder[2] == L'\\') return true;
    return folder.size() >= 3 && folder[0] == L'\\' && folder[1] == L'\\';
}

std::wstring NoTargetLine(const FileEntry& e) {
    return L"Datei " + e.F + L" nicht übernommen: kein gültiger Zielordner für \"" + e.Path + L"\"";
}

void InstallFile(const Run& run, const std::wstring& product, const FileEntry& e) {
    const std::wstring target = e.refused ? std::wstring() : ResolveTargetFolder(product, e.Path);
    if (e.refused) {
        AddLine(RefusedEntryLine(e));
    } else if (!IsFullFolder(target)) {
        AddLine(NoTargetLine(e));
    } else {
        if (!FolderExists(target)) ForceFolderChain(target);
        std::wstring relative = e.N;
        for (wchar_t& c : relative)
            if (c == L'/') c = L'\\';
        const std::wstring local = target + relative;
        const std::wstring backup = target + run.historySuffix;
        if (e.R || !FileExists(local)) {
            const bool fetched = FetchReplacing(run, e, target, local, backup);
            AddLine(L"");
            ProcessMessages();
            if (fetched && FileTypeSuffix(e.N) == L"zip") UnpackArchive(product, local, target, backup);
            return;
        }
        // An archive parked on the keep path is not unpacked: unpacking it
        // into the target would replace the installed files the entry says
        // must stay.
        FetchAside(e, relative);
    }
    AddLine(L"");
    ProcessMessages();
}

void InstallEntries(const Run& run, const UpdateDescriptor& descriptor, int entryCount) {
    for (int i = 0; i < entryCount; ++i) {
        // Read only now: the list stays usable while earlier entries install.
        if (!CheckListChecked(frmMain->lstUpd, i)) continue;
        if (static_cast<size_t>(i) >= SelectedSections.size()) continue;
        const std::wstring section(1, SelectedSections[static_cast<size_t>(i)]);
        const std::wstring product = descriptor.Product(section);
        for (int n = 1; n <= kMaxFileEntries; ++n) {
            const FileEntry e = descriptor.Entry(section, n);
            if (e.F.empty()) break;
            InstallFile(run, product, e);
        }
    }
}

// The locale's short date as part of a file name: characters a file name
// cannot hold (the slashes of M/d/yyyy, for one) become dots, so the log
// can always be written.
std::wstring LogDateText() {
    wchar_t buf[128] = L"";
    const int n = GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, buf, 128);
    std::wstring date(buf, n > 0 ? static_cast<size_t>(n - 1) : 0);
    for (wchar_t& c : date)
        if (IsForbiddenInFileName(c)) c = L'.';
    return date;
}

// A second run on the same day adds its lines to the day's log after an
// empty line; the first run's account stays.
void SaveLines(HWND list, const std::wstring& path) {
    std::string bytes;
    const int count = ListCount(list);
    for (int i = 0; i < count; ++i) bytes += ToAnsi(ListItemText(list, i)) + "\r\n";
    FileHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) RaiseIoError(GetLastError());
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) RaiseIoError(GetLastError());
    if (size.QuadPart > 0) {
        bytes.insert(0, "\r\n");
        const LARGE_INTEGER none{};
        if (!SetFilePointerEx(file.get(), none, nullptr, FILE_END)) RaiseIoError(GetLastError());
    }
    const DWORD error = WriteAll(file.get(), bytes.data(), bytes.size());
    if (error != ERROR_SUCCESS) RaiseIoError(error);
    if (!CloseHandle(file.release())) RaiseIoError(GetLastError());
}

}  // namespace install
}  // namespace

uint16_t InstallFtpPort() {
    std::wstring text;
    try {
        text = RegReadStringOrInit(kSettingsKey, L"FTP Port", L"21");
    } catch (const std::exception&) {
        return install::kDefaultFtpPort;
    }
    uint16_t port = install::kDefaultFtpPort;
    return install::ParsePort(text, &port) ? port : install::kDefaultFtpPort;
}

void InstallUpdates() {
    SYSTEMTIME started;
    GetLocalTime(&started);
    const int entryCount = ListCount(frmMain->lstUpd);
    try {
        const UpdateDescriptor descriptor(WorkFolder + L"update.cfg");
        ListClear(frmMain->lstAnw);
        install::AddLine(L"Erneuerte Dateien");
        install::AddLine(L"");
        install::Run run;
        run.historySuffix = install::HistorySuffix(started);
        run.ftpPort = InstallFtpPort();
        install::InstallEntries(run, descriptor, entryCount);
    } catch (...) {
        // The log of what was done so far is written all the same; should
        // that fail too, the error that ended the run is the one to show,
        // and lstAnw still holds the run's lines.
        try {
            WriteDownloadLog();
        } catch (const std::exception&) {
        }
        throw;
    }
    WriteDownloadLog();
}

void WriteDownloadLog() {
    const std::wstring updates = install::UpdatesFolder();
    if (!FolderExists(updates)) ForceFolderChain(updates);
    const std::wstring path = updates + L"Download " + install::LogDateText() + L" .txt";
    install::SaveLines(frmMain->lstAnw, path);
    ListClear(frmMain->lstAnw);
    ListClear(frmMain->lstUpd);
    install::AddLine(L" Das Download-Protokoll wurde in:");
    install::AddLine(L" " + path);
    install::AddLine(L" gespeichert");
    if (FileExists(path)) ShellExecuteW(ApplicationWindow(), nullptr, path.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED);
}
