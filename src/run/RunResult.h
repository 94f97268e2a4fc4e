#pragma once
// How a run of the wizard ended, as the exit code of an unattended run and
// as the last result inventory tools read from the registry: "Letzter Lauf"
// (yyyymmdd-hhmmss, local time) and "Letztes Ergebnis" (the code) under
// the settings key, below the program's registry root.
#include <windows.h>

enum class RunResult : int {
    Installed = 0,          // every offered update installed, or nothing to do
    NotAllInstalled = 1,    // at least one file was not installed (its line is in the log)
    ListFailed = 2,         // the list could not be fetched or was refused
    CustomerIncomplete = 3, // the stored customer data is incomplete
    AnotherCopy = 4,        // another copy is running
    StartupRefused = 5,     // the Windows version, or no application-data folder
    BadCommandLine = 6,     // the command line is not understood
};

inline int ExitCode(RunResult r) { return static_cast<int>(r); }

// Stores the result with the time; a registry that cannot be written
// keeps the earlier values (the run's own result stands).
void StoreRunResult(HKEY root, RunResult result);
