#include "run/StepFaults.h"

namespace {

std::wstring UnpackFailedLine(const std::wstring& archive) { return L"Fehler beim entpacken der Datei: " + archive; }

}  // namespace

void TellFault(const StepFault& fault, Frontend& frontend, RunRecord* record) {
    if (!fault.box.empty()) frontend.Message(fault.box, kAppTitle, fault.boxFlags);
    if (!record) return;
    if (!fault.line.empty()) record->Add(fault.line);
    record->CountFault();
}

StepFault FetchFailed(const FetchFault& fetch, const std::wstring& line) {
    return StepFault{fetch.box, fetch.boxFlags, line};
}

StepFault ArchiveFailed(const ExtractResult& result, const std::wstring& archive) {
    return StepFault{result.text, MB_OK | MB_ICONERROR, UnpackFailedLine(archive)};
}

StepFault UnpackRaised(const std::wstring& archive) {
    return StepFault{UnpackFailedLine(archive), MB_OK | MB_ICONERROR, UnpackFailedLine(archive)};
}
