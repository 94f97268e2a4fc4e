#include "ui/main.h"

#include <commctrl.h>

#include <string>
#include <utility>
#include <vector>

#include "ui/Controls.h"
#include "ui/CustomerPage.h"
#include "sys/Dateien.h"
#include "sys/Handles.h"
#include "run/InstallRun.h"
#include "run/ListFetch.h"
#include "ui/LogoffHold.h"
#include "sys/Trust.h"
#include "run/Variable.h"
#include "net/Transfers.h"
#include "ui/WindowReporting.h"
#include "res/resource.h"

struct TfrmMain::Resources {
    GdiObject font;         // Tahoma, 11 pixels
    GdiObject headingFont;  // MS Sans Serif, 15 pixels
    GdiObject silverBrush{CreateSolidBrush(kSilver)};
    GdiObject banner;
    GdiObject next, nextHot, nextDisabled;
    IconHandle bigIcon, smallIcon;
    HWND tooltip = nullptr;
};

namespace {

constexpr int kDesignClientWidth = 972;
constexpr int kDesignClientHeight = 663;

const wchar_t kMainClass[] = L"TfrmMain";

HFONT MakeFont(const wchar_t* face, int pixelHeight) {
    LOGFONTW lf{};
    lf.lfHeight = -pixelHeight;
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = DEFAULT_QUALITY;
    wcsncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
    return CreateFontIndirectW(&lf);
}

enum class Parent { Panel1, panAdr };

// One row per control: where it sits and what it starts with.
struct ControlRow {
    ControlId id;
    Parent parent;
    const wchar_t* cls;
    const wchar_t* text;
    DWORD style;
    DWORD exStyle;
    int x, y, w, h;
};

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
const wchar_t kNineBlanks[] = L"         ";

// Creation order is the tab order on Panel1: lstAnw, lstUpd, panAdr, cmdnex,
// ProgressBar1 (the lists and the bar are no tab stops).
const ControlRow kLayout[] = {
    {ControlId::lstAnw, Parent::Panel1, L"LISTBOX", L"",
     kChild | WS_VSCROLL | LBS_NOINTEGRALHEIGHT | LBS_NOSEL, WS_EX_CLIENTEDGE, 8, 64, 441, 129},
    {ControlId::lstUpd, Parent::Panel1, L"LISTBOX", L"",
     kChild | WS_VSCROLL | LBS_NOINTEGRALHEIGHT | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_NOTIFY,
     WS_EX_CLIENTEDGE, 8, 200, 441, 81},
    {ControlId::panAdr, Parent::Panel1, kPanelClass, L"", kChild | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, 8, 56,
     467, 225},
    {ControlId::cmdnex, Parent::Panel1, L"BUTTON", L"Weiter", kChild | WS_TABSTOP | BS_OWNERDRAW, 0, 304, 337,
     145, 41},
    {ControlId::ProgressBar1, Parent::Panel1, PROGRESS_CLASSW, L"", WS_CHILD | WS_CLIPSIBLINGS, 0, 15, 287, 434,
     17},
    {ControlId::lblSize, Parent::Panel1, kLabelClass, kNineBlanks, kChild, 0, 15, 310, 0, 0},
    {ControlId::lblFile, Parent::Panel1, kLabelClass, kNineBlanks, kChild, 0, 15, 321, 434, 0},
    {ControlId::Label6, Parent::panAdr, kLabelClass, L"Erfassen Sie bitte nachstehende Felder", kChild, 0, 40,
     16, 0, 0},
    {ControlId::txtFir, Parent::panAdr, L"EDIT", L" ", kChild | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE,
     144, 64, 297, 21},
    {ControlId::txtOrt, Parent::panAdr, L"EDIT", L" ", kChild | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE,
     144, 88, 297, 21},
    {ControlId::txtSac, Parent::panAdr, L"EDIT", L" ", kChild | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE,
     144, 112, 297, 21},
    {ControlId::txtPC, Parent::panAdr, L"EDIT", L" ", kChild | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE,
     144, 136, 297, 21},
    {ControlId::txtTel, Parent::panAdr, L"EDIT", L" ", kChild | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE,
     144, 160, 297, 21},
    {ControlId::txtMail, Parent::panAdr, L"EDIT", L" ", kChild | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE,
     144, 184, 297, 21},
};

struct RowLabel {
    const wchar_t* caption;
    int y;
};
const RowLabel kRowLabels[] = {{L"Firma", 72},   {L"PLZ/Ort", 96}, {L"Sachbearbeiter", 120},
                               {L"PC-Name", 144}, {L"Telefon", 168}, {L"E-Mail", 192}};

bool RegisterMainClass(HINSTANCE instance, WNDPROC proc, HBRUSH background, HICON bigIcon, HICON smallIcon) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    wc.lpfnWndProc = proc;
    wc.lpszClassName = kMainClass;
    wc.hIcon = bigIcon;
    wc.hIconSm = smallIcon;
    return RegisterClassExW(&wc) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// Nothing may unwind through user32 or out of the program's start: every
// error a handler raises ends here, in the general error display. An error
// without a text for the user is shown as the caller's fallback.
template <typename Work>
void RunShowingErrors(const wchar_t* fallback, Work&& work) {
    try {
        std::forward<Work>(work)();
    } catch (const UpdateError& e) {
        ShowGeneralError(e.message());
    } catch (const std::exception&) {
        ShowGeneralError(fallback);
    }
}

}  // namespace

