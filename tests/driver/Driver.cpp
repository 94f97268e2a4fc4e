#include "Driver.h"

#include <commctrl.h>

#include <algorithm>

#include "support/TestSupport.h"

namespace uidriver {

namespace {

constexpr DWORD kSendTimeout = 10000;
constexpr UINT kSmto = SMTO_ABORTIFHUNG | SMTO_BLOCK;

LRESULT Send(HWND h, UINT msg, WPARAM wp = 0, LPARAM lp = 0) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(h, msg, wp, lp, kSmto, kSendTimeout, &result)) return -1;
    return static_cast<LRESULT>(result);
}

struct FindState {
    DWORD pid;
    const wchar_t* cls;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTop(HWND h, LPARAM lp) {
    auto* st = reinterpret_cast<FindState*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (pid == st->pid && IsWindowVisible(h) && ClassOf(h) == st->cls) st->found.push_back(h);
    return TRUE;
}

BOOL CALLBACK CollectChild(HWND h, LPARAM lp) {
    reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
    return TRUE;
}

bool At(const Wizard& w, HWND h, int x, int y) {
    const POINT p = w.Place(h);
    return p.x == x && p.y == y;
}

}  // namespace

std::vector<HWND> TopWindows(DWORD pid, const wchar_t* cls) {
    FindState st{pid, cls, {}};
    EnumWindows(CollectTop, reinterpret_cast<LPARAM>(&st));
    return st.found;
}

bool Box::Has(int id) const { return std::find(buttons.begin(), buttons.end(), id) != buttons.end(); }

std::wstring ClassOf(HWND h) {
    wchar_t name[128] = L"";
    GetClassNameW(h, name, 128);
    return name;
}

std::vector<HWND> Descendants(HWND parent) {
    std::vector<HWND> all;
    EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&all));
    return all;
}

void EndProcess(HANDLE process, HWND main, DWORD timeoutMs) {
    if (!process || WaitForSingleObject(process, 0) == WAIT_OBJECT_0) return;
    if (main && IsWindow(main)) PostMessageW(main, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process, timeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(process, 99);
        WaitForSingleObject(process, 5000);
    }
}

DWORD AskToEndSession() { return testsupport::RunToEnd(L"wineboot.exe --end-session", 60000); }

bool EndSessionAnyway(HANDLE process, HWND main) {
    DWORD_PTR result = 0;
    const bool answered =
        SendMessageTimeoutW(main, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL, 20000, &result) != 0;
    TerminateProcess(process, 0);
    return answered && WaitForSingleObject(process, 10000) == WAIT_OBJECT_0;
}

Wizard::~Wizard() {
    if (pi_.hProcess) {
        // Open boxes would keep the window from closing.
        for (const Box& b : Boxes()) Answer(b, b.Has(IDOK) ? IDOK : b.Has(IDNO) ? IDNO : IDYES);
        EndProcess(pi_.hProcess, main_, 5000);
        CloseHandle(pi_.hProcess);
        CloseHandle(pi_.hThread);
    }
}

bool Wizard::Start(const std::wstring& exe, DWORD timeoutMs, const std::wstring& args) {
    std::wstring cmd = L"\"" + exe + L"\"";
    if (!args.empty()) cmd += L" " + args;
    std::wstring folder = exe.substr(0, exe.find_last_of(L"\\/") + 1);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    if (!CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &si, &pi_))
        return false;
    WaitForInputIdle(pi_.hProcess, timeoutMs);
    const bool up = WaitFor([&] { return FindMain() != nullptr || !Boxes().empty() || !Running(); }, timeoutMs);
    main_ = FindMain();
    if (main_) FindControls();
    return up && (main_ || !Boxes().empty());
}

HWND Wizard::FindMain() const {
    for (HWND h : TopWindows(pi_.dwProcessId, L"TfrmMain")) {
        wchar_t title[64] = L"";
        GetWindowTextW(h, title, 64);
        if (std::wstring(title) == L"Talvero Liveupdate") return h;
    }
    return nullptr;
}

