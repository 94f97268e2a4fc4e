#pragma once
// Works the real update.exe from outside, as a person at the screen would:
// starts it, finds its window and controls by class and position, types
// into the edits, presses "Weiter", ticks check items, answers message
// boxes, and reads what the window shows. It uses only what any other
// program may do with a window (messages, window lists); the wizard has no
// hooks for it.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace uidriver {

// A message box (#32770) that the wizard shows.
struct Box {
    HWND hwnd = nullptr;
    std::wstring caption;
    std::wstring text;                 // the message itself (static 0xFFFF)
    std::vector<int> buttons;          // command ids of its push buttons
    bool Has(int id) const;
};

// Row order of the customer page's edits, top to bottom.
enum Field { Firma = 0, Ort, Sachbearbeiter, PC, Telefon, EMail, kFieldCount };

class Wizard {
public:
    Wizard() = default;
    ~Wizard();  // ends a program still running (closing it first)
    Wizard(const Wizard&) = delete;
    Wizard& operator=(const Wizard&) = delete;

    // Starts exe and waits until its main window shows (or a message box
    // shows first, as a refused start does). False when neither came.
    // args: the command line after the program's name.
    bool Start(const std::wstring& exe, DWORD timeoutMs = 30000, const std::wstring& args = std::wstring());
    // The controls, found by class and position below the main window.
    bool FindControls();

    DWORD Pid() const { return pi_.dwProcessId; }
    HANDLE Process() const { return pi_.hProcess; }
    HWND Main() const { return main_; }
    bool Running() const;
    // Waits for the program to end; its exit code in *code.
    bool WaitExit(DWORD timeoutMs, DWORD* code = nullptr);
    // Answers within timeoutMs (the window is not hung).
    bool Responsive(DWORD timeoutMs = 5000) const;

    HWND Panel1 = nullptr, lstAnw = nullptr, lstUpd = nullptr, cmdnex = nullptr, panAdr = nullptr,
         ProgressBar1 = nullptr, lblSize = nullptr, lblFile = nullptr;
    HWND edits[kFieldCount] = {};

    // ---- reading ----
    std::wstring Text(HWND control) const;  // WM_GETTEXT, also for edits
    std::wstring Caption() const { return Text(cmdnex); }
    std::vector<std::wstring> Lines(HWND list) const;
    int Count(HWND list) const;
    bool Checked(int index) const;           // check mark of lstUpd item
    std::vector<bool> Checks() const;
    POINT Place(HWND control) const;         // top-left relative to its parent
    bool Enabled(HWND control) const { return IsWindowEnabled(control) != FALSE; }
    bool Visible(HWND control) const { return IsWindowVisible(control) != FALSE; }
    int ProgressPos() const;
    HWND Focus() const;                      // the window with the keyboard focus
    // Waits until control has the keyboard focus. A box that closes on a
    // display without a window manager (the tests' Xvfb) may leave the
    // activation with the desktop instead of the box's owner, a moment
    // after the owner got it back; the driver then clicks the wizard to the
    // front, as its user would, and the focus must come back to control.
    bool WaitFocus(HWND control, DWORD timeoutMs) const;

    // ---- acting ----
    void Type(Field f, const std::wstring& text);
    void FillAll(const std::wstring& firma, const std::wstring& ort, const std::wstring& user,
                 const std::wstring& pc, const std::wstring& tel, const std::wstring& mail);
    // Presses "Weiter" without waiting for the press to end; false (and no
    // press) when the button is disabled, as a person could not press it.
    bool Press();
    // Presses "Weiter" until taken() shows the press was taken. A press that
    // arrives while the previous one still finishes (it lets pending
    // messages through at its end) is dropped by the wizard, as a person's
    // click would be; the driver then presses again, as a person would.
    bool PressUntil(const std::function<bool()>& taken, DWORD timeoutMs = 10000);
    // A press on the selection, taken once the install run has started.
    bool PressInstall();
    // Clicks the check box of lstUpd item index; false when there is none.
    bool ClickCheck(int index);
    // The close button of the title bar.
    void Close();

    // ---- message boxes ----
    std::vector<Box> Boxes() const;
    // Waits for a box; false on timeout.
    bool WaitBox(Box* out, DWORD timeoutMs) const;
    // Presses the box's button with command id (IDOK, IDYES, ...).
    bool Answer(const Box& box, int id) const;

    // Polls cond every few milliseconds until it holds or the time is up.
    static bool WaitFor(const std::function<bool()>& cond, DWORD timeoutMs);
    // Waits until the press has ended: the button shows caption and is enabled.
    bool WaitButton(const std::wstring& caption, DWORD timeoutMs) const;

private:
    HWND FindMain() const;
    PROCESS_INFORMATION pi_{};
    HWND main_ = nullptr;
};

// The whole tree below a window, children of children included.
std::vector<HWND> Descendants(HWND parent);
std::wstring ClassOf(HWND h);
// The visible top-level windows of process pid with window class cls.
std::vector<HWND> TopWindows(DWORD pid, const wchar_t* cls);
// A program's main window ends when WM_CLOSE reaches it; then the process
// is given timeoutMs to end before it is terminated.
void EndProcess(HANDLE process, HWND main, DWORD timeoutMs);
// What a log-off asks of every program with a window, as Wine's wineboot
// sends it; its exit code (0: every program let the session end). Wine
// never ends a session a program held off.
DWORD AskToEndSession();
// What Windows does when it ends the session all the same (the user
// insisted): WM_ENDSESSION to the main window, then the end of the process
// once that returned. False when the window did not answer or the process
// lived on.
bool EndSessionAnyway(HANDLE process, HWND main);

}  // namespace uidriver
