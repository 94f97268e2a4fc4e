#include "main.h"

#include <commctrl.h>
#include <ole2.h>
#include <olectl.h>
#include <shlobj.h>

#include <iterator>
#include <vector>

#include "Dateien.h"
#include "Handles.h"
#include "Reg.h"
#include "Variable.h"
#include "WinSystem.h"
#include "internet.h"
#include "res/resource.h"

TfrmMain* frmMain = nullptr;

namespace {

constexpr COLORREF kSilver = RGB(192, 192, 192);
constexpr int kDesignClientWidth = 972;
constexpr int kDesignClientHeight = 663;
constexpr int kFinalOuterWidth = 470;
constexpr int kFinalClientHeight = 400;
constexpr DWORD kMainStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kMainExStyle = WS_EX_DLGMODALFRAME | WS_EX_APPWINDOW | WS_EX_CONTROLPARENT;
constexpr int kCheckBoxWidth = 16;

const wchar_t kMainClass[] = L"TfrmMain";
const wchar_t kPanelClass[] = L"TPanel";
const wchar_t kLabelClass[] = L"TLabel";

bool busyCursor = false;

HBRUSH SilverBrush() {
    static const GdiObject brush(CreateSolidBrush(kSilver));
    return static_cast<HBRUSH>(brush.get());
}

std::wstring ControlText(HWND h) {
    const int n = GetWindowTextLengthW(h);
    std::wstring s(static_cast<size_t>(n) + 1, L'\0');
    GetWindowTextW(h, &s[0], n + 1);
    s.resize(static_cast<size_t>(n));
    return s;
}

// Characters up to code 32 (blanks and control characters) count as padding.
std::wstring TrimPadding(const std::wstring& s) {
    size_t b = 0, e = s.size();
    while (b < e && s[b] <= L' ') ++b;
    while (e > b && s[e - 1] <= L' ') --e;
    return s.substr(b, e - b);
}

// ---- panels and labels -------------------------------------------------

// Panels pass what their controls report on to the main window, so one
// window procedure handles every control wherever it sits.
LRESULT CALLBACK PanelProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_COMMAND:
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
        if (frmMain && frmMain->Handle()) return SendMessageW(frmMain->Handle(), msg, wp, lp);
        break;
    case WM_ERASEBKGND: {
        RECT rc;
        GetClientRect(h, &rc);
        FillRect(reinterpret_cast<HDC>(wp), &rc, SilverBrush());
        if (GetWindowLongPtrW(h, GWLP_USERDATA) != 0)  // raised bevel
            DrawEdge(reinterpret_cast<HDC>(wp), &rc, BDR_RAISEDOUTER, BF_RECT);
        return 1;
    }
    default:
        break;
    }
    return DefWindowProcW(h, msg, wp, lp);
}

// Labels size themselves to their text, as the wizard's texts change length
// while a transfer runs. A label marked to wrap keeps its width. The font
// lives in the window's extra bytes: a transfer sets a label's text after
// every block, and window properties would cost a server call each time.
constexpr LONG_PTR kLabelWrap = 1;
constexpr int kLabelFontSlot = 0;

bool Wraps(HWND label) { return (GetWindowLongPtrW(label, GWLP_USERDATA) & kLabelWrap) != 0; }

void DrawLabel(HWND h, HDC dc, const std::wstring& text) {
    RECT rc;
    GetClientRect(h, &rc);
    FillRect(dc, &rc, SilverBrush());
    SetBkMode(dc, TRANSPARENT);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rc,
              DT_NOPREFIX | (Wraps(h) ? DT_WORDBREAK : DT_SINGLELINE));
}

// After a new text or font: a label whose size stays is drawn at once, with
// the one device context it was measured on (a transfer changes the size
// text many times a second); one that must grow or shrink is resized and
// repainted with its uncovered surroundings.
void RefreshLabel(HWND h) {
    const std::wstring text = ControlText(h);
    RECT now;
    GetWindowRect(h, &now);
    HWND parent = GetParent(h);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&now), 2);
    HDC dc = GetDC(h);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(GetWindowLongPtrW(h, kLabelFontSlot)));
    RECT need{0, 0, Wraps(h) ? now.right - now.left : 0, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &need,
              DT_CALCRECT | DT_NOPREFIX | (Wraps(h) ? DT_WORDBREAK : DT_SINGLELINE));
    const int w = need.right - need.left, hgt = need.bottom - need.top;
    const bool resize = w != now.right - now.left || hgt != now.bottom - now.top;
    if (!resize && IsWindowVisible(h)) DrawLabel(h, dc, text);
    SelectObject(dc, old);
    ReleaseDC(h, dc);
    if (resize) {
        InvalidateRect(parent, &now, TRUE);
        SetWindowPos(h, nullptr, 0, 0, w, hgt, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        InvalidateRect(h, nullptr, FALSE);
    }
}

