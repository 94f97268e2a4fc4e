#pragma once
// The install run: fetches the files of the checked entries into the
// products' folders, saving what they replace, unpacks archives, and
// writes the download log.
#include <cstdint>

// Installs the checked entries of frmMain's lstUpd from the descriptor
// WorkFolder + "update.cfg", reporting into lstAnw, and ends with
// WriteDownloadLog, also when an error ends the run early (the error is then
// raised again for the wizard's click handler).
void InstallUpdates();
// Saves lstAnw as WorkFolder + "Updates\Download <short date> .txt" (ANSI,
// CR LF), empties lstAnw and lstUpd, writes where the log lies and opens it.
// A log that cannot be written raises UpdateError with both lists unchanged.
void WriteDownloadLog();
// The FTP port the install run uses: the setting "FTP Port" (default "21"),
// 21 when the setting is no port number or cannot be read.
uint16_t InstallFtpPort();