bool Wizard::FindControls() {
    if (!main_) main_ = FindMain();
    if (!main_) return false;
    const std::vector<HWND> all = Descendants(main_);
    for (HWND h : all)
        if (GetParent(h) == main_ && ClassOf(h) == L"TPanel") Panel1 = h;
    std::vector<HWND> rows;
    for (HWND h : all) {
        const std::wstring cls = ClassOf(h);
        HWND parent = GetParent(h);
        if (parent == Panel1) {
            if (cls == L"ListBox" || cls == L"LISTBOX") {
                if (At(*this, h, 8, 64)) lstAnw = h;
                if (At(*this, h, 8, 200)) lstUpd = h;
            } else if (cls == L"Button" || cls == L"BUTTON") {
                if (At(*this, h, 304, 337)) cmdnex = h;
            } else if (cls == L"TPanel") {
                panAdr = h;
            } else if (cls == L"msctls_progress32") {
                ProgressBar1 = h;
            } else if (cls == L"TLabel") {
                if (At(*this, h, 15, 310)) lblSize = h;
                if (At(*this, h, 15, 321)) lblFile = h;
            }
        }
    }
    for (HWND h : all)
        if (panAdr && GetParent(h) == panAdr && (ClassOf(h) == L"Edit" || ClassOf(h) == L"EDIT") &&
            Place(h).x == 144)
            rows.push_back(h);
    std::sort(rows.begin(), rows.end(), [&](HWND a, HWND b) { return Place(a).y < Place(b).y; });
    for (size_t i = 0; i < rows.size() && i < kFieldCount; ++i) edits[i] = rows[i];
    return lstAnw && lstUpd && cmdnex && panAdr && ProgressBar1 && lblSize && lblFile && rows.size() == 6;
}

bool Wizard::Running() const {
    return pi_.hProcess && WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT;
}

bool Wizard::WaitExit(DWORD timeoutMs, DWORD* code) {
    if (!pi_.hProcess || WaitForSingleObject(pi_.hProcess, timeoutMs) != WAIT_OBJECT_0) return false;
    if (code) GetExitCodeProcess(pi_.hProcess, code);
    return true;
}

bool Wizard::Responsive(DWORD timeoutMs) const {
    DWORD_PTR r = 0;
    return main_ && SendMessageTimeoutW(main_, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, timeoutMs, &r) != 0;
}

std::wstring Wizard::Text(HWND control) const {
    const LRESULT n = Send(control, WM_GETTEXTLENGTH);
    if (n <= 0) return std::wstring();
    std::wstring s(static_cast<size_t>(n) + 1, L'\0');
    const LRESULT got = Send(control, WM_GETTEXT, static_cast<WPARAM>(n + 1), reinterpret_cast<LPARAM>(&s[0]));
    s.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return s;
}

int Wizard::Count(HWND list) const { return static_cast<int>(Send(list, LB_GETCOUNT)); }

std::vector<std::wstring> Wizard::Lines(HWND list) const {
    std::vector<std::wstring> lines;
    const int n = Count(list);
    for (int i = 0; i < n; ++i) {
        const LRESULT len = Send(list, LB_GETTEXTLEN, static_cast<WPARAM>(i));
        if (len < 0) break;
        std::wstring s(static_cast<size_t>(len) + 1, L'\0');
        Send(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&s[0]));
        s.resize(static_cast<size_t>(len));
        lines.push_back(s);
    }
    return lines;
}

bool Wizard::Checked(int index) const { return Send(lstUpd, LB_GETITEMDATA, static_cast<WPARAM>(index)) == 1; }

std::vector<bool> Wizard::Checks() const {
    std::vector<bool> checks;
    for (int i = 0, n = Count(lstUpd); i < n; ++i) checks.push_back(Checked(i));
    return checks;
}

POINT Wizard::Place(HWND control) const {
    RECT rc{};
    GetWindowRect(control, &rc);
    POINT p{rc.left, rc.top};
    ScreenToClient(GetParent(control), &p);
    return p;
}

int Wizard::ProgressPos() const { return static_cast<int>(Send(ProgressBar1, PBM_GETPOS)); }