// ---- window life ----------------------------------------------------------

TfrmMain::TfrmMain() = default;

TfrmMain::~TfrmMain() {
    if (hwnd_) DestroyWindow(hwnd_);
}

bool TfrmMain::Create(HINSTANCE instance, bool startupChecks) {
    res_ = std::make_unique<Resources>();
    res_->bigIcon.reset(static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_MAIN), IMAGE_ICON, 48, 48, 0)));
    res_->smallIcon.reset(
        static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_MAIN), IMAGE_ICON, 16, 16, 0)));
    res_->font.reset(MakeFont(L"Tahoma", 11));
    res_->headingFont.reset(MakeFont(L"MS Sans Serif", 15));
    res_->banner.reset(LoadBanner(instance));
    res_->next.reset(LoadImageW(instance, MAKEINTRESOURCEW(IDB_NEXT), IMAGE_BITMAP, 0, 0, 0));
    res_->nextHot.reset(LoadImageW(instance, MAKEINTRESOURCEW(IDB_NEXT_HOT), IMAGE_BITMAP, 0, 0, 0));
    res_->nextDisabled.reset(LoadImageW(instance, MAKEINTRESOURCEW(IDB_NEXT_DISABLED), IMAGE_BITMAP, 0, 0, 0));
    const HBRUSH background = static_cast<HBRUSH>(res_->silverBrush.get());
    if (!RegisterControlClasses(instance, background) ||
        !RegisterMainClass(instance, &TfrmMain::WndProc, background, res_->bigIcon.get(), res_->smallIcon.get()))
        return false;

    RECT rc{0, 0, kDesignClientWidth, kDesignClientHeight};
    AdjustWindowRectEx(&rc, kStyle, FALSE, kExStyle);
    if (!CreateWindowExW(kExStyle, kMainClass, kAppTitle, kStyle, 0, 0, rc.right - rc.left,
                         rc.bottom - rc.top, nullptr, nullptr, instance, this))
        return false;
    CreateControls();
    if (startupChecks) RunShowingErrors(L"Unerwarteter Fehler beim Start", [this] { FormCreate(); });
    return true;
}

void TfrmMain::Show() {
    // The show handler runs before the window is first drawn, so the page
    // appears already in place.
    if (!shown_) {
        shown_ = true;
        RunShowingErrors(kUnexpectedError, [this] { FormShow(); });
    }
    ShowWindow(hwnd_, SW_SHOW);
    SetFocus(txtFir);
    UpdateWindow(hwnd_);
}

