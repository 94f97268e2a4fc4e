#include "run/InstallRun.h"

#include <windows.h>

#include <cstdio>
#include <functional>

#include "sys/Dateien.h"
#include "run/Descriptor.h"
#include "run/StepFaults.h"
#include "net/FilesInUse.h"
#include "sys/Handles.h"
#include "sys/Reg.h"
#include "net/SideFiles.h"
#include "sys/Text.h"
#include "net/Transfers.h"
#include "run/Variable.h"
#include "sys/WinSystem.h"

namespace {

constexpr const wchar_t* kFtpUser = L"58213_upd";
constexpr const wchar_t* kFtpPassword = L"6184270";
constexpr const wchar_t* kServerFolder = L"lupd19/";
constexpr uint16_t kDefaultFtpPort = 21;

std::wstring UpdatesFolder(const std::wstring& workFolder) { return workFolder + L"Updates\\"; }

// One run: what it reports into and works with, where its files come from,
// and the settings it reads once at its start.
struct Run {
    const InstallTools& tools;
    const Session& session;
    std::wstring historySuffix;
    FtpServer ftp;
    // Where the next file of the replace path starts: each file may move
    // the run on to passive mode or to HTTP.
    mutable FtpRoute route;

    void AddLine(const std::wstring& text) const { tools.record.Add(text); }
    void Fault(const StepFault& fault) const { TellFault(fault, tools.frontend, &tools.record); }
};

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

// What the fetched bytes must be: the entry's digest and length, where it
// names them.
DigestCheck CheckOf(const FileEntry& e) {
    DigestCheck check;
    check.expected = e.hasDigest ? &e.digest : nullptr;
    check.expectedSize = e.hasSize ? static_cast<int64_t>(e.size) : -1;
    return check;
}

std::wstring NotFetchedLine(const FileEntry& e, const DigestCheck& check) {
    const std::wstring line = Upper(e.N) + L" konnte nicht geladen werden";
    if (check.sizeMismatch) return line + L": Dateigröße stimmt nicht";
    return check.mismatch ? line + L": Prüfsumme stimmt nicht" : line;
}

// An archive is unpacked with the updated product's program folder looked
// up first: the lookup stores the folder's default where none is
// registered, which is what users see in the registry afterwards.
void LookUpProgramFolder(const Session& session, const std::wstring& product) {
    if (product == L"MIRADOPRO19") GetMiradopro19Folder(session);
    else if (product == L"MIRADOS19") GetMirados19Folder(session);
    else if (product == L"NORVIX19") GetNorvix19Folder(session);
    else GetMirado19Folder(session);
}

// The copy of an installed file in the run's backup folder, under its
// folder relative to the target. The copy made first in a run holds the
// state before the run and stays. False when no copy could be made (disk
// full, a folder where the copy belongs, a path too long): the file must
// then not be replaced, or its old state would be gone for good.
bool SaveBackup(const std::wstring& target, const std::wstring& backup, const std::wstring& existing) {
    std::wstring base = Backslashed(target);
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

// What an archive's extraction tells and asks: each installed file it
// replaces is saved first, a held file is asked about the way the fetch
// asks; its faults come back in the result.
class ArchiveEvents : public ExtractEvents {
public:
    ArchiveEvents(const Run& run, const std::wstring& target, const std::wstring& backup)
        : run_(run), frontend_(run.tools.frontend), target_(target), backup_(backup) {}
    void KeepAlive() override { frontend_.KeepAlive(); }
    void BeforeReplace(const std::wstring& existing, const std::wstring&) override {
        // A file that cannot be saved is not replaced: the raise leaves it
        // in place and ends the extraction.
        if (!SaveBackup(target_, backup_, existing)) RaiseIoError(GetLastError());
    }
    // A held file is named by its path in the archive, the way the list
    // names the files of the replace path.
    Held FileHeld(const std::wstring& existing, const std::wstring& entry) override {
        const std::wstring name = Backslashed(entry);
        if (AskToRetryHeld(existing, name, frontend_)) return Held::Retry;
        run_.Fault(LineOnly(FileInUseLine(name)));
        return Held::Leave;
    }
private:
    const Run& run_;
    Frontend& frontend_;
    const std::wstring& target_;
    const std::wstring& backup_;
};

void UnpackArchive(const Run& run, const std::wstring& product, const std::wstring& archive,
                   const std::wstring& target, const std::wstring& backup) {
    Frontend& frontend = run.tools.frontend;
    try {
        LookUpProgramFolder(run.session, product);
        ExtractRequest request;
        request.archive = archive;
        request.folder = target;
        request.options = request.options | ExtractOption::OverwriteFiles;
        // Nothing an archive holds may land in a backup folder of the run.
        request.protectedPrefix = kBackupPrefix;
        ArchiveEvents events(run, target, backup);
        const ExtractResult result = run.tools.zip.Extract(request, events);
        if (result.code != zipOk) run.Fault(ArchiveFailed(result, archive));
        if (result.leftInUse > 0) run.AddLine(L"");
        frontend.Breathe();
    } catch (const std::exception&) {
        run.Fault(UnpackRaised(archive));
    }
}

// Replace path: the installed file is saved into the run's backup folder
// before the new one is fetched over it. True when the new file arrived.
bool FetchReplacing(const Run& run, const FileEntry& e, const std::wstring& target, const std::wstring& local,
                    const std::wstring& backup) {
    CreateOneLevel(backup);
    if (FileExists(local) && !SaveBackup(target, backup, local)) {
        run.Fault(LineOnly(Upper(e.N) + L" konnte nicht gesichert werden und wurde nicht ersetzt"));
        return false;
    }
    // A side file that a killed run left beside the target goes now.
    const std::wstring folder = ExtractFilePath(local);
    if (!FolderExists(folder)) ForceFolderChain(folder);
    SweepLeftoverSideFiles(folder);
    run.AddLine(L"Download von: " + Upper(e.N));
    // The transfer lands beside the file and replaces it only once complete
    // (and of the bytes the list named), so a failed fetch leaves the
    // installed file as it was.
    DigestCheck check = CheckOf(e);
    HeldTarget held{e.N};
    FetchFault fault;
    const bool fetched = FtpDownload(run.ftp, kServerFolder, e.FtpName, local, run.tools.progress, run.tools.frontend,
                                     fault, run.session.limits, &check, &run.route,
                                     run.session.updateBaseUrl + kServerFolder + e.F, &held);
    if (fetched) run.AddLine(Upper(e.N) + L" wurde in Pfad: " + Upper(ExtractFilePath(local)) + L" kopiert");
    else run.Fault(FetchFailed(fault, held.leftInUse ? FileInUseLine(e.N) : NotFetchedLine(e, check)));
    return fetched;
}

// Keep path: the installed file must stay; the new one is parked in the
// updates folder for the user.
void FetchAside(const Run& run, const FileEntry& e, const std::wstring& relative) {
    const std::wstring updates = UpdatesFolder(run.session.workFolder);
    CreateOneLevel(updates);
    DigestCheck check = CheckOf(e);
    FetchFault fault;
    const bool fetched = HttpDownload(run.session.updateBaseUrl + kServerFolder + e.F, updates + relative, e.O,
                                      run.tools.frontend, fault, run.session.limits, &check);
    if (fetched) run.AddLine(Upper(e.N) + L" wurde in Temp-Pfad: " + Upper(updates) + L" kopiert");
    else run.Fault(FetchFailed(fault, NotFetchedLine(e, check)));
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
    const std::wstring target = e.refused() ? std::wstring() : ResolveTargetFolder(run.session, product, e.Path);
    if (e.refused()) {
        run.Fault(LineOnly(RefusedEntryLine(e)));
    } else if (!IsFullFolder(target)) {
        run.Fault(LineOnly(NoTargetLine(e)));
    } else {
        if (!FolderExists(target)) ForceFolderChain(target);
        const std::wstring relative = Backslashed(e.N);
        const std::wstring local = target + relative;
        const std::wstring backup = target + run.historySuffix;
        if (e.R || !FileExists(local)) {
            const bool fetched = FetchReplacing(run, e, target, local, backup);
            run.AddLine(L"");
            run.tools.frontend.Breathe();
            if (fetched && FileTypeSuffix(e.N) == L"zip") UnpackArchive(run, product, local, target, backup);
            return;
        }
        // An archive parked on the keep path is not unpacked: unpacking it
        // into the target would replace the installed files the entry says
        // must stay.
        FetchAside(run, e, relative);
    }
    run.AddLine(L"");
    run.tools.frontend.Breathe();
}

void InstallEntries(const Run& run, const UpdateDescriptor& descriptor, int entryCount) {
    for (int i = 0; i < entryCount; ++i) {
        // Read only now: the selection stays usable while earlier entries install.
        if (!run.tools.selection.IsChecked(i)) continue;
        const std::wstring section = run.tools.selection.Section(i);
        if (section.empty()) continue;
        const std::wstring product = descriptor.Product(section);
        for (const FileEntry& e : descriptor.Entries(section)) InstallFile(run, product, e);
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
void SaveLines(const std::vector<std::wstring>& lines, const std::wstring& path) {
    std::string bytes;
    for (const std::wstring& line : lines) bytes += ToAnsi(line) + "\r\n";
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

}  // namespace

uint16_t InstallFtpPort(HKEY root) {
    std::wstring text;
    try {
        text = RegReadStringOrInit(root, kSettingsKey, L"FTP Port", L"21");
    } catch (const std::exception&) {
        return kDefaultFtpPort;
    }
    uint16_t port = kDefaultFtpPort;
    return ParsePort(text, &port) ? port : kDefaultFtpPort;
}

InstallEnd InstallUpdates(const InstallTools& tools, const Session& session) {
    const std::wstring listFile = session.workFolder + L"update.cfg";
    // The INI reads below go by path: that path must still hold the bytes
    // whose signature was checked.
    if (session.listSigned && !(tools.verified && tools.verified->StillAt(listFile))) return InstallEnd::ListChanged;
    SYSTEMTIME started;
    GetLocalTime(&started);
    const int entryCount = tools.selection.Count();
    const std::wstring& workFolder = session.workFolder;
    try {
        const UpdateDescriptor descriptor(listFile, session.listSigned);
        tools.record.StartRun();
        tools.record.Add(L"Erneuerte Dateien");
        tools.record.Add(L"");
        const FtpServer ftp{UpdateFtpHost(session.registryRoot), kFtpUser, kFtpPassword,
                            InstallFtpPort(session.registryRoot)};
        const Run run{tools, session, HistorySuffix(started), ftp, FtpRoute()};
        InstallEntries(run, descriptor, entryCount);
    } catch (...) {
        // The log of what was done so far is written all the same, and it
        // says why the run ended there; should that fail too, the error
        // that ended the run is the one to show, and the record still holds
        // the run's lines.
        try {
            throw;
        } catch (const UpdateError& e) {
            TellFault(LineOnly(e.message()), tools.frontend, &tools.record);
        } catch (...) {
        }
        try {
            WriteDownloadLog(tools.record, tools.selection, tools.frontend, workFolder);
        } catch (const std::exception&) {
        }
        throw;
    }
    WriteDownloadLog(tools.record, tools.selection, tools.frontend, workFolder);
    return tools.record.Faults() > 0 ? InstallEnd::WithFaults : InstallEnd::Done;
}

namespace {

std::wstring DownloadLogPath(const std::wstring& workFolder) {
    const std::wstring updates = UpdatesFolder(workFolder);
    if (!FolderExists(updates)) ForceFolderChain(updates);
    return updates + L"Download " + LogDateText() + L" .txt";
}

}  // namespace

bool SaveRunLog(const std::vector<std::wstring>& lines, const std::wstring& workFolder) {
    try {
        SaveLines(lines, DownloadLogPath(workFolder));
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool SaveEndedRunLog(std::vector<std::wstring> lines, const std::wstring& workFolder) {
    lines.push_back(L"Abgebrochen: Windows wurde beendet.");
    return SaveRunLog(lines, workFolder);
}

void WriteDownloadLog(RunRecord& record, UpdateSelection& selection, Frontend& frontend,
                      const std::wstring& workFolder) {
    const std::wstring path = DownloadLogPath(workFolder);
    SaveLines(record.Lines(), path);
    record.Clear();
    selection.Clear();
    record.Add(L" Das Download-Protokoll wurde in:");
    record.Add(L" " + path);
    record.Add(L" gespeichert");
    if (FileExists(path)) frontend.Open(path, nullptr, SW_SHOWMAXIMIZED);
}
