#pragma once
// The install run: fetches the files of the checked entries into the
// products' folders, saving what they replace, unpacks archives, and
// writes the download log.
#include <cstdint>
#include <string>
#include <vector>

#include "net/Reporting.h"
#include "run/ListFetch.h"
#include "run/RunRecord.h"
#include "run/Session.h"
#include "sys/UpdateError.h"
#include "zip/ZipExtractor.h"

// What a run records into (shown where the record shows), asks and works
// with. The window's press gives its record, lists, progress controls and
// Zip1 (ui/WindowReporting.h).
struct InstallTools {
    RunRecord& record;
    UpdateSelection& selection;
    TransferProgress& progress;
    Frontend& frontend;
    TZipExtractor& zip;
    // With session.listSigned: the list as its signature was checked, which
    // the run must still find at its path.
    const VerifiedList* verified = nullptr;
};

enum class InstallEnd {
    Done,         // the run went through (its log says what it did)
    WithFaults,   // the run went through, and at least one file was not installed
    ListChanged,  // a signed list is not the one that was checked: nothing was done
};

// Installs the checked entries of the selection, each from the section it
// offers, as the descriptor session.workFolder +
// "update.cfg" lists them; files that must not replace an installed one are
// fetched from session.updateBaseUrl into session.workFolder + "Updates\".
// A file whose entry names a digest lands only with those bytes; with
// session.listSigned every entry must name one. Records into tools.record
// and ends with WriteDownloadLog, also when an error ends the run early (the
// error is then raised again for the wizard's click handler). A signed list
// that tools.verified no longer finds at its path ends it at once, with
// nothing recorded, installed or logged.
InstallEnd InstallUpdates(const InstallTools& tools, const Session& session);
// Saves the record's lines as workFolder + "Updates\Download <short date>
// .txt" (ANSI, CR LF), empties record and selection, records where the log
// lies and opens it. A log that cannot be written raises UpdateError with
// record and selection unchanged.
void WriteDownloadLog(RunRecord& record, UpdateSelection& selection, Frontend& frontend,
                      const std::wstring& workFolder);
// Saves lines as the day's download log, as WriteDownloadLog does, for a
// run that ends before its install. Never raises; false when the log could
// not be written.
bool SaveRunLog(const std::vector<std::wstring>& lines, const std::wstring& workFolder);
// For a run that Windows ends midway (a log-off or shutdown): saves its
// lines so far and "Abgebrochen: Windows wurde beendet." as the day's log.
// Never raises; false when the log could not be written.
bool SaveEndedRunLog(std::vector<std::wstring> lines, const std::wstring& workFolder);
// The FTP port the install run uses: the setting "FTP Port" (default "21"),
// 21 when the setting is no port number or cannot be read.
uint16_t InstallFtpPort(HKEY root);
