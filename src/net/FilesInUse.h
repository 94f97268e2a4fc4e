#pragma once
// Installed files that another program holds open: Mirado left running
// while it is updated keeps its program files open with read sharing only.
// They can be copied (so the backup works) but not replaced. Such a file is
// not a failed fetch: the user is asked to close the program and try again.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "net/Reporting.h"

// True when path could not be replaced (error: the last error of the
// replace) because another program has it open. A replace over an open file
// fails with a sharing or lock violation, or on NTFS and under Wine with
// "access denied"; that one is told from missing rights by opening the file
// for deletion, or by the Restart Manager naming a holder.
bool HeldByAnotherProgram(const std::wstring& path, DWORD error);

// The programs that hold path, as the Restart Manager names them (Vista
// on; loaded on first use), this program left out. Empty where Windows
// cannot say.
std::vector<std::wstring> ProgramsHolding(const std::wstring& path);

// The question for the file the user knows as name, with the line
// "Verwendet von: ..." where holders are known.
std::wstring FileInUseQuestion(const std::wstring& name, const std::vector<std::wstring>& holders);
// The log's line for a held file the user gave up on.
std::wstring FileInUseLine(const std::wstring& name);

// Asks whether to try the held dest again: true for Wiederholen.
bool AskToRetryHeld(const std::wstring& dest, const std::wstring& name, Frontend& frontend);

enum class HeldReplace { Replaced, Failed, LeftInUse };
// Runs replace (true when it replaced dest; the last error says why not)
// until it succeeds, fails for another reason, or tryAgain (asked each
// time another program holds dest) says no. Each try replaces with what is
// already there: nothing is fetched or unpacked twice.
HeldReplace ReplaceWhileHeld(const std::function<bool()>& replace, const std::wstring& dest,
                             const std::function<bool()>& tryAgain);