LRESULT CALLBACK LabelProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_SETTEXT: {
        const LRESULT r = DefWindowProcW(h, msg, wp, lp);
        RefreshLabel(h);
        return r;
    }
    case WM_SETFONT:
        SetWindowLongPtrW(h, kLabelFontSlot, static_cast<LONG_PTR>(wp));
        RefreshLabel(h);
        return 0;
    case WM_GETFONT:
        return GetWindowLongPtrW(h, kLabelFontSlot);
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(h, &ps);
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(GetWindowLongPtrW(h, kLabelFontSlot)));
        DrawLabel(h, dc, ControlText(h));
        SelectObject(dc, old);
        EndPaint(h, &ps);
        return 0;
    }
    default:
        break;
    }
    return DefWindowProcW(h, msg, wp, lp);
}

// ---- check list --------------------------------------------------------

void NotifyListClick() {
    if (frmMain) frmMain->lstUpdClick();
}

void ToggleItem(HWND list, int index) {
    if (index < 0 || index >= ListCount(list)) return;
    CheckListSetChecked(list, index, !CheckListChecked(list, index));
}

LRESULT CALLBACK CheckListProc(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
    switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        const LRESULT r = DefSubclassProc(h, msg, wp, lp);
        const LRESULT hit = SendMessageW(h, LB_ITEMFROMPOINT, 0, lp);
        const bool onItem = HIWORD(hit) == 0;
        const int x = static_cast<short>(LOWORD(lp));
        // The box toggles on a click; the caption on a double click.
        if (onItem && (x < kCheckBoxWidth + 2 || msg == WM_LBUTTONDBLCLK)) ToggleItem(h, LOWORD(hit));
        NotifyListClick();
        return r;
    }
    case WM_KEYDOWN:
        if (wp == VK_SPACE) {
            ToggleItem(h, static_cast<int>(SendMessageW(h, LB_GETCURSEL, 0, 0)));
            NotifyListClick();
            return 0;
        }
        break;
    default:
        break;
    }
    return DefSubclassProc(h, msg, wp, lp);
}

void DrawCheckItem(const DRAWITEMSTRUCT& di) {
    if (di.itemID == static_cast<UINT>(-1)) return;
    HWND list = di.hwndItem;
    RECT rc = di.rcItem;
    const bool selected = (di.itemState & ODS_SELECTED) != 0;
    FillRect(di.hDC, &rc, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    RECT box{rc.left + 2, rc.top + 1, rc.left + 2 + kCheckBoxWidth - 3, rc.top + 1 + kCheckBoxWidth - 3};
    const int id = static_cast<int>(di.itemID);
    DrawFrameControl(di.hDC, &box, DFC_BUTTON,
                     DFCS_BUTTONCHECK | DFCS_FLAT | (CheckListChecked(list, id) ? DFCS_CHECKED : 0));
    const std::wstring text = ListItemText(list, id);
    RECT tr = rc;
    tr.left += kCheckBoxWidth + 4;
    SetBkMode(di.hDC, TRANSPARENT);
    SetTextColor(di.hDC, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    DrawTextW(di.hDC, text.c_str(), static_cast<int>(text.size()), &tr,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    if (di.itemState & ODS_FOCUS) DrawFocusRect(di.hDC, &rc);
}

// ---- picture button ----------------------------------------------------

LRESULT CALLBACK HotButtonProc(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
    switch (msg) {
    case WM_MOUSEMOVE:
        if (!GetWindowLongPtrW(h, GWLP_USERDATA)) {
            SetWindowLongPtrW(h, GWLP_USERDATA, 1);
            TRACKMOUSEEVENT tme{sizeof tme, TME_LEAVE, h, 0};
            TrackMouseEvent(&tme);
            InvalidateRect(h, nullptr, FALSE);
        }
        break;
    case WM_MOUSELEAVE:
        SetWindowLongPtrW(h, GWLP_USERDATA, 0);
        InvalidateRect(h, nullptr, FALSE);
        break;
    default:
        break;
    }
    return DefSubclassProc(h, msg, wp, lp);
}

// Decodes the banner JPEG kept in the resources.
HBITMAP LoadBanner(HINSTANCE instance) {
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(IDR_BANNER), MAKEINTRESOURCEW(10) /*RT_RCDATA*/);
    if (!found) return nullptr;
    const DWORD size = SizeofResource(instance, found);
    const void* data = LockResource(LoadResource(instance, found));
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!mem || !data) return nullptr;
    memcpy(GlobalLock(mem), data, size);
    GlobalUnlock(mem);
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(mem, TRUE, &stream))) {
        GlobalFree(mem);
        return nullptr;
    }
    IPicture* picture = nullptr;
    HBITMAP result = nullptr;
    if (SUCCEEDED(OleLoadPicture(stream, static_cast<LONG>(size), FALSE, IID_IPicture,
                                 reinterpret_cast<void**>(&picture)))) {
        OLE_HANDLE handle = 0;
        if (SUCCEEDED(picture->get_Handle(&handle)))
            result = static_cast<HBITMAP>(CopyImage(reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle)),
                                                    IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
        picture->Release();
    }
    stream->Release();
    return result;
}

LRESULT CALLBACK BannerProc(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
    if (msg == WM_SETCURSOR) {
        SetCursor(LoadCursorW(nullptr, busyCursor ? IDC_WAIT : IDC_HAND));
        return TRUE;
    }
    return DefSubclassProc(h, msg, wp, lp);
}

}  // namespace

