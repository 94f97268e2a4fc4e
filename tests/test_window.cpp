// The main window as the user meets it: layout, welcome page, customer data,
// the confirmation step, closing, and the general error display.
#include <gtest/gtest.h>
#include <ole2.h>
#include <olectl.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "ui/Controls.h"
#include "sys/Handles.h"
#include "sys/Reg.h"
#include "support/TestSupport.h"
#include "support/WindowFixture.h"

using namespace testsupport;

namespace {

const wchar_t kSettings[] = L"SOFTWARE\\Talvero\\CAD\\Settings";

class MainWindow : public WindowFixture {
protected:
    void SetUp() override { OpenWindow(); }
};

TEST_F(MainWindow, ControlsSitWhereTheLayoutPutsThem) {
    struct Expect {
        ControlId control;
        int x, y, w, h;
    } const expected[] = {
        {ControlId::lstAnw, 8, 64, 441, 129},        {ControlId::lstUpd, 8, 200, 441, 81},
        {ControlId::ProgressBar1, 15, 287, 434, 17}, {ControlId::cmdnex, 304, 337, 145, 41},
        {ControlId::panAdr, 8, 64, 467, 225},        {ControlId::imgBanner, 1, 1, 608, 67},
        {ControlId::txtFir, 144, 64, 297, 21},       {ControlId::txtMail, 144, 184, 297, 21},
    };
    for (const Expect& e : expected) {
        const RECT rc = Place(form().Control(e.control));
        EXPECT_EQ(rc.left, e.x);
        EXPECT_EQ(rc.top, e.y);
        EXPECT_EQ(rc.right - rc.left, e.w);
        EXPECT_EQ(rc.bottom - rc.top, e.h);
    }
    const RECT size = Place(form().Control(ControlId::lblSize)), file = Place(form().Control(ControlId::lblFile));
    EXPECT_EQ(size.left, 15);
    EXPECT_EQ(size.top, 310);
    EXPECT_EQ(file.top, 321);
    EXPECT_EQ(Text(form().Control(ControlId::lblSize)), L"         ");
    EXPECT_FALSE(IsWindowVisible(form().Control(ControlId::ProgressBar1)));

    RECT outer;
    GetWindowRect(form().Handle(), &outer);
    EXPECT_EQ(outer.left, 0);
    EXPECT_EQ(outer.top, 0);
    const LONG style = GetWindowLongW(form().Handle(), GWL_STYLE);
    EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_EQ(Text(form().Handle()), L"Talvero Liveupdate");
    EXPECT_EQ(Text(form().Control(ControlId::cmdnex)), L"Weiter");
}

// Top-down 32-bit pixels of a bitmap, or nothing.
std::vector<unsigned> Pixels(HBITMAP bitmap, int* width, int* height) {
    BITMAP info{};
    if (!bitmap || !GetObjectW(bitmap, sizeof info, &info)) return {};
    *width = info.bmWidth;
    *height = info.bmHeight;
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof bi.bmiHeader, info.bmWidth, -info.bmHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<unsigned> pixels(static_cast<size_t>(info.bmWidth) * static_cast<size_t>(info.bmHeight));
    const WindowDC screen(nullptr);
    if (!GetDIBits(screen.get(), bitmap, 0, static_cast<UINT>(info.bmHeight), pixels.data(), &bi, DIB_RGB_COLORS))
        return {};
    return pixels;
}

// The banner's artwork decoded the way the program once showed it.
std::vector<unsigned> ArtworkPixels(int* width, int* height) {
    const HINSTANCE self = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(self, MAKEINTRESOURCEW(300), MAKEINTRESOURCEW(10));
    if (!found) return {};
    const DWORD size = SizeofResource(self, found);
    HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, size);
    memcpy(GlobalLock(copy), LockResource(LoadResource(self, found)), size);
    GlobalUnlock(copy);
    const OleScope ole;
    ComPtr<IStream> stream;
    ComPtr<IPicture> picture;
    OLE_HANDLE handle = 0;
    if (FAILED(CreateStreamOnHGlobal(copy, TRUE, stream.put())) ||
        FAILED(OleLoadPicture(stream.get(), static_cast<LONG>(size), FALSE, IID_IPicture,
                              reinterpret_cast<void**>(picture.put()))) ||
        FAILED(picture->get_Handle(&handle)))
        return {};
    return Pixels(reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle)), width, height);
}

