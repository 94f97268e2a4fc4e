// Reading the fetched update list (update.cfg): the sections that apply to
// the products installed here become check items in lstUpd.
#include "ui/main.h"

#include <string>

#include "ui/Controls.h"
#include "sys/Dateien.h"
#include "sys/Handles.h"
#include "sys/Reg.h"
#include "sys/Text.h"
#include "run/Variable.h"

namespace {

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
std::wstring RegisteredFolder(HKEY root, const std::wstring& productKey) {
    const std::wstring name = productKey + L" Dir";
    if (name.size() > kMaxValueName || name.find(L'\0') != std::wstring::npos) return std::wstring();
    return Trimmed(RegReadString(root, kSettingsKey, name), IsBlankOrControl);
}

// The install run finds an entry's section through its position in the
// section ids, one character per entry. A header whose id is not a
// single character between brackets could never be found that way (and
// would shift every entry after it), so its section is not offered.
bool SingleCharacterId(const std::wstring& header, wchar_t* id) {
    if (header.size() != 3 || header.back() != L']') return false;
    *id = header[1];
    return true;
}

class UpdateListReader {
public:
    UpdateListReader(HANDLE file, HWND list, HKEY root, std::vector<std::wstring>* sections)
        : in_(file), list_(list), root_(root), sections_(*sections) {}

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
                folder = RegisteredFolder(root_, pendingProduct_);
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
                if (RegKeyExists(root_, kMiradopro19Key)) ListEntry();
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
        sections_.push_back(std::wstring(1, sectionId_));
        ++entries_;
    }

    ListLineReader in_;
    HWND list_;
    HKEY root_;
    std::vector<std::wstring>& sections_;
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
    offeredSections_.clear();
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
        if (file) entries = UpdateListReader(file.get(), lstUpd, session_.registryRoot, &offeredSections_).Run();
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