HWND& TfrmMain::Slot(ControlId id) noexcept {
    switch (id) {
    case ControlId::Panel1: return Panel1;
    case ControlId::imgBanner: return imgBanner;
    case ControlId::lstAnw: return lstAnw;
    case ControlId::lstUpd: return lstUpd;
    case ControlId::ProgressBar1: return ProgressBar1;
    case ControlId::lblSize: return lblSize;
    case ControlId::lblFile: return lblFile;
    case ControlId::cmdnex: return cmdnex;
    case ControlId::panAdr: return panAdr;
    case ControlId::Label6: return Label6;
    case ControlId::txtFir: return txtFir;
    case ControlId::txtOrt: return txtOrt;
    case ControlId::txtSac: return txtSac;
    case ControlId::txtPC: return txtPC;
    case ControlId::txtTel: return txtTel;
    case ControlId::txtMail: break;
    }
    return txtMail;
}

void TfrmMain::CreateControls() {
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hwnd_, GWLP_HINSTANCE));
    RECT client;
    GetClientRect(hwnd_, &client);
    Panel1 = CreateWindowExW(WS_EX_CONTROLPARENT, kPanelClass, L" ", kChild | WS_CLIPCHILDREN, 0, 0,
                             client.right, client.bottom, hwnd_, nullptr, instance, nullptr);
    SetPanelRaised(Panel1);

    for (const ControlRow& c : kLayout) {
        HWND parent = c.parent == Parent::Panel1 ? Panel1 : panAdr;
        Slot(c.id) = CreateWindowExW(c.exStyle, c.cls, c.text, c.style, c.x, c.y, c.w, c.h, parent, nullptr,
                                     instance, nullptr);
    }
    SetLabelWraps(lblFile);
    for (const RowLabel& r : kRowLabels) {
        HWND label = CreateWindowExW(0, kLabelClass, r.caption, kChild, 40, r.y, 0, 0, panAdr, nullptr,
                                     instance, nullptr);
        SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(res_->font.get()), FALSE);
    }
    // The banner lies under every other control, as a picture painted on the panel would.
    imgBanner = CreateWindowExW(0, L"STATIC", L"", kChild | SS_BITMAP | SS_NOTIFY, 1, 1, 608, 67, Panel1,
                                nullptr, instance, nullptr);
    SendMessageW(imgBanner, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(res_->banner.get()));
    SetWindowPos(imgBanner, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    UseLinkCursor(imgBanner);
    // While in place the customer page covers both lists.
    SetWindowPos(panAdr, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    res_->tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0, 0,
                                    0, hwnd_, nullptr, instance, nullptr);
    TOOLINFOW ti{};
    ti.cbSize = TTTOOLINFOW_V1_SIZE;
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = Panel1;
    ti.uId = reinterpret_cast<UINT_PTR>(imgBanner);
    ti.lpszText = const_cast<wchar_t*>(L"zur Talvero Homepage");
    SendMessageW(res_->tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));

    SendMessageW(ProgressBar1, PBM_SETRANGE32, 0, 100);
    MakeCheckList(lstUpd);
    MakePictureButton(cmdnex);
    ApplyFonts();
}

void TfrmMain::ApplyFonts() {
    const WPARAM font = reinterpret_cast<WPARAM>(res_->font.get());
    for (const ControlRow& c : kLayout) SendMessageW(Control(c.id), WM_SETFONT, font, FALSE);
    SendMessageW(Label6, WM_SETFONT, reinterpret_cast<WPARAM>(res_->headingFont.get()), FALSE);
}

LRESULT CALLBACK TfrmMain::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* created = static_cast<TfrmMain*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        created->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
        // The owner of every box from here on, FormCreate's included.
        SetApplicationWindow(hwnd);
    }
    auto* self = reinterpret_cast<TfrmMain*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
    LRESULT result = 0;
    RunShowingErrors(kUnexpectedError, [&] { result = self->HandleMessage(msg, wp, lp); });
    return result;
}