// ---- resources owned by the window ---------------------------------------

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
struct ControlSpec {
    HWND TfrmMain::*member;
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
const ControlSpec kLayout[] = {
    {&TfrmMain::lstAnw, Parent::Panel1, L"LISTBOX", L"",
     kChild | WS_VSCROLL | LBS_NOINTEGRALHEIGHT | LBS_NOSEL, WS_EX_CLIENTEDGE, 8, 64, 441, 129},
    {&TfrmMain::lstUpd, Parent::Panel1, L"LISTBOX", L"",
     kChild | WS_VSCROLL | LBS_NOINTEGRALHEIGHT | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_NOTIFY,
     WS_EX_CLIENTEDGE, 8, 200, 441, 81},
    {&TfrmMain::panAdr, Parent::Panel1, kPanelClass, L"", kChild | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, 8, 56,
     467, 225},
    {&TfrmMain::cmdnex, Parent::Panel1, L"BUTTON", L"Weiter", kChild | WS_TABSTOP | BS_OWNERDRAW, 0, 304, 337,
     145, 41},
    {&TfrmMain::ProgressBar1, Parent::Panel1, PROGRESS_CLASSW, L"", WS_CHILD | WS_CLIPSIBLINGS, 0, 15, 287, 434,
     17},
    {&TfrmMain::lblSize, Parent::Panel1, kLabelClass, kNineBlanks, kChild, 0, 15, 310, 0, 0},
    {&TfrmMain::lblFile, Parent::Panel1, kLabelClass, kNineBlanks, kChild, 0, 15, 321, 434, 0},
    {&TfrmMain::Label6, Parent::panAdr, kLabelClass, L"Erfassen Sie bitte nachstehende Felder", kChild, 0, 40,
     16, 0, 0},
    {&TfrmMain::txtFir, Parent::panAdr, L"EDIT", L" ", kChild | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE,
     144, 64, 297, 21},
    {&TfrmMain::txtOrt, Parent::panAdr, L"EDIT", L" ", kChild | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE,
     144, 88, 297, 21},
    {&TfrmMain::txtSac, Parent::panAdr, L"EDIT", L" ", kChild | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE,
     144, 112, 297, 21},
    {&TfrmMain::txtPC, Parent::panAdr, L"EDIT", L" ", kChild | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE,
     144, 136, 297, 21},
    {&TfrmMain::txtTel, Parent::panAdr, L"EDIT", L" ", kChild | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE,
     144, 160, 297, 21},
    {&TfrmMain::txtMail, Parent::panAdr, L"EDIT", L" ", kChild | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE,
     144, 184, 297, 21},
};

struct RowLabel {
    const wchar_t* caption;
    int y;
};
const RowLabel kRowLabels[] = {{L"Firma", 72},   {L"PLZ/Ort", 96}, {L"Sachbearbeiter", 120},
                               {L"PC-Name", 144}, {L"Telefon", 168}, {L"E-Mail", 192}};

bool RegisterClasses(HINSTANCE instance, WNDPROC mainProc, HBRUSH background, HICON bigIcon, HICON smallIcon) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    const struct {
        const wchar_t* name;
        WNDPROC proc;
    } classes[] = {{kPanelClass, PanelProc}, {kLabelClass, LabelProc}, {kMainClass, mainProc}};
    for (const auto& c : classes) {
        wc.lpfnWndProc = c.proc;
        wc.lpszClassName = c.name;
        wc.cbWndExtra = c.proc == LabelProc ? static_cast<int>(sizeof(LONG_PTR)) : 0;
        wc.hIcon = c.proc == mainProc ? bigIcon : nullptr;
        wc.hIconSm = c.proc == mainProc ? smallIcon : nullptr;
        if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
    }
    return true;
}

}  // namespace

// ---- window life ----------------------------------------------------------

TfrmMain::~TfrmMain() {
    if (hwnd_) DestroyWindow(hwnd_);
    if (frmMain == this) frmMain = nullptr;
    delete res_;
}

