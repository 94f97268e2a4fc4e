#pragma once
// The work layer's interfaces over the main window, and the calls the
// window's handlers make into the work layer through them.
#include <windows.h>

#include <string>
#include <vector>

#include "net/Reporting.h"
#include "net/Transfers.h"
#include "run/InstallRun.h"
#include "ui/main.h"

// A list box that shows a run's lines (lstAnw). Once the list scrolls,
// every added line redraws its scroll bar at once, which under Wine costs
// several milliseconds a line; the list therefore holds its drawing while
// lines come in and draws them all the next time the window's messages are
// processed (Show, which the window's frontend calls), and at the latest
// when the report ends.
class ListReport final : public RunReport {
public:
    explicit ListReport(HWND list) : list_(list) {}
    ~ListReport() { Show(); }
    ListReport(const ListReport&) = delete;
    ListReport& operator=(const ListReport&) = delete;
    void AddLine(const std::wstring& text) override;
    void Clear() override;
    // Draws what came in since the last time.
    void Show();

private:
    void Hold();
    HWND list_;
    bool held_ = false;
};

// The entries of a check list as the selection (lstUpd), with the section
// each offers.
class CheckListSelection final : public UpdateSelection {
public:
    CheckListSelection(HWND list, const std::vector<std::wstring>& sections) : list_(list), sections_(sections) {}
    int Count() const override;
    bool IsChecked(int index) const override;
    std::wstring Section(int index) const override;
    void Clear() override;

private:
    HWND list_;
    const std::vector<std::wstring>& sections_;
};

// Boxes owned by the main window (none while there is no window), its busy
// cursor and its message pump.
class WindowFrontend final : public Frontend {
public:
    WindowFrontend() = default;
    // report: shown before the window's messages are processed or a box
    // asks; opens: where files are opened without the window waiting.
    WindowFrontend(ListReport& report, ShellOpens& opens) : report_(&report), opens_(&opens) {}
    int Message(const std::wstring& text, const std::wstring& caption, UINT flags) override;
    void Open(const std::wstring& path, const wchar_t* verb, int show) override;
    void ShowBusy(bool busy) override;
    void Breathe() override;
    void KeepAlive() override;

private:
    void ShowReport() {
        if (report_) report_->Show();
    }
    ListReport* report_ = nullptr;
    ShellOpens* opens_ = nullptr;
};

// The install press: the run over the form's record (shown in lstAnw),
// lists, progress controls and Zip1, with the offered sections, work
// folder and base URL the wizard holds.
InstallEnd RunInstallPress(TfrmMain& form);

// HttpDownload with the window's boxes, as the window's handlers fetch.
bool HttpDownload(const std::wstring& url, const std::wstring& dest, bool askToOpen,
                  const TransferLimits& limits = TransferLimits());
