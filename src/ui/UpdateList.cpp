// Reading the fetched update list (update.cfg): the sections that apply to
// the products installed here become check items in lstUpd.
#include "ui/main.h"

#include <string>

#include "ui/Controls.h"
#include "sys/Dateien.h"
#include "sys/Handles.h"
#include "sys/Reg.h"
#include "sys/Text.h"
#include "run/ListFetch.h"
#include "run/OfferedEntries.h"

namespace {

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
    offeredSections_.clear();
    if (!FileExists(fileName)) {
        ShowYesOnlyInformation(L"Datei \"update.cfg\" ist nicht vorhanden.");
        return false;
    }
    int entries = 0;
    {
        // A list that cannot be opened (held by another program) counts as
        // a list without updates.
        const FileHandle file(HoldList(fileName));
        const ListRedrawPause pause(lstUpd);
        // An entry the list could not take gets no section either.
        const std::function<bool(const OfferedEntry&)> take = [this](const OfferedEntry& e) {
            if (CheckListAdd(lstUpd, e.caption, e.checked) < 0) return false;
            offeredSections_.push_back(e.section);
            return true;
        };
        if (file) entries = ReadOfferedEntries(file.get(), session_.registryRoot, take);
    }
    ListClear(lstAnw);
    if (entries > 0) {
        ListAdd(lstAnw, L"Folgende Programmteile werden erneuert");
        return true;
    }
    ListAdd(lstAnw, L"Es sind keine Updates vorhanden");
    SetWindowTextW(cmdnex, kFinishCaption);
    InvalidateRect(cmdnex, nullptr, FALSE);
    return false;
}