TEST(Banner, ShowsTheArtworkPixelForPixel) {
    int w = 0, h = 0, artW = 0, artH = 0;
    const GdiObject banner(LoadBanner(GetModuleHandleW(nullptr)));
    const std::vector<unsigned> shown = Pixels(static_cast<HBITMAP>(banner.get()), &w, &h);
    const std::vector<unsigned> art = ArtworkPixels(&artW, &artH);
    ASSERT_EQ(w, 608);
    ASSERT_EQ(h, 67);
    ASSERT_EQ(artW, w);
    ASSERT_EQ(artH, h);
    // Two JPEG decoders may round a channel differently by one step.
    int worst = 0;
    for (size_t i = 0; i < art.size(); ++i)
        for (int shift : {0, 8, 16})
            worst = std::max(worst, std::abs(static_cast<int>((shown[i] >> shift) & 0xFF) -
                                             static_cast<int>((art[i] >> shift) & 0xFF)));
    EXPECT_LE(worst, 2);
}

TEST_F(MainWindow, CustomerPageCoversBothListsAndHasTheFocus) {
    for (HWND list : {form().Control(ControlId::lstAnw), form().Control(ControlId::lstUpd)}) {
        RECT rc;
        GetWindowRect(list, &rc);
        for (POINT p : {POINT{rc.left + 2, rc.top + 2}, POINT{rc.right - 3, rc.bottom - 3},
                        POINT{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2}}) {
            HWND hit = WindowFromPoint(p);
            EXPECT_TRUE(hit == form().Control(ControlId::panAdr) || IsChild(form().Control(ControlId::panAdr), hit)) << p.x << "," << p.y;
        }
    }
    EXPECT_EQ(GetFocus(), form().Control(ControlId::txtFir));
    EXPECT_FALSE(GetWindowLongW(form().Control(ControlId::lstAnw), GWL_STYLE) & WS_TABSTOP);
    EXPECT_FALSE(GetWindowLongW(form().Control(ControlId::lstUpd), GWL_STYLE) & WS_TABSTOP);
}

TEST_F(MainWindow, ShowsTheWelcomeTextAndAnUncheckedConfirmation) {
    const wchar_t* lines[] = {
        L" Bevor Sie mit dem Live Update beginnen müssen folgende Punkte erledigt werden: ",
        L" - Schliessen Sie alle Programme",
        L" - Sichern Sie alle nicht wieder herstellbaren Daten",
        L"",
        L" Info:",
        L" - Sie können Mirado erst nach Abschluss des Live-Updates wieder verwenden.",
    };
    ASSERT_EQ(ListCount(form().Control(ControlId::lstAnw)), 6);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(ListItemText(form().Control(ControlId::lstAnw), i), lines[i]);
    ASSERT_EQ(ListCount(form().Control(ControlId::lstUpd)), 1);
    EXPECT_EQ(ListItemText(form().Control(ControlId::lstUpd), 0), L"Obige Punkte sind erledigt");
    EXPECT_FALSE(CheckListChecked(form().Control(ControlId::lstUpd), 0));
    EXPECT_TRUE(IsWindowEnabled(form().Control(ControlId::cmdnex)));
    EXPECT_EQ(form().Step(), WizardStep::CustomerData);
}

TEST_F(MainWindow, FirstShowCreatesSixEmptyCustomerValues) {
    for (const wchar_t* name : {L"Firma", L"Ort", L"User", L"PC", L"Telefon", L"E-Mail"}) {
        std::wstring value = L"?";
        EXPECT_TRUE(RegGet(HKEY_CURRENT_USER, kSettings, name, &value)) << Narrow(name);
        EXPECT_EQ(value, L"");
    }
    EXPECT_EQ(Text(form().Control(ControlId::txtFir)), L"");  // the initial blank is replaced
}

TEST_F(MainWindow, TabWalksTheSixEditsThenTheButton) {
    const HWND order[] = {form().Control(ControlId::txtFir), form().Control(ControlId::txtOrt), form().Control(ControlId::txtSac), form().Control(ControlId::txtPC),
                          form().Control(ControlId::txtTel), form().Control(ControlId::txtMail), form().Control(ControlId::cmdnex)};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        EXPECT_EQ(GetNextDlgTabItem(form().Handle(), order[i], FALSE), order[i + 1]) << i;
}

// ---- state 0: customer data ----

class CustomerData : public MainWindow {};

