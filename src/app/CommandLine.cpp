#include "app/CommandLine.h"

#include <vector>

#include "sys/Text.h"

namespace {

// Splits the way the C runtime does for the common cases: blanks separate,
// double quotes group (and are dropped).
std::vector<std::wstring> Split(const std::wstring& line) {
    std::vector<std::wstring> parts;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsBlankOrTab(line[i])) ++i;
        if (i >= line.size()) break;
        std::wstring part;
        bool quoted = false;
        for (; i < line.size() && (quoted || !IsBlankOrTab(line[i])); ++i) {
            if (line[i] == L'"') quoted = !quoted;
            else part += line[i];
        }
        parts.push_back(part);
    }
    return parts;
}

bool Is(const std::wstring& part, const wchar_t* word) { return _wcsicmp(part.c_str(), word) == 0; }

}  // namespace

CommandLine ParseCommandLine(const std::wstring& commandLine) {
    std::vector<std::wstring> parts = Split(commandLine);
    if (!parts.empty()) parts.erase(parts.begin());  // the program itself
    CommandLine result;
    bool usage = false;
    for (const std::wstring& part : parts) {
        if (Is(part, L"/unattended")) result.unattended = true;
        else if (Is(part, L"/?")) usage = true;
        else if (result.unknown.empty()) result.unknown = part.empty() ? std::wstring(L"\"\"") : part;
    }
    // A usage box is no answer for a run that must show none.
    if (result.unattended && usage && result.unknown.empty()) result.unknown = L"/?";
    if (!result.unknown.empty()) result.mode = CommandLine::Mode::NotUnderstood;
    else if (result.unattended) result.mode = CommandLine::Mode::Unattended;
    else if (usage) result.mode = CommandLine::Mode::Usage;
    return result;
}

std::wstring UsageText(const std::wstring& unknown) {
    std::wstring text;
    if (!unknown.empty()) text = L"Unbekannte Angabe in der Befehlszeile: " + unknown + L"\r\n\r\n";
    return text +
           L"Aufruf: update.exe [/unattended]\r\n\r\n"
           L"Ohne Angabe öffnet sich der Assistent.\r\n\r\n"
           L"/unattended\tinstalliert ohne Fenster und ohne Rückfrage alle Updates, die die Updateliste "
           L"vorsieht, und schreibt das Download-Protokoll. Der Rückgabewert nennt das Ergebnis:\r\n"
           L"0\talle Updates installiert oder keine vorhanden\r\n"
           L"1\tmindestens eine Datei nicht installiert (siehe Download-Protokoll)\r\n"
           L"2\tUpdateliste nicht geladen oder abgelehnt\r\n"
           L"3\tKundendaten unvollständig\r\n"
           L"4\tLiveupdate läuft bereits\r\n"
           L"5\tStart abgelehnt (Windows-Version, Anwendungsdatenordner)\r\n"
           L"6\tBefehlszeile nicht verstanden\r\n\r\n"
           L"/?\tzeigt diese Hilfe.";
}
