// The scripted walk-through of the demo (make run without a display): works
// update.exe as a first-time user would and asks for a screenshot of every
// wizard step and of the opened download log.
//
//   wizard_walk.exe <update.exe> <shot folder>
//
// A screenshot is asked for by creating <shot folder>\NN-name.req; the
// script that started the walk takes it and creates NN-name.png, which lets
// the walk go on. What happened goes to <shot folder>\walk.log.
#include <windows.h>

#include <cstdio>
#include <string>

#include "Driver.h"
#include "World.h"

using uidriver::Box;
using uidriver::Wizard;

namespace {

std::wstring shots;
FILE* logFile = nullptr;

void Log(const std::wstring& line) {
    if (!logFile) return;
    fprintf(logFile, "%s\n", uidriver::ToUtf8(line).c_str());
    fflush(logFile);
}

bool Shot(const std::wstring& name) {
    Sleep(400);  // let the last change paint
    const std::wstring req = shots + name + L".req", png = shots + name + L".png";
    uidriver::WriteBytes(req, "");
    const bool ok = Wizard::WaitFor([&] { return uidriver::Exists(png); }, 20000);
    Log(L"shot " + name + (ok ? L"" : L" (not taken)"));
    return ok;
}

bool Fail(const std::wstring& why) {
    Log(L"FAILED: " + why);
    return false;
}

void AnswerBoxes(Wizard& w) {
    for (const Box& b : w.Boxes()) {
        Log(L"box: " + b.caption + L": " + b.text);
        w.Answer(b, b.Has(IDNO) ? IDNO : b.Has(IDOK) ? IDOK : IDYES);
    }
}

BOOL CALLBACK FindViewer(HWND h, LPARAM lp) {
    wchar_t cls[64] = L"";
    GetClassNameW(h, cls, 64);
    if (IsWindowVisible(h) && std::wstring(cls) == L"Notepad") {
        *reinterpret_cast<HWND*>(lp) = h;
        return FALSE;
    }
    return TRUE;
}

bool Walk(const std::wstring& exe) {
    Wizard w;
    if (!w.Start(exe) || !w.FindControls()) return Fail(L"the wizard did not start");
    Log(L"started");
    w.FillAll(L"Muster Elektroplanung AG", L"8000 Zürich", L"Hans Muster", L"PC-CAD-07", L"044 123 45 67",
              L"hans.muster@example.ch");
    Shot(L"1-kundendaten");

    if (!w.Press()) return Fail(L"Weiter on the customer page");
    if (!Wizard::WaitFor([&] { return w.Place(w.panAdr).x == 500; }, 10000)) return Fail(L"customer page stayed");
    w.ClickCheck(0);
    Shot(L"2-bestaetigung");

    if (!w.Press()) return Fail(L"Weiter on the confirmation");
    if (!Wizard::WaitFor(
            [&] {
                AnswerBoxes(w);
                return w.Enabled(w.cmdnex) && w.Count(w.lstUpd) > 0 && w.Lines(w.lstAnw).size() == 1;
            },
            30000))
        return Fail(L"the update list did not come");
    for (const std::wstring& l : w.Lines(w.lstUpd)) Log(L"offered: " + l);
    Shot(L"3-auswahl");

    if (!w.PressInstall()) return Fail(L"Weiter on the selection");
    bool progressShot = false;
    if (!Wizard::WaitFor(
            [&] {
                AnswerBoxes(w);
                const int pos = w.ProgressPos();
                if (!progressShot && w.Visible(w.ProgressBar1) && pos >= 15 && pos <= 85 &&
                    w.Text(w.lblSize).find(L" von ") != std::wstring::npos) {
                    progressShot = Shot(L"4-download");
                }
                return w.WaitButton(L"Beenden", 0);
            },
            180000))
        return Fail(L"the install run did not end");
    for (const std::wstring& l : w.Lines(w.lstAnw)) Log(L"lstAnw: " + l);

    // The download log opens in the text editor of the desktop, over the wizard.
    HWND viewer = nullptr;
    if (Wizard::WaitFor(
            [&] {
                EnumWindows(FindViewer, reinterpret_cast<LPARAM>(&viewer));
                return viewer != nullptr;
            },
            15000)) {
        Shot(L"5-protokoll");
        PostMessageW(viewer, WM_CLOSE, 0, 0);
        Wizard::WaitFor([&] { return !IsWindow(viewer); }, 10000);
    } else {
        Log(L"the download log did not open in a viewer");
    }
    Shot(L"6-fertig");
    if (!w.PressUntil([&] { return !w.Running(); })) return Fail(L"Beenden");
    DWORD code = 1;
    if (!w.WaitExit(15000, &code)) return Fail(L"the program did not end");
    Log(L"ended with exit code " + std::to_wstring(code));
    return code == 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: wizard_walk.exe <update.exe> <shot folder>\n");
        return 2;
    }
    shots = argv[2];
    if (shots.back() != L'\\') shots += L'\\';
    logFile = _wfopen((shots + L"walk.log").c_str(), L"w");
    const bool ok = Walk(argv[1]);
    Log(ok ? L"walk complete" : L"walk failed");
    if (logFile) fclose(logFile);
    return ok ? 0 : 1;
}
