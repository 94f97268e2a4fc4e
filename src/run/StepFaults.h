#pragma once
// Every fault of a step of the wizard reaches the user here: a fetch that
// failed, an archive that could not be unpacked, an exception raised while
// it was, a file the run could not save or place. Each becomes one
// StepFault, shown as its box first and then recorded as its line, so the
// order and the caption are the same for every kind.
#include <windows.h>

#include <string>

#include "net/Reporting.h"
#include "net/Transfers.h"
#include "run/RunRecord.h"
#include "zip/ZipExtractor.h"

struct StepFault {
    std::wstring box;  // empty: no box
    UINT boxFlags = MB_OK;
    std::wstring line;  // empty: no line
};

// Shows fault's box (captioned with the program's title), then adds its
// line to record (nullptr: a step outside the install run, with no record).
void TellFault(const StepFault& fault, Frontend& frontend, RunRecord* record);

// A fetch that failed: what the transfer had to say, then the run's line.
StepFault FetchFailed(const FetchFault& fetch, const std::wstring& line);
// An archive the component refused or stopped in: its German text, then
// the line naming the archive.
StepFault ArchiveFailed(const ExtractResult& result, const std::wstring& archive);
// An exception while an archive was prepared or unpacked.
StepFault UnpackRaised(const std::wstring& archive);
// A fault that only the log tells.
inline StepFault LineOnly(const std::wstring& line) { return StepFault{std::wstring(), MB_OK, line}; }
