#include "ui/CheckList.h"

#include <commctrl.h>


namespace {

constexpr int kCheckBoxWidth = 16;

// The list's owner hears of every click, as of a command of the list.
void NotifyListClick(HWND list) {
    SendMessageW(GetParent(list), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), kCheckListClicked),
                 reinterpret_cast<LPARAM>(list));
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
        NotifyListClick(h);
        return r;
    }
    case WM_KEYDOWN:
        if (wp == VK_SPACE) {
            ToggleItem(h, static_cast<int>(SendMessageW(h, LB_GETCURSEL, 0, 0)));
            NotifyListClick(h);
            return 0;
        }
        break;
    default:
        break;
    }
    return DefSubclassProc(h, msg, wp, lp);
}

}  // namespace

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

void MakeCheckList(HWND list) {
    SendMessageW(list, LB_SETITEMHEIGHT, 0, kCheckBoxWidth);
    SetWindowSubclass(list, CheckListProc, 0, 0);
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