LRESULT TfrmMain::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_COMMAND:
        OnCommand(reinterpret_cast<HWND>(lp), HIWORD(wp));
        return 0;
    case WM_DRAWITEM: {
        const auto& di = *reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
        if (di.hwndItem == lstUpd) DrawCheckItem(di);
        if (di.hwndItem == cmdnex)
            DrawPictureButton(di, {res_->next.get(), res_->nextHot.get(), res_->nextDisabled.get()}, res_->font.get());
        return TRUE;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        SetBkColor(reinterpret_cast<HDC>(wp), kSilver);
        return reinterpret_cast<LRESULT>(res_->silverBrush.get());
    case WM_SETCURSOR:
        if (BusyCursorShown()) {
            SetCursor(LoadCursorW(nullptr, IDC_WAIT));
            return TRUE;
        }
        break;
    case WM_ACTIVATE:
        // Focus comes back to the control that had it, as in a dialog. The
        // window manager may activate the window again a moment after a
        // message box closed, later than the handler that moved the focus
        // (the missing customer field); that late activation must not move
        // the focus to the frame.
        if (LOWORD(wp) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus && IsChild(hwnd_, focus)) lastFocus_ = focus;
            break;
        }
        if (HWND focus = GetFocus(); focus && IsChild(hwnd_, focus)) return 0;
        if (lastFocus_ && IsWindow(lastFocus_) && IsChild(hwnd_, lastFocus_)) {
            SetFocus(lastFocus_);
            return 0;
        }
        break;
    case WM_SETFOCUS:
        if (lastFocus_ && IsWindow(lastFocus_) && IsChild(hwnd_, lastFocus_)) SetFocus(lastFocus_);
        return 0;
    case WM_CLOSE:
        OnClose();
        return 0;
    case WM_QUERYENDSESSION:
        if (installing_) return FALSE;
        break;
    case WM_ENDSESSION:
        if (wp && installing_) OnSessionEnding();
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY:
        if (ApplicationWindow() == hwnd_) SetApplicationWindow(nullptr);
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        hwnd_ = nullptr;
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hwnd_, msg, wp, lp);
}

void TfrmMain::OnCommand(HWND control, UINT code) {
    if (control == cmdnex && code == BN_CLICKED) RunPress();
    if (control == lstUpd && code == kCheckListClicked) lstUpdClick();
}

// A press that processes pending messages may see the user close the window;
// the window and its controls must outlive that press.
void TfrmMain::OnClose() {
    if (InPress()) {
        closePending_ = true;
        return;
    }
    DestroyWindow(hwnd_);
}

void TfrmMain::RunPress() {
    if (InPress()) return;  // a press is not started again from inside itself
    ++pressDepth_;
    RunShowingErrors(kUnexpectedError, [this] { cmdnexClick(); });
    --pressDepth_;
    if (closePending_) DestroyWindow(hwnd_);
}

// ---- the wizard -----------------------------------------------------------

void TfrmMain::FormShow() {
    session_.updateBaseUrl = MakeUpdateBaseUrl(session_.registryRoot);
    if (!FolderExists(session_.workFolder)) ForceFolderChain(session_.workFolder);
    LoadCustomerData(*this);
    step_ = WizardStep::CustomerData;
    SetWindowPos(panAdr, nullptr, 8, 64, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS);
    ListClear(lstAnw);
    for (const wchar_t* line :
         {L" Bevor Sie mit dem Live Update beginnen müssen folgende Punkte erledigt werden: ",
          L" - Schliessen Sie alle Programme", L" - Sichern Sie alle nicht wieder herstellbaren Daten", L"",
          L" Info:", L" - Sie können Mirado erst nach Abschluss des Live-Updates wieder verwenden."})
        ListAdd(lstAnw, line);
    ListClear(lstUpd);
    CheckListAdd(lstUpd, L"Obige Punkte sind erledigt", false);
    EnableWindow(cmdnex, TRUE);
}

void TfrmMain::cmdnexClick() {
    switch (step_) {
    case WizardStep::CustomerData:
        PressCustomerData();
        break;
    case WizardStep::Confirmation:
        PressFetchList();
        break;
    case WizardStep::Selection:
        PressInstall();
        break;
    case WizardStep::Finished:
    case WizardStep::NothingToDo:
        PostMessageW(hwnd_, WM_CLOSE, 0, 0);
        break;
    default:
        break;
    }
}