TEST_F(CustomerData, ReportsOnlyTheFirstEmptyFieldInTableOrder) {
    BoxAnswerer boxes;
    struct Case {
        ControlId blank;
        const wchar_t* text;  // blank, blanks, or a tab: all empty after trimming
        const wchar_t* message;
    } const cases[] = {
        {ControlId::txtFir, L"", L"Erfassen Sie bitte den Firmennamen"},
        {ControlId::txtOrt, L"   ", L"Erfassen Sie bitte die Ortschaft"},
        {ControlId::txtSac, L"\t", L"Erfassen Sie bitte den Sachbearbeiternamen"},
        {ControlId::txtPC, L" \r\n", L"Erfassen Sie bitte den PC-Namen"},
        {ControlId::txtTel, L"", L"Erfassen Sie bitte die Telefonnummer"},
        {ControlId::txtMail, L" ", L"Erfassen Sie bitte die E-Mailadresse"},
    };
    for (const Case& c : cases) {
        boxes.Clear();
        FillAll(L"filled");
        SetEdit(form().Control(c.blank), c.text);
        Press();
        const auto seen = boxes.Seen();
        ASSERT_EQ(seen.size(), 1u) << Narrow(c.message);
        EXPECT_EQ(seen[0].text, c.message);
        EXPECT_EQ(GetFocus(), form().Control(c.blank));
        EXPECT_EQ(form().Step(), WizardStep::CustomerData);
        std::wstring firma;
        RegGet(HKEY_CURRENT_USER, kSettings, L"Firma", &firma);
        EXPECT_EQ(firma, L"") << "nothing may be stored while a field is missing";
    }
    // All blank: one message only, for the first field.
    boxes.Clear();
    FillAll(L"");
    Press();
    ASSERT_EQ(boxes.Seen().size(), 1u);
    EXPECT_EQ(boxes.Seen()[0].text, L"Erfassen Sie bitte den Firmennamen");
}

TEST_F(CustomerData, StoresTrimmedValuesKeepsTheEditsAndMovesOn) {
    BoxAnswerer boxes;
    SetEdit(form().Control(ControlId::txtFir), L"  Muster GmbH  ");
    SetEdit(form().Control(ControlId::txtOrt), L"8000 Zürich");
    SetEdit(form().Control(ControlId::txtSac), L"\tA. Muster");
    SetEdit(form().Control(ControlId::txtPC), L"PC-7");
    SetEdit(form().Control(ControlId::txtTel), L"044 123 45 67");
    SetEdit(form().Control(ControlId::txtMail), L"a@b.ch ");
    Press();
    EXPECT_TRUE(boxes.Seen().empty());
    const struct {
        const wchar_t* name;
        const wchar_t* stored;
    } expected[] = {{L"Firma", L"Muster GmbH"}, {L"Ort", L"8000 Zürich"}, {L"User", L"A. Muster"},
                    {L"PC", L"PC-7"},           {L"Telefon", L"044 123 45 67"}, {L"E-Mail", L"a@b.ch"}};
    for (const auto& e : expected) {
        std::wstring v;
        EXPECT_TRUE(RegGet(HKEY_CURRENT_USER, kSettings, e.name, &v));
        EXPECT_EQ(v, e.stored);
    }
    EXPECT_EQ(Text(form().Control(ControlId::txtFir)), L"  Muster GmbH  ");
    EXPECT_EQ(form().Step(), WizardStep::Confirmation);
    EXPECT_EQ(Place(form().Control(ControlId::panAdr)).left, 500);
    EXPECT_EQ(Place(form().Control(ControlId::panAdr)).top, 64);
    EXPECT_TRUE(IsWindowVisible(form().Control(ControlId::panAdr))) << "moved away, not hidden";
    EXPECT_FALSE(IsWindowEnabled(form().Control(ControlId::cmdnex)));
}

class ReturningUser : public WindowFixture {};

TEST_F(ReturningUser, FindsTheStoredValuesUnchanged) {
    RegSet(HKEY_CURRENT_USER, kSettings, L"Firma", L"  Muster AG ");
    RegSet(HKEY_CURRENT_USER, kSettings, L"E-Mail", L"info@muster.example");
    OpenWindow();
    EXPECT_EQ(Text(form().Control(ControlId::txtFir)), L"  Muster AG ");
    EXPECT_EQ(Text(form().Control(ControlId::txtMail)), L"info@muster.example");
    EXPECT_EQ(Text(form().Control(ControlId::txtOrt)), L"");
}

