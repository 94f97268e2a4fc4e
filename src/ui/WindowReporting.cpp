#include "ui/WindowReporting.h"

#include "run/InstallRun.h"
#include "run/StepFaults.h"
#include "ui/ProgressControls.h"
#include "run/Variable.h"

void ListReport::AddLine(const std::wstring& text) {
    Hold();
    ListAdd(list_, text);
}

void ListReport::Clear() {
    Hold();
    ListClear(list_);
}

void ListReport::Hold() {
    if (held_) return;
    SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
    held_ = true;
    // Something in the queue, so the next look at it (every transfer and
    // wait makes one) processes messages and so shows the lines.
    PostMessageW(list_, WM_NULL, 0, 0);
}

void ListReport::Show() {
    if (!held_) return;
    held_ = false;
    SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list_, nullptr, TRUE);
}

int CheckListSelection::Count() const { return ListCount(list_); }

bool CheckListSelection::IsChecked(int index) const { return CheckListChecked(list_, index); }

std::wstring CheckListSelection::Section(int index) const {
    return index >= 0 && static_cast<size_t>(index) < sections_.size() ? sections_[static_cast<size_t>(index)]
                                                                       : std::wstring();
}

void CheckListSelection::Clear() { ListClear(list_); }

int WindowFrontend::Message(const std::wstring& text, const std::wstring& caption, UINT flags) {
    ShowReport();
    return ShowMessage(text, caption, flags);
}

void WindowFrontend::Open(const std::wstring& path, const wchar_t* verb, int show) {
    if (opens_) return opens_->Open(ApplicationWindow(), path, verb, show);
    OpenWithShell(ApplicationWindow(), path, verb, show);
}

void WindowFrontend::ShowBusy(bool busy) { SetBusyCursor(busy); }

void WindowFrontend::Breathe() {
    ShowReport();
    ProcessMessages();
}

void WindowFrontend::KeepAlive() {
    ShowReport();
    KeepWindowAlive();
}

InstallEnd RunInstallPress(TfrmMain& form) {
    ListReport report(form.Control(ControlId::lstAnw));
    // The list shows the record's lines only while this press lasts.
    struct Shown {
        RunRecord& record;
        ~Shown() { record.ShowIn(nullptr); }
    } shown{form.runRecord()};
    shown.record.ShowIn(&report);
    CheckListSelection selection(form.Control(ControlId::lstUpd), form.OfferedSections());
    ProgressControls progress(form.Control(ControlId::ProgressBar1), form.Control(ControlId::lblSize),
                              form.Control(ControlId::lblFile));
    WindowFrontend frontend(report, form.shellOpens());
    return InstallUpdates({shown.record, selection, progress, frontend, form.zip(), &form.verifiedList()},
                          form.session());
}

bool HttpDownload(const std::wstring& url, const std::wstring& dest, bool askToOpen, const TransferLimits& limits) {
    WindowFrontend frontend;
    FetchFault fault;
    if (HttpDownload(url, dest, askToOpen, frontend, fault, limits)) return true;
    TellFault(FetchFailed(fault, std::wstring()), frontend, nullptr);
    return false;
}
