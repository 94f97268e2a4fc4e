#include "ui/Controls.h"

#include <commctrl.h>

#include "sys/Handles.h"
#include "ui/main.h"
#include "res/resource.h"

namespace {

HBRUSH SilverBrush() {
    static const GdiObject brush(CreateSolidBrush(kSilver));
    return static_cast<HBRUSH>(brush.get());
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
        if (HWND top = GetAncestor(h, GA_ROOT); top && top != h) return SendMessageW(top, msg, wp, lp);
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

HGDIOBJ LabelFont(HWND label) { return reinterpret_cast<HGDIOBJ>(GetWindowLongPtrW(label, kLabelFontSlot)); }

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
    int w = 0, hgt = 0;
    bool resize = false;
    {
        // The context goes back before the label moves.
        const WindowDC dc(h);
        const SelectedObject font(dc.get(), LabelFont(h));
        RECT need{0, 0, Wraps(h) ? now.right - now.left : 0, 0};
        DrawTextW(dc.get(), text.c_str(), static_cast<int>(text.size()), &need,
                  DT_CALCRECT | DT_NOPREFIX | (Wraps(h) ? DT_WORDBREAK : DT_SINGLELINE));
        w = need.right - need.left;
        hgt = need.bottom - need.top;
        resize = w != now.right - now.left || hgt != now.bottom - now.top;
        if (!resize && IsWindowVisible(h)) DrawLabel(h, dc.get(), text);
    }
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
        {
            const SelectedObject font(dc, LabelFont(h));
            DrawLabel(h, dc, ControlText(h));
        }
        EndPaint(h, &ps);
        return 0;
    }
    default:
        break;
    }
    return DefWindowProcW(h, msg, wp, lp);
}

// ---- picture button and banner ------------------------------------------

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

LRESULT CALLBACK BannerProc(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
    if (msg == WM_SETCURSOR) {
        SetCursor(LoadCursorW(nullptr, BusyCursorShown() ? IDC_WAIT : IDC_HAND));
        return TRUE;
    }
    return DefSubclassProc(h, msg, wp, lp);
}

}  // namespace

std::wstring ControlText(HWND h) {
    const int n = GetWindowTextLengthW(h);
    std::wstring s(static_cast<size_t>(n) + 1, L'\0');
    GetWindowTextW(h, &s[0], n + 1);
    s.resize(static_cast<size_t>(n));
    return s;
}

bool RegisterControlClasses(HINSTANCE instance, HBRUSH background) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    const struct {
        const wchar_t* name;
        WNDPROC proc;
        int extraBytes;
    } classes[] = {{kPanelClass, PanelProc, 0},
                   // a label's font, in kLabelFontSlot
                   {kLabelClass, LabelProc, static_cast<int>(sizeof(LONG_PTR))}};
    for (const auto& c : classes) {
        wc.lpfnWndProc = c.proc;
        wc.lpszClassName = c.name;
        wc.cbWndExtra = c.extraBytes;
        if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
    }
    return true;
}

void SetPanelRaised(HWND panel) { SetWindowLongPtrW(panel, GWLP_USERDATA, 1); }

void SetLabelWraps(HWND label) { SetWindowLongPtrW(label, GWLP_USERDATA, kLabelWrap); }

HBITMAP LoadBanner(HINSTANCE instance) {
    return static_cast<HBITMAP>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDB_BANNER), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

void UseLinkCursor(HWND banner) { SetWindowSubclass(banner, BannerProc, 0, 0); }

void MakePictureButton(HWND button) { SetWindowSubclass(button, HotButtonProc, 0, 0); }

void DrawPictureButton(const DRAWITEMSTRUCT& di, const ButtonPictures& pictures, HGDIOBJ font) {
    const bool disabled = (di.itemState & ODS_DISABLED) != 0;
    const bool hot = GetWindowLongPtrW(di.hwndItem, GWLP_USERDATA) != 0;
    RECT rc = di.rcItem;
    DrawFrameControl(di.hDC, &rc, DFC_BUTTON,
                     DFCS_BUTTONPUSH | ((di.itemState & ODS_SELECTED) ? DFCS_PUSHED : 0));
    HGDIOBJ picture = disabled ? pictures.disabled : hot ? pictures.hot : pictures.normal;
    const std::wstring caption = ControlText(di.hwndItem);
    {
        const SelectedObject selectedFont(di.hDC, font);
        SIZE ext{};
        GetTextExtentPoint32W(di.hDC, caption.c_str(), static_cast<int>(caption.size()), &ext);
        const int gap = 8, total = ext.cx + gap + 32;
        const int left = (rc.right - rc.left - total) / 2 + ((di.itemState & ODS_SELECTED) ? 1 : 0);
        SetBkMode(di.hDC, TRANSPARENT);
        SetTextColor(di.hDC, GetSysColor(disabled ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
        TextOutW(di.hDC, left, (rc.bottom - ext.cy) / 2, caption.c_str(), static_cast<int>(caption.size()));
        const MemoryDC mem(CreateCompatibleDC(di.hDC));
        const SelectedObject shown(mem.get(), picture);
        // The pictures are drawn on silver, which lets the button face show through.
        GdiTransparentBlt(di.hDC, left + ext.cx + gap, (rc.bottom - 32) / 2, 32, 32, mem.get(), 0, 0, 32, 32,
                       kSilver);
    }
    if (di.itemState & ODS_FOCUS) {
        InflateRect(&rc, -4, -4);
        DrawFocusRect(di.hDC, &rc);
    }
}