TEST_F(CustomerData, AStoreThatCannotBeWrittenEndsThePressInTheErrorDisplay) {
    // A root whose key was deleted behind its back refuses every create.
    HKEY doomed = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\Talvero\\doomed", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &doomed, nullptr),
              ERROR_SUCCESS);
    RegDeleteKeyW(HKEY_CURRENT_USER, L"SOFTWARE\\Talvero\\doomed");
    session().registryRoot = doomed;
    BoxAnswerer boxes;
    FillAll(L"x");
    Press();
    session().registryRoot = HKEY_CURRENT_USER;
    RegCloseKey(doomed);
    const auto seen = boxes.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, L"Erzeugung von Schlüssel \\SOFTWARE\\Talvero\\CAD\\Settings misslungen.");
    EXPECT_EQ(seen[0].caption, L"Talvero Liveupdate");
    EXPECT_EQ(form().Step(), WizardStep::CustomerData);
    EXPECT_TRUE(IsWindowEnabled(form().Control(ControlId::cmdnex)));
    EXPECT_EQ(Place(form().Control(ControlId::panAdr)).left, 8) << "the customer page stays";
}

// ---- state 1: the confirmation item drives the button ----

TEST_F(MainWindow, ConfirmationCheckEnablesAndDisablesTheButtonInStateOneOnly) {
    ClickCheck(form().Control(ControlId::lstUpd), 0);  // state 0: the mark changes, the button does not
    EXPECT_TRUE(IsWindowEnabled(form().Control(ControlId::cmdnex)));
    ClickCheck(form().Control(ControlId::lstUpd), 0);

    FillAll();
    Press();
    ASSERT_EQ(form().Step(), WizardStep::Confirmation);
    EXPECT_FALSE(IsWindowEnabled(form().Control(ControlId::cmdnex)));
    ClickCheck(form().Control(ControlId::lstUpd), 0);
    EXPECT_TRUE(CheckListChecked(form().Control(ControlId::lstUpd), 0));
    EXPECT_TRUE(IsWindowEnabled(form().Control(ControlId::cmdnex)));
    ClickCheck(form().Control(ControlId::lstUpd), 0);
    EXPECT_FALSE(CheckListChecked(form().Control(ControlId::lstUpd), 0));
    EXPECT_FALSE(IsWindowEnabled(form().Control(ControlId::cmdnex)));
}

// ---- closing ----

TEST_F(MainWindow, PressInFinalStatesClosesTheWindow) {
    for (WizardStep step : {WizardStep::Finished, WizardStep::NothingToDo}) {
        if (!form_ || !form().Handle()) OpenWindow();
        form().SetStep(step);
        HWND h = form().Handle();
        Press();
        ProcessMessages();
        EXPECT_FALSE(IsWindow(h)) << static_cast<int>(step);
        form_.reset();
        DrainQuit();
    }
}

TEST_F(MainWindow, ClosingDuringAPressWaitsForThePressToEnd) {
    BoxAnswerer boxes;
    HWND h = form().Handle();
    // The press shows a message box, whose modal loop delivers the close.
    FillAll(L"");
    PostMessageW(h, WM_CLOSE, 0, 0);
    Press();
    EXPECT_EQ(boxes.Seen().size(), 1u);
    ProcessMessages();
    EXPECT_FALSE(IsWindow(h)) << "the window goes once the press has finished";
    form_.reset();
    DrainQuit();
}

TEST_F(MainWindow, ClosingOutsideAPressEndsTheWindowAtOnce) {
    HWND h = form().Handle();
    SendMessageW(h, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(h));
    DrainQuit();
}

// ---- the general error display ----

TEST(GeneralError, AppendsAFullStopOnlyAfterCharactersCodedAboveIt) {
    BoxAnswerer boxes;
    const struct {
        const wchar_t* message;
        const wchar_t* shown;
    } cases[] = {{L"Dateizugriff verweigert", L"Dateizugriff verweigert."},
                 {L"E/A-Fehler 5", L"E/A-Fehler 5."},
                 {L"Schon mit Punkt.", L"Schon mit Punkt."},
                 {L"Ausruf!", L"Ausruf!"},
                 {L"In 'x'", L"In 'x'"},
                 {L"Strich-", L"Strich-"}};
    for (const auto& c : cases) ShowGeneralError(c.message);
    const auto seen = boxes.Seen();
    ASSERT_EQ(seen.size(), std::size(cases));
    for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].text, cases[i].shown);
        EXPECT_EQ(seen[i].caption, L"Talvero Liveupdate");
    }
}

}  // namespace