bool TfrmMain::Create(HINSTANCE instance, bool startupChecks) {
    frmMain = this;
    startupChecks_ = startupChecks;
    res_ = new Resources;
    res_->bigIcon.reset(static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_MAIN), IMAGE_ICON, 48, 48, 0)));
    res_->smallIcon.reset(
        static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_MAIN), IMAGE_ICON, 16, 16, 0)));
    res_->font.reset(MakeFont(L"Tahoma", 11));
    res_->headingFont.reset(MakeFont(L"MS Sans Serif", 15));
    res_->banner.reset(LoadBanner(instance));
    res_->next.reset(LoadImageW(instance, MAKEINTRESOURCEW(IDB_NEXT), IMAGE_BITMAP, 0, 0, 0));
    res_->nextHot.reset(LoadImageW(instance, MAKEINTRESOURCEW(IDB_NEXT_HOT), IMAGE_BITMAP, 0, 0, 0));
    res_->nextDisabled.reset(LoadImageW(instance, MAKEINTRESOURCEW(IDB_NEXT_DISABLED), IMAGE_BITMAP, 0, 0, 0));
    if (!RegisterClasses(instance, &TfrmMain::WndProc, static_cast<HBRUSH>(res_->silverBrush.get()),
                         res_->bigIcon.get(), res_->smallIcon.get()))
        return false;

    RECT rc{0, 0, kDesignClientWidth, kDesignClientHeight};
    AdjustWindowRectEx(&rc, kMainStyle, FALSE, kMainExStyle);
    if (!CreateWindowExW(kMainExStyle, kMainClass, kAppTitle, kMainStyle, 0, 0, rc.right - rc.left,
                         rc.bottom - rc.top, nullptr, nullptr, instance, this))
        return false;
    CreateControls();
    if (startupChecks_) {
        try {
            FormCreate();
        } catch (const UpdateError& e) {
            ShowGeneralError(e.message());
        } catch (const std::exception&) {
            ShowGeneralError(L"Unerwarteter Fehler beim Start");
        }
    }
    return true;
}

void TfrmMain::Show() {
    // The show handler runs before the window is first drawn, so the page
    // appears already in place.
    if (!shown_) {
        shown_ = true;
        try {
            FormShow();
        } catch (const UpdateError& e) {
            ShowGeneralError(e.message());
        } catch (const std::exception&) {
            ShowGeneralError(L"Unerwarteter Fehler");
        }
    }
    ShowWindow(hwnd_, SW_SHOW);
    SetFocus(txtFir);
    UpdateWindow(hwnd_);
}

void TfrmMain::CreateControls() {
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hwnd_, GWLP_HINSTANCE));
    RECT client;
    GetClientRect(hwnd_, &client);
    Panel1 = CreateWindowExW(WS_EX_CONTROLPARENT, kPanelClass, L" ", kChild | WS_CLIPCHILDREN, 0, 0,
                             client.right, client.bottom, hwnd_, nullptr, instance, nullptr);
    SetWindowLongPtrW(Panel1, GWLP_USERDATA, 1);  // raised bevel

    for (const ControlSpec& c : kLayout) {
        HWND parent = c.parent == Parent::Panel1 ? Panel1 : panAdr;
        this->*c.member = CreateWindowExW(c.exStyle, c.cls, c.text, c.style, c.x, c.y, c.w, c.h, parent,
                                          nullptr, instance, nullptr);
    }
    SetWindowLongPtrW(lblFile, GWLP_USERDATA, kLabelWrap);
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
    SetWindowSubclass(imgBanner, BannerProc, 0, 0);
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
    SendMessageW(lstUpd, LB_SETITEMHEIGHT, 0, kCheckBoxWidth);
    SetWindowSubclass(lstUpd, CheckListProc, 0, 0);
    SetWindowSubclass(cmdnex, HotButtonProc, 0, 0);
    ApplyFonts();
}

void TfrmMain::ApplyFonts() {
    const WPARAM font = reinterpret_cast<WPARAM>(res_->font.get());
    for (const ControlSpec& c : kLayout) SendMessageW(this->*c.member, WM_SETFONT, font, FALSE);
    SendMessageW(Label6, WM_SETFONT, reinterpret_cast<WPARAM>(res_->headingFont.get()), FALSE);
}

LRESULT CALLBACK TfrmMain::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* created = static_cast<TfrmMain*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        created->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
    }
    auto* self = reinterpret_cast<TfrmMain*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
    // Nothing may unwind through user32: every error ends here, in the
    // general error display.
    try {
        return self->HandleMessage(msg, wp, lp);
    } catch (const UpdateError& e) {
        ShowGeneralError(e.message());
    } catch (const std::exception&) {
        ShowGeneralError(L"Unerwarteter Fehler");
    }
    return 0;
}

