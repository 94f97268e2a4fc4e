#pragma once
// The program's command line. Without arguments the wizard opens as it
// always has; "/unattended" runs it without a window for deployment tools,
// "/?" shows the usage. Switches compare without regard to case.
#include <string>

struct CommandLine {
    enum class Mode { Wizard, Unattended, Usage, NotUnderstood };
    Mode mode = Mode::Wizard;
    std::wstring unknown;     // the first part not understood (NotUnderstood)
    bool unattended = false;  // "/unattended" was among the arguments: no box, whatever else
};

// The arguments of commandLine as GetCommandLineW gives it (the program's
// own name first). Anything not understood is NotUnderstood, also next to
// "/unattended"; "/?" wins over the rest only without "/unattended", which
// must never lead to a box.
CommandLine ParseCommandLine(const std::wstring& commandLine);

// The usage box's text; with unknown, it names that part first.
std::wstring UsageText(const std::wstring& unknown);