HWND Wizard::Focus() const {
    GUITHREADINFO gti{};
    gti.cbSize = sizeof gti;
    if (!GetGUIThreadInfo(pi_.dwThreadId, &gti)) return nullptr;
    return gti.hwndFocus;
}

bool Wizard::WaitFocus(HWND control, DWORD timeoutMs) const {
    return WaitFor(
        [&] {
            if (Focus() == control) return true;
            if (GetForegroundWindow() == GetDesktopWindow()) SetForegroundWindow(main_);
            return false;
        },
        timeoutMs);
}

void Wizard::Type(Field f, const std::wstring& text) {
    Send(edits[f], WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void Wizard::FillAll(const std::wstring& firma, const std::wstring& ort, const std::wstring& user,
                     const std::wstring& pc, const std::wstring& tel, const std::wstring& mail) {
    Type(Firma, firma);
    Type(Ort, ort);
    Type(Sachbearbeiter, user);
    Type(PC, pc);
    Type(Telefon, tel);
    Type(EMail, mail);
}

bool Wizard::Press() {
    if (!Enabled(cmdnex) || !Visible(cmdnex)) return false;
    // Posted: the press runs on in the wizard while the driver watches it.
    return PostMessageW(cmdnex, BM_CLICK, 0, 0) != FALSE;
}

bool Wizard::PressUntil(const std::function<bool()>& taken, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        if (!Press()) return taken();
        if (WaitFor(taken, 1000)) return true;
    }
    return false;
}

bool Wizard::PressInstall() {
    return PressUntil([&] {
        if (!Boxes().empty() || !Enabled(cmdnex) || Caption() == L"Beenden") return true;
        const std::vector<std::wstring> lines = Lines(lstAnw);
        return !lines.empty() && lines[0] != L"Folgende Programmteile werden erneuert";
    });
}

bool Wizard::ClickCheck(int index) {
    RECT rc{};
    if (Send(lstUpd, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&rc)) == LB_ERR ||
        index >= Count(lstUpd))
        return false;
    const LPARAM at = MAKELPARAM(rc.left + 5, (rc.top + rc.bottom) / 2);
    Send(lstUpd, WM_LBUTTONDOWN, MK_LBUTTON, at);
    Send(lstUpd, WM_LBUTTONUP, 0, at);
    return true;
}

void Wizard::Close() { PostMessageW(main_, WM_SYSCOMMAND, SC_CLOSE, 0); }

std::vector<Box> Wizard::Boxes() const {
    std::vector<Box> boxes;
    if (!pi_.hProcess) return boxes;
    for (HWND h : TopWindows(pi_.dwProcessId, L"#32770")) {
        Box b;
        b.hwnd = h;
        wchar_t buf[4096] = L"";
        GetWindowTextW(h, buf, 4096);
        b.caption = buf;
        HWND text = GetDlgItem(h, 0xFFFF);
        if (text) b.text = Text(text);
        for (HWND c : Descendants(h)) {
            const std::wstring cls = ClassOf(c);
            if ((cls == L"Button" || cls == L"BUTTON") && IsWindowVisible(c)) b.buttons.push_back(GetDlgCtrlID(c));
        }
        boxes.push_back(b);
    }
    return boxes;
}

bool Wizard::WaitBox(Box* out, DWORD timeoutMs) const {
    std::vector<Box> boxes;
    const bool ok = WaitFor(
        [&] {
            boxes = Boxes();
            return !boxes.empty();
        },
        timeoutMs);
    if (ok && out) *out = boxes.front();
    return ok;
}

bool Wizard::Answer(const Box& box, int id) const {
    if (!IsWindow(box.hwnd)) return false;
    HWND button = GetDlgItem(box.hwnd, id);
    if (!button) return false;
    PostMessageW(box.hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    return WaitFor([&] { return !IsWindow(box.hwnd) || !IsWindowVisible(box.hwnd); }, 10000);
}

bool Wizard::WaitFor(const std::function<bool()>& cond, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (cond()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(15);
    }
}

bool Wizard::WaitButton(const std::wstring& caption, DWORD timeoutMs) const {
    return WaitFor([&] { return Enabled(cmdnex) && Text(cmdnex) == caption; }, timeoutMs);
}

}  // namespace uidriver