void TfrmMain::PressCustomerData() {
    if (!SaveCustomerData(*this)) return;
    // Moved out of sight, not hidden: the lists below come into view.
    SetWindowPos(panAdr, nullptr, 500, 64, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS);
    EnableWindow(cmdnex, FALSE);
    step_ = WizardStep::Confirmation;
}

void TfrmMain::PressFetchList() {
    struct Cleanup {
        HWND button;
        ~Cleanup() {
            EnableWindow(button, TRUE);
            SetBusyCursor(false);
            ProcessMessages();
        }
    } cleanup{cmdnex};
    const std::wstring listFile = session_.workFolder + L"update.cfg";
    const std::wstring listUrl = session_.updateBaseUrl + L"update19.txt";
    const ListTrust trust{EmbeddedListKeys(), session_.registryRoot};
    WindowFrontend frontend;
    // The list an earlier press checked is let go: the new one replaces it.
    verifiedList_.Release();
    // A list that fails its signature or head check leaves the step where a
    // failed fetch does: the next press tries again.
    FetchedList fetched = FetchUpdateList(listUrl, listFile, trust, frontend, session_.limits);
    if (fetched.result != ListFetchResult::Fetched) outcome_ = RunResult::ListFailed;
    switch (fetched.result) {
    case ListFetchResult::Refused:
        ShowGeneralError(fetched.refusal);
        return;
    case ListFetchResult::Failed:
        return;
    case ListFetchResult::Fetched:
        break;
    }
    session_.listSigned = !trust.keys.empty();
    verifiedList_ = std::move(fetched.verified);
    step_ = ReadUpdateList(listFile) ? WizardStep::Selection : WizardStep::NothingToDo;
    if (step_ == WizardStep::NothingToDo) outcome_ = RunResult::Installed;
}

void TfrmMain::PressInstall() {
    // An error from the run leaves the step at Selection and the caption at
    // "Weiter", so a further press starts the installation again; the
    // button and the cursor come back in every case.
    struct Cleanup {
        HWND button;
        ~Cleanup() {
            EnableWindow(button, TRUE);
            SetBusyCursor(false);
        }
    } cleanup{cmdnex};
    EnableWindow(cmdnex, FALSE);
    SetBusyCursor(true);
    const LogoffHold hold(hwnd_, &installing_);
    // A run that an error ends did not install everything.
    outcome_ = RunResult::NotAllInstalled;
    const InstallEnd end = RunInstallPress(*this);
    outcome_ = end == InstallEnd::Done ? RunResult::Installed : RunResult::NotAllInstalled;
    if (end == InstallEnd::ListChanged) {
        outcome_ = RunResult::ListFailed;
        // Nothing of it was installed, and nothing of it may be: the wizard
        // ends, and the next start fetches the list afresh.
        verifiedList_.Release();
        DeleteOldList(session_.workFolder + L"update.cfg");
        ListClear(lstUpd);
        ShowGeneralError(kChangedListText);
        step_ = WizardStep::NothingToDo;
        SetWindowTextW(cmdnex, kFinishCaption);
        InvalidateRect(cmdnex, nullptr, TRUE);
        return;
    }
    // The run is over: the list may change from now on.
    verifiedList_.Release();
    step_ = WizardStep::Finished;
    SetWindowTextW(cmdnex, kFinishCaption);
    // The button is drawn by the window itself.
    InvalidateRect(cmdnex, nullptr, TRUE);
}

// Windows ends the session in spite of the hold (the user insisted, or the
// machine is shut down by force) and ends the process as soon as this
// returns: the run's lines so far become the day's log, with why it ends
// there. Every installed file is the old or the new one; what a transfer
// had fetched so far lies in a side file, which the next run sweeps.
void TfrmMain::OnSessionEnding() { SaveEndedRunLog(runRecord_.Lines(), session_.workFolder); }

void TfrmMain::lstUpdClick() {
    if (step_ != WizardStep::Confirmation) return;
    EnableWindow(cmdnex, ListCount(lstUpd) > 0 && CheckListChecked(lstUpd, 0));
}