LRESULT TfrmMain::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_COMMAND:
        OnCommand(reinterpret_cast<HWND>(lp), HIWORD(wp));
        return 0;
    case WM_DRAWITEM: {
        const auto& di = *reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
        if (di.hwndItem == lstUpd) DrawCheckItem(di);
        if (di.hwndItem == cmdnex) {
            const bool disabled = (di.itemState & ODS_DISABLED) != 0;
            const bool hot = GetWindowLongPtrW(cmdnex, GWLP_USERDATA) != 0;
            RECT rc = di.rcItem;
            DrawFrameControl(di.hDC, &rc, DFC_BUTTON,
                             DFCS_BUTTONPUSH | ((di.itemState & ODS_SELECTED) ? DFCS_PUSHED : 0));
            HGDIOBJ picture = disabled ? res_->nextDisabled.get() : hot ? res_->nextHot.get() : res_->next.get();
            const std::wstring caption = ControlText(cmdnex);
            HGDIOBJ oldFont = SelectObject(di.hDC, res_->font.get());
            SIZE ext{};
            GetTextExtentPoint32W(di.hDC, caption.c_str(), static_cast<int>(caption.size()), &ext);
            const int gap = 8, total = ext.cx + gap + 32;
            const int left = (rc.right - rc.left - total) / 2 + ((di.itemState & ODS_SELECTED) ? 1 : 0);
            SetBkMode(di.hDC, TRANSPARENT);
            SetTextColor(di.hDC, GetSysColor(disabled ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
            TextOutW(di.hDC, left, (rc.bottom - ext.cy) / 2, caption.c_str(), static_cast<int>(caption.size()));
            HDC mem = CreateCompatibleDC(di.hDC);
            HGDIOBJ oldBmp = SelectObject(mem, picture);
            // The pictures are drawn on silver, which lets the button face show through.
            TransparentBlt(di.hDC, left + ext.cx + gap, (rc.bottom - 32) / 2, 32, 32, mem, 0, 0, 32, 32, kSilver);
            SelectObject(mem, oldBmp);
            DeleteDC(mem);
            SelectObject(di.hDC, oldFont);
            if (di.itemState & ODS_FOCUS) {
                InflateRect(&rc, -4, -4);
                DrawFocusRect(di.hDC, &rc);
            }
        }
        return TRUE;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        SetBkColor(reinterpret_cast<HDC>(wp), kSilver);
        return reinterpret_cast<LRESULT>(res_->silverBrush.get());
    case WM_SETCURSOR:
        if (busyCursor) {
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
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY:
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
    try {
        cmdnexClick();
    } catch (const UpdateError& e) {
        ShowGeneralError(e.message());
    } catch (const std::exception&) {
        ShowGeneralError(L"Unerwarteter Fehler");
    }
    --pressDepth_;
    if (closePending_) DestroyWindow(hwnd_);
}

// ---- start-up -------------------------------------------------------------

namespace {

const wchar_t kDefaultRootNew[] = L"C:\\ProgrammData\\";
const wchar_t kDefaultRootXp[] = L"C:\\Dokumente und Einstellungen\\All Users\\Anwendungsdaten\\";

bool AcceptedWindows(const std::wstring& name) {
    return name == L"Windows 7" || name == L"Windows XP" || name == L"Windows 8" || name == L"Windows 10";
}

std::wstring DefaultRoot(const std::wstring& versionName) {
    if (versionName == L"Windows 7" || versionName == L"Windows 8" || versionName == L"Windows 10")
        return kDefaultRootNew;
    return kDefaultRootXp;
}

int CALLBACK BrowseInit(HWND dialog, UINT msg, LPARAM, LPARAM preset) {
    if (msg == BFFM_INITIALIZED) SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, preset);
    return 0;
}

std::wstring WithBackslash(std::wstring s) {
    if (s.empty() || s.back() != L'\\') s += L'\\';
    return s;
}

// fdApp: the standard folder browser, preset to the current folder. A cancel
// leaves the preset as the answer.
std::wstring BrowseForRoot(HWND owner, const std::wstring& prompt) {
    wchar_t current[MAX_PATH] = L"";
    GetCurrentDirectoryW(MAX_PATH, current);
    std::wstring chosen = current;
    BROWSEINFOW bi{};
    bi.hwndOwner = owner;
    bi.lpszTitle = prompt.c_str();
    bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    bi.lpfn = BrowseInit;
    bi.lParam = reinterpret_cast<LPARAM>(current);
    if (PIDLIST_ABSOLUTE pidl = SHBrowseForFolderW(&bi)) {
        wchar_t path[MAX_PATH] = L"";
        if (SHGetPathFromIDListW(pidl, path)) chosen = path;
        CoTaskMemFree(pidl);
    }
    return WithBackslash(chosen);
}

}  // namespace

void TfrmMain::FormCreate() {
    // The layout is laid out in design pixels and this window framework does
    // not scale it by the screen density, so there is no scaling to take back
    // on a screen that is not at 96 pixels per inch.
    const std::wstring versionName = GetWindowsVersionName();
    if (!AcceptedWindows(versionName)) {
        ShowMessage(L"Ihr Betriebssystem ist nicht für Mirado 2019 geeignet.", kAppTitle,
                    MB_OK | MB_ICONINFORMATION);
        RequestTerminate();
    }
    const std::wstring defaultRoot = DefaultRoot(versionName);
    AppDataRoot = GetSpecialFolder(27);
    const std::wstring prompt =
        L"Wo befindet sich das Applicationsverzeichnis?\r\rNormalerweise: " + defaultRoot;

    RegistryRoot = DetermineRegistryRoot();

    if (!FolderExists(AppDataRoot)) {
        const std::wstring stored = RegReadString(kSettingsKey, L"Common AppData");
        if (FolderExists(stored + L"Talvero\\"))
            AppDataRoot = stored;
        else if (FolderExists(defaultRoot + L"Talvero\\"))
            AppDataRoot = defaultRoot;
        else
            AppDataRoot = BrowseForRoot(hwnd_, prompt);
    }

    if (FolderExists(AppDataRoot + L"Talvero\\")) {
        RegWriteString(kSettingsKey, L"Common AppData", AppDataRoot);
    } else {
        ShowMessage(L"Applicationspfad wurde nicht gefunden!\r\rFühren Sie das Live-Update mit "
                    L"Administrationsrecht aus!",
                    kAppTitle, MB_OK | MB_ICONERROR);
        RequestTerminate();
    }

    ProFolder = AppDataRoot + L"talvero\\Miradopro19\\";
    DataTempFolder = AppDataRoot + L"talvero\\temp\\";
    StdFolder = AppDataRoot + L"talvero\\Mirados2019\\";
    if (!FolderExists(DataTempFolder) && !CreateDirectoryW(DataTempFolder.c_str(), nullptr))
        RaiseIoError(GetLastError());
    WorkFolder = GetWorkFolder();

    RECT rc{0, 0, 0, kFinalClientHeight};
    AdjustWindowRectEx(&rc, kMainStyle, FALSE, kMainExStyle);
    SetWindowPos(hwnd_, nullptr, 0, 0, kFinalOuterWidth, rc.bottom - rc.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client;
    GetClientRect(hwnd_, &client);
    MoveWindow(Panel1, 0, 0, client.right, client.bottom, FALSE);
}

// ---- the wizard -----------------------------------------------------------

void TfrmMain::FormShow() {
    UpdateBaseUrl = MakeUpdateBaseUrl();
    if (!FolderExists(WorkFolder)) ForceFolderChain(WorkFolder);
    LoadCustomerData(*this);
    WizardState = 0;
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
    switch (WizardState) {
    case 0:
        PressCustomerData();
        break;
    case 1:
        PressFetchList();
        break;
    case 2:
        PressInstall();
        break;
    case 3:
    case 99:
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
    WizardState = 1;
}

namespace {

bool ExistsFollowingLinks(const std::wstring& path) {
    const DWORD attr = GetFileAttributesW(path.c_str());
    if (attr == INVALID_FILE_ATTRIBUTES) return false;
    if (!(attr & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
    FileHandle target(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return static_cast<bool>(target);
}

// A stale list must never be read as the new one; a directory link of that
// name goes too.
void DeleteOldList(const std::wstring& path) {
    if (!ExistsFollowingLinks(path)) return;
    if (DeleteFileW(path.c_str())) return;
    // A list left read-only (copied from a CD, marked by hand) must not
    // keep every later fetch from landing.
    const DWORD marks = GetFileAttributesW(path.c_str());
    if (marks != INVALID_FILE_ATTRIBUTES && (marks & FILE_ATTRIBUTE_READONLY) && !(marks & FILE_ATTRIBUTE_DIRECTORY) &&
        SetFileAttributesW(path.c_str(), marks & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY)) &&
        DeleteFileW(path.c_str()))
        return;
    const DWORD error = GetLastError();
    const DWORD attr = GetFileAttributesW(path.c_str());
    if (attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_REPARSE_POINT) &&
        (attr & FILE_ATTRIBUTE_DIRECTORY))
        RemoveDirectoryW(path.c_str());
    else
        SetLastError(error);
}

}  // namespace

void TfrmMain::PressFetchList() {
    struct Cleanup {
        HWND button;
        ~Cleanup() {
            EnableWindow(button, TRUE);
            SetBusyCursor(false);
            ProcessMessages();
        }
    } cleanup{cmdnex};
    const std::wstring listFile = WorkFolder + L"update.cfg";
    const std::wstring listUrl = UpdateBaseUrl + L"update19.txt";
    DeleteOldList(listFile);
    if (HttpDownload(listUrl, listFile, false)) WizardState = ReadUpdateList(listFile) ? 2 : 99;
}

void TfrmMain::PressInstall() {
    // An error from the run leaves the state at 2 and the caption at
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
    InstallUpdates(*this);
    WizardState = 3;
    SetWindowTextW(cmdnex, L"Beenden");
    // The button is drawn by the window itself.
    InvalidateRect(cmdnex, nullptr, TRUE);
}

void TfrmMain::lstUpdClick() {
    if (WizardState != 1) return;
    EnableWindow(cmdnex, ListCount(lstUpd) > 0 && CheckListChecked(lstUpd, 0));
}

// ---- customer data --------------------------------------------------------

namespace {

struct CustomerField {
    HWND TfrmMain::*edit;
    const wchar_t* value;
    const wchar_t* missing;
};

const CustomerField kCustomerFields[] = {
    {&TfrmMain::txtFir, L"Firma", L"Erfassen Sie bitte den Firmennamen"},
    {&TfrmMain::txtOrt, L"Ort", L"Erfassen Sie bitte die Ortschaft"},
    {&TfrmMain::txtSac, L"User", L"Erfassen Sie bitte den Sachbearbeiternamen"},
    {&TfrmMain::txtPC, L"PC", L"Erfassen Sie bitte den PC-Namen"},
    {&TfrmMain::txtTel, L"Telefon", L"Erfassen Sie bitte die Telefonnummer"},
    {&TfrmMain::txtMail, L"E-Mail", L"Erfassen Sie bitte die E-Mailadresse"},
};

}  // namespace

void LoadCustomerData(TfrmMain& form) {
    for (const CustomerField& f : kCustomerFields)
        SetWindowTextW(form.*f.edit, RegReadStringOrInit(kSettingsKey, f.value, L"").c_str());
}

bool SaveCustomerData(TfrmMain& form) {
    for (const CustomerField& f : kCustomerFields) {
        if (TrimPadding(ControlText(form.*f.edit)).empty()) {
            ShowMessage(f.missing, kAppTitle, MB_OK | MB_ICONINFORMATION);
            SetFocus(form.*f.edit);
            return false;
        }
    }
    for (const CustomerField& f : kCustomerFields)
        RegWriteString(kSettingsKey, f.value, TrimPadding(ControlText(form.*f.edit)));
    return true;
}

// ---- shared window helpers ------------------------------------------------

HWND ApplicationWindow() { return frmMain ? frmMain->Handle() : nullptr; }

void ProcessMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Leave the quit for the message loop that ends the program.
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        HWND main = ApplicationWindow();
        if (!main || !IsDialogMessageW(main, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

void KeepWindowAlive() {
    // Between two looks at the queue only the clock is read, which costs
    // no call to the window system.
    static DWORD lastLook = 0;
    const DWORD now = GetTickCount();
    if (now - lastLook < 10) return;
    lastLook = now;
    if (HIWORD(GetQueueStatus(QS_ALLINPUT)) != 0) ProcessMessages();
}

void ShowGeneralError(const std::wstring& message) {
    std::wstring text = message;
    if (!text.empty() && text.back() > L'.') text += L'.';
    MessageBoxW(ApplicationWindow(), text.c_str(), kAppTitle, MB_OK | MB_ICONERROR);
}

void SetBusyCursor(bool busy) {
    busyCursor = busy;
    SetCursor(LoadCursorW(nullptr, busy ? IDC_WAIT : IDC_ARROW));
}

int ShowMessage(const std::wstring& text, const std::wstring& caption, UINT flags) {
    return MessageBoxW(ApplicationWindow(), text.c_str(), caption.c_str(), flags);
}

int CheckListAdd(HWND list, const std::wstring& text, bool checked) {
    const int index = static_cast<int>(SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
    if (index >= 0) SendMessageW(list, LB_SETITEMDATA, static_cast<WPARAM>(index), checked ? 1 : 0);
    return index;
}

bool CheckListChecked(HWND list, int index) {
    return SendMessageW(list, LB_GETITEMDATA, static_cast<WPARAM>(index), 0) == 1;
}

void CheckListSetChecked(HWND list, int index, bool checked) {
    SendMessageW(list, LB_SETITEMDATA, static_cast<WPARAM>(index), checked ? 1 : 0);
    RECT rc;
    if (SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&rc)) != LB_ERR)
        InvalidateRect(list, &rc, TRUE);
}

int ListCount(HWND list) { return static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0)); }

std::wstring ListItemText(HWND list, int index) {
    const LRESULT n = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (n == LB_ERR) return L"";
    std::wstring s(static_cast<size_t>(n) + 1, L'\0');
    SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&s[0]));
    s.resize(static_cast<size_t>(n));
    return s;
}

void ListAdd(HWND list, const std::wstring& text) {
    SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void ListClear(HWND list) { SendMessageW(list, LB_RESETCONTENT, 0, 0); }

// ---- update list ----

namespace {

constexpr const wchar_t* kProSettingsKey = L"\\SOFTWARE\\Talvero\\Miradopro19\\Settings";
// Offered on the pro product's settings key alone, compared as written.
constexpr const wchar_t* kListOnlyProduct = L"MIRADOPROII";
// The registry cannot hold a longer value name, so such a product key can
// never be registered and is not even asked for.
constexpr size_t kMaxValueName = 16383;

// Reads the list file line by line in the ANSI code page. A line ends at
// CR LF or at a bare LF; reading on after the end gives empty lines. A read
// error raises, as the file may then be anything but the list.
class ListLineReader {
public:
    explicit ListLineReader(HANDLE file) : file_(file) {}

    bool AtEnd() {
        Fill();
        return pos_ >= buf_.size();
    }

    std::wstring ReadLine() {
        std::string line;
        while (!AtEnd()) {
            const size_t lf = buf_.find('\n', pos_);
            if (lf != std::string::npos) {
                line.append(buf_, pos_, lf - pos_);
                pos_ = lf + 1;
                if (!line.empty() && line.back() == '\r') line.pop_back();
                break;
            }
            line.append(buf_, pos_, std::string::npos);
            pos_ = buf_.size();
        }
        return FromAnsi(line);
    }

private:
    void Fill() {
        if (pos_ < buf_.size() || ended_) return;
        buf_.resize(64 * 1024);
        DWORD got = 0;
        if (!ReadFile(file_, &buf_[0], static_cast<DWORD>(buf_.size()), &got, nullptr)) RaiseIoError(GetLastError());
        buf_.resize(got);
        pos_ = 0;
        ended_ = got == 0;
    }

    HANDLE file_;
    std::string buf_;
    size_t pos_ = 0;
    bool ended_ = false;
};

// The program folder registered for a product key, or empty.
std::wstring RegisteredFolder(const std::wstring& productKey) {
    const std::wstring name = productKey + L" Dir";
    if (name.size() > kMaxValueName || name.find(L'\0') != std::wstring::npos) return std::wstring();
    return TrimPadding(RegReadString(kSettingsKey, name));
}

// The install run finds an entry's section through its position in
// SelectedSections, one character per entry. A header whose id is not a
// single character between brackets could never be found that way (and
// would shift every entry after it), so its section is not offered.
bool SingleCharacterId(const std::wstring& header, wchar_t* id) {
    if (header.size() != 3 || header.back() != L']') return false;
    *id = header[1];
    return true;
}

class UpdateListReader {
public:
    UpdateListReader(HANDLE file, HWND list) : in_(file), list_(list) {}

    // Lists every offered section; returns the number of entries listed.
    int Run() {
        while (!in_.AtEnd()) {
            const std::wstring line = in_.ReadLine();
            std::wstring folder;
            if (!line.empty() && line[0] == L'[') {
                const std::wstring productLine = in_.ReadLine();
                pendingProduct_ = productLine.size() > 4 ? productLine.substr(4) : std::wstring();
                if (!SingleCharacterId(line, &sectionId_)) {
                    pendingProduct_.clear();
                    continue;
                }
                folder = RegisteredFolder(pendingProduct_);
            }
            // Not only header lines get here: a list-only product whose
            // registered folder is missing is still offered at the next line.
            if (!folder.empty()) {
                if (FolderExists(folder)) {
                    pendingProduct_.clear();
                    ListEntry();
                }
            } else if (pendingProduct_ == kListOnlyProduct) {
                pendingProduct_.clear();
                if (RegKeyExists(kProSettingsKey)) ListEntry();
            }
        }
        return entries_;
    }

private:
    void ListEntry() {
        const std::wstring captionLine = in_.ReadLine();
        const size_t eq = captionLine.find(L'=');
        const std::wstring caption = eq == std::wstring::npos ? captionLine : captionLine.substr(eq + 1);
        const bool checked = in_.ReadLine() != L"cek=0";
        // An entry the list could not take must not get a section id either.
        if (CheckListAdd(list_, caption, checked) < 0) return;
        SelectedSections += sectionId_;
        ++entries_;
    }

    ListLineReader in_;
    HWND list_;
    std::wstring pendingProduct_;
    wchar_t sectionId_ = L'\0';
    int entries_ = 0;
};

// A visible list redraws its scroll bar on every added item, which makes a
// long list take minutes; it is drawn once at the end instead, also when a
// read error ends the reading.
class ListRedrawPause {
public:
    explicit ListRedrawPause(HWND list) : list_(list) { SendMessageW(list_, WM_SETREDRAW, FALSE, 0); }
    ~ListRedrawPause() {
        SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(list_, nullptr, TRUE);
    }
    ListRedrawPause(const ListRedrawPause&) = delete;
    ListRedrawPause& operator=(const ListRedrawPause&) = delete;

private:
    HWND list_;
};

// The information box with the single button Yes. A Yes/No message box
// loses its No button before it shows, so the Yes button keeps the
// system's own wording; the box stays a standard dialog.
LRESULT CALLBACK YesOnlyHook(int code, WPARAM wp, LPARAM lp) {
    if (code == HCBT_ACTIVATE) {
        HWND box = reinterpret_cast<HWND>(wp);
        HWND yes = GetDlgItem(box, IDYES);
        HWND no = GetDlgItem(box, IDNO);
        if (yes && no) {
            RECT client, button;
            GetClientRect(box, &client);
            GetWindowRect(yes, &button);
            MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&button), 2);
            const int width = button.right - button.left;
            SetWindowPos(yes, nullptr, (client.right - width) / 2, button.top, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            DestroyWindow(no);
        }
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

void ShowYesOnlyInformation(const std::wstring& text) {
    struct Hook {
        HHOOK h = SetWindowsHookExW(WH_CBT, YesOnlyHook, nullptr, GetCurrentThreadId());
        ~Hook() {
            if (h) UnhookWindowsHookEx(h);
        }
    } hook;
    MessageBoxW(ApplicationWindow(), text.c_str(), L"Information", MB_YESNO | MB_ICONINFORMATION);
}

}  // namespace

bool TfrmMain::ReadUpdateList(const std::wstring& fileName) {
    ListClear(lstUpd);
    SelectedSections.clear();
    if (!FileExists(fileName)) {
        ShowYesOnlyInformation(L"Datei \"update.cfg\" ist nicht vorhanden.");
        return false;
    }
    int entries = 0;
    {
        // A list that cannot be opened (held by another program) counts as
        // a list without updates.
        const FileHandle file(CreateFileW(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        const ListRedrawPause pause(lstUpd);
        if (file) entries = UpdateListReader(file.get(), lstUpd).Run();
    }
    ListClear(lstAnw);
    if (entries > 0) {
        ListAdd(lstAnw, L"Folgende Programmteile werden erneuert");
        return true;
    }
    ListAdd(lstAnw, L"Es sind keine Updates vorhanden");
    SetWindowTextW(cmdnex, L"Beenden");
    InvalidateRect(cmdnex, nullptr, FALSE);
    return false;
}
