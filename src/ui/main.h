#pragma once
// The main window TfrmMain: the wizard with its one button.
#include <windows.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>
#include "app/Shell.h"
#include "net/Reporting.h"  // kAppTitle
#include "ui/CheckList.h"
#include "run/ListFetch.h"
#include "run/RunRecord.h"
#include "run/RunResult.h"
#include "run/Session.h"
#include "ui/ShellOpens.h"
#include "zip/ZipExtractor.h"

// The button's caption once the wizard has nothing more to do.
inline constexpr const wchar_t* kFinishCaption = L"Beenden";
// The first words of every box of a fault nobody expected.
inline constexpr const wchar_t* kUnexpectedError = L"Unerwarteter Fehler";

// Where the wizard stands; the button's press does what the step asks for.
enum class WizardStep {
    CustomerData = 0,  // the customer page is shown
    Confirmation = 1,  // the user confirms the preparations; the press fetches the list
    Selection = 2,     // the updates are offered; the press installs them
    Finished = 3,      // installed; the press closes the window
    NothingToDo = 99,  // the list offered nothing; the press closes the window
};

// The window's controls, named as in the layout.
enum class ControlId {
    Panel1, imgBanner, lstAnw, lstUpd, ProgressBar1, lblSize, lblFile, cmdnex, panAdr, Label6,
    txtFir, txtOrt, txtSac, txtPC, txtTel, txtMail,
};

class TfrmMain {
public:
    TfrmMain();  // out of line: Resources is complete only there
    ~TfrmMain();
    TfrmMain(const TfrmMain&) = delete;
    TfrmMain& operator=(const TfrmMain&) = delete;

    // Creates the window; FormCreate runs inside unless startupChecks is
    // false (tests that need only the controls). False when the window could
    // not be created at all.
    bool Create(HINSTANCE instance, bool startupChecks = true);
    // Shows the window the first time (FormShow runs inside).
    void Show();

    // Handlers of the wizard.
    void FormCreate();
    void FormShow();
    void cmdnexClick();
    void lstUpdClick();
    bool ReadUpdateList(const std::wstring& fileName);

    HWND Handle() const noexcept { return hwnd_; }
    // Set by the creation step when the program must end once it runs.
    bool TerminateRequested() const noexcept { return terminateRequested_; }
    void RequestTerminate() noexcept { terminateRequested_ = true; }
    // How the wizard ended so far, in the codes of an unattended run; none
    // while it has not reached a result (closed before the list came).
    const std::optional<RunResult>& Outcome() const noexcept { return outcome_; }
    // True while a press of the button runs.
    bool InPress() const noexcept { return pressDepth_ > 0; }
    WizardStep Step() const noexcept { return step_; }
    void SetStep(WizardStep step) noexcept { step_ = step; }
    // What the start-up found (filled by FormCreate; tests set it directly).
    const Session& session() const noexcept { return session_; }
    Session& session() noexcept { return session_; }
    // The section of each entry of lstUpd, in list order (ReadUpdateList).
    const std::vector<std::wstring>& OfferedSections() const noexcept { return offeredSections_; }
    // The install run's record: its lines while it works (written as the
    // log also when Windows ends the session midway), then the log's place.
    RunRecord& runRecord() noexcept { return runRecord_; }
    // The list the last fetch checked, held until the install run is over.
    const VerifiedList& verifiedList() const noexcept { return verifiedList_; }
    // Files opened for the user; the program's end waits for them to start.
    ShellOpens& shellOpens() noexcept { return shellOpens_; }

    // A control of the window, for the window's own units (the customer
    // page, the install press) and for tests, which drive the window as a
    // user would. Nobody else holds or replaces the window's handles.
    HWND Control(ControlId id) const noexcept { return const_cast<TfrmMain*>(this)->Slot(id); }
    TZipExtractor& zip() noexcept { return Zip1; }

private:
    HWND& Slot(ControlId id) noexcept;

    HWND Panel1 = nullptr, imgBanner = nullptr, lstAnw = nullptr, lstUpd = nullptr,
         ProgressBar1 = nullptr, lblSize = nullptr, lblFile = nullptr, cmdnex = nullptr,
         panAdr = nullptr, Label6 = nullptr;
    HWND txtFir = nullptr, txtOrt = nullptr, txtSac = nullptr, txtPC = nullptr,
         txtTel = nullptr, txtMail = nullptr;
    TZipExtractor Zip1;

    static constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    static constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_APPWINDOW | WS_EX_CONTROLPARENT;

    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
    void CreateControls();
    void OnCommand(HWND control, UINT code);
    void OnClose();
    void RunPress();
    void PressCustomerData();
    void PressFetchList();
    void PressInstall();
    void OnSessionEnding();
    void ApplyFonts();

    HWND hwnd_ = nullptr;
    bool terminateRequested_ = false;
    std::optional<RunResult> outcome_;
    bool shown_ = false;
    bool closePending_ = false;
    bool installing_ = false;  // the install run works (LogoffHold)
    int pressDepth_ = 0;
    WizardStep step_ = WizardStep::CustomerData;
    Session session_;
    RunRecord runRecord_;
    VerifiedList verifiedList_;
    std::vector<std::wstring> offeredSections_;
    HWND lastFocus_ = nullptr;  // the control that had the focus when the window was left
    struct Resources;
    std::unique_ptr<Resources> res_;
    ShellOpens shellOpens_;
};
