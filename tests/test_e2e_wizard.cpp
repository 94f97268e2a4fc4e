// The wizard from the first start to the offered list, worked on the real
// update.exe: the customer page, the confirmation, the list fetch with the
// server down and up again, and the end when nothing is offered.
#include "driver/E2e.h"

using namespace e2e;
using uidriver::Exists;
using uidriver::kSettingsKey;

namespace {

const wchar_t kTwoProducts[] =
    L"[1]\nPrg=MIRADO19\nText=Mirado 2019 Symbole\ncek=1\nFile001=a.txt\nName001=a.txt\n"
    L"[2]\nPrg=AUTOCAD\nText=AutoCAD Menü\ncek=1\nFile001=b.txt\nName001=b.txt\n"
    L"[3]\nPrg=MIRADOS19\nText=Mirado s 2019 Hilfe\ncek=0\nFile001=c.txt\nName001=c.txt\n";

class Wizard0 : public Scenario {};

TEST_F(Wizard0, FirstRunStoresTheDataAndWalksToTheOfferedList) {
    Installed();
    world().PublishList(kTwoProducts);
    Launch();

    // The page covers both lists; the edits come up empty, the focus in Firma.
    EXPECT_EQ(wiz().Place(wiz().panAdr).x, 8);
    EXPECT_EQ(wiz().Place(wiz().panAdr).y, 64);
    EXPECT_TRUE(wiz().Visible(wiz().panAdr));
    for (HWND e : wiz().edits) EXPECT_EQ(wiz().Text(e), L"");
    EXPECT_EQ(wiz().Focus(), wiz().edits[uidriver::Firma]);
    EXPECT_EQ(Anw().size(), 6u);
    EXPECT_EQ(Anw()[0], kWelcome0);
    EXPECT_EQ(Upd(), std::vector<std::wstring>{kConfirm});
    EXPECT_FALSE(wiz().Checked(0));
    // Six empty values exist before anything is typed; the root rule wrote USER.
    for (const wchar_t* v : {L"Firma", L"Ort", L"User", L"PC", L"Telefon", L"E-Mail"})
        EXPECT_EQ(world().Setting(v), L"") << Utf8(v);
    EXPECT_EQ(world().Setting(L"Rootkey"), L"USER");
    EXPECT_EQ(world().Setting(L"Common AppData"), world().Root());
    EXPECT_TRUE(Exists(world().WorkFolder()));

    wiz().FillAll(L"  Muster AG  ", L"8000 Zürich", L"Hans Muster", L"PC-07", L"044 000", L"hm@muster.ch");
    PressCustomerPage();
    EXPECT_EQ(world().Setting(L"Firma"), L"Muster AG") << "stored trimmed";
    EXPECT_EQ(wiz().Text(wiz().edits[uidriver::Firma]), L"  Muster AG  ") << "the edit keeps its blanks";
    EXPECT_EQ(world().Setting(L"Ort"), L"8000 Zürich");
    EXPECT_EQ(world().Setting(L"E-Mail"), L"hm@muster.ch");

    // The button follows the confirmation's check mark.
    EXPECT_FALSE(wiz().Enabled(wiz().cmdnex));
    EXPECT_FALSE(wiz().Press());
    ASSERT_TRUE(wiz().ClickCheck(0));
    EXPECT_TRUE(wiz().Checked(0));
    EXPECT_TRUE(wiz().Enabled(wiz().cmdnex));
    ASSERT_TRUE(wiz().ClickCheck(0));
    EXPECT_FALSE(wiz().Enabled(wiz().cmdnex));
    ConfirmAndFetch();

    // AUTOCAD is not installed here; the s product's entry starts unchecked.
    EXPECT_EQ(Anw(), std::vector<std::wstring>{kOffered});
    EXPECT_EQ(Upd(), (std::vector<std::wstring>{L"Mirado 2019 Symbole", L"Mirado s 2019 Hilfe"}));
    EXPECT_EQ(wiz().Checks(), (std::vector<bool>{true, false}));
    EXPECT_EQ(wiz().Caption(), L"Weiter");
    EXPECT_TRUE(wiz().Enabled(wiz().cmdnex));
    std::string local;
    ASSERT_TRUE(uidriver::ReadBytes(world().WorkFolder() + L"update.cfg", &local));
    EXPECT_NE(local.find("Prg=MIRADOS19"), std::string::npos);
    // In state 2 check marks change freely and the button stays enabled.
    ASSERT_TRUE(wiz().ClickCheck(0));
    EXPECT_EQ(wiz().Checks(), (std::vector<bool>{false, false}));
    EXPECT_TRUE(wiz().Enabled(wiz().cmdnex));
    EXPECT_TRUE(wiz().Responsive());
}

TEST_F(Wizard0, ReturningUserFindsTheDataAndGoesStraightOn) {
    Installed();
    world().SetCustomer({L" Muster AG ", L"Zürich", L"Hans", L"PC-07", L"044", L"hm@muster.ch"});
    world().PublishList(kTwoProducts);
    Launch();
    EXPECT_EQ(wiz().Text(wiz().edits[uidriver::Firma]), L" Muster AG ") << "loaded unchanged";
    EXPECT_EQ(wiz().Text(wiz().edits[uidriver::Ort]), L"Zürich");
    EXPECT_EQ(wiz().Text(wiz().edits[uidriver::EMail]), L"hm@muster.ch");
    PressCustomerPage();
    EXPECT_EQ(world().Setting(L"Firma"), L"Muster AG");
    ConfirmAndFetch();
    EXPECT_EQ(Upd().size(), 2u);
}

TEST_F(Wizard0, AMissingFieldIsNamedAndNothingIsStored) {
    Installed();
    Launch();
    wiz().FillAll(L"Muster AG", L"Zürich", L"Hans", L"PC-07", L"044", L"   ");
    ASSERT_TRUE(wiz().Press());
    Box box;
    ASSERT_TRUE(wiz().WaitBox(&box, 10000));
    EXPECT_EQ(box.text, L"Erfassen Sie bitte die E-Mailadresse");
    EXPECT_TRUE(box.Has(IDOK));
    // Owned by the wizard: Windows gives the activation back to it on close.
    EXPECT_EQ(GetWindow(box.hwnd, GW_OWNER), wiz().Main());
    ASSERT_TRUE(wiz().Answer(box, IDOK));
    ASSERT_TRUE(wiz().WaitFocus(wiz().edits[uidriver::EMail], 5000))
        << "focus " << wiz().Focus() << " foreground " << GetForegroundWindow() << " main " << wiz().Main()
        << " mail " << wiz().edits[uidriver::EMail] << " cmdnex " << wiz().cmdnex;
    EXPECT_EQ(world().Setting(L"Firma"), L"") << "no field is stored while one is missing";
    EXPECT_EQ(wiz().Place(wiz().panAdr).x, 8) << "the page stays";
    EXPECT_TRUE(wiz().Enabled(wiz().cmdnex));

    // A tab alone is empty too; the first empty field in row order is named.
    wiz().Type(uidriver::Firma, L"\t");
    ASSERT_TRUE(wiz().Press());
    ASSERT_TRUE(wiz().WaitBox(&box, 10000));
    EXPECT_EQ(box.text, L"Erfassen Sie bitte den Firmennamen");
    ASSERT_TRUE(wiz().Answer(box, IDOK));
    EXPECT_TRUE(wiz().WaitFocus(wiz().edits[uidriver::Firma], 5000))
        << "focus " << wiz().Focus() << " foreground " << GetForegroundWindow() << " main " << wiz().Main();
    EXPECT_TRUE(wiz().Boxes().empty()) << "one message per press";
}

TEST_F(Wizard0, NothingOfferedEndsTheProgramOnTheNextPress) {
    Installed();
    // Only products that are not installed here, and one whose folder is gone.
    uidriver::DeleteKeyTree(HKEY_CURRENT_USER, std::wstring(kSettingsKey));
    world().PointAtServer();
    testsupport::RegSet(HKEY_CURRENT_USER, kSettingsKey, L"Mirado19 Dir", world().Root() + L"gibtsnicht\\");
    world().PublishList(L"[1]\nPrg=AUTOCAD\nText=AutoCAD\ncek=1\n[2]\nPrg=MIRADO19\nText=Mirado\ncek=1\n");
    Launch();
    wiz().FillAll(L"a", L"b", L"c", L"d", L"e", L"f");
    PressCustomerPage();
    ConfirmAndFetch();
    EXPECT_EQ(Anw(), std::vector<std::wstring>{kNothing});
    EXPECT_EQ(Upd(), std::vector<std::wstring>{});
    EXPECT_EQ(wiz().Caption(), L"Beenden");
    Finish();
}

TEST_F(Wizard0, ServerDownKeepsTheConfirmationStepUntilItAnswersAgain) {
    Installed();
    world().PublishList(kTwoProducts);
    const std::wstring local = world().WorkFolder() + L"update.cfg";
    Launch();
    wiz().FillAll(L"a", L"b", L"c", L"d", L"e", L"f");
    PressCustomerPage();
    // A stale list from an earlier run must not be read as the new one.
    uidriver::WriteBytes(local, "[9]\r\nPrg=MIRADO19\r\nText=alt\r\ncek=1\r\n");
    nettest::Control("http_status=503&http_match=update19.txt");
    ConfirmAndFetch();
    Box box;
    ASSERT_TRUE(wiz().WaitBox(&box, 5000));
    EXPECT_EQ(box.text, local) << "the failed fetch names the destination";
    ASSERT_TRUE(wiz().Answer(box, IDOK));
    ASSERT_TRUE(wiz().WaitButton(L"Weiter", 10000));
    EXPECT_FALSE(Exists(local)) << "the old list is gone although the fetch failed";
    EXPECT_EQ(Upd(), std::vector<std::wstring>{kConfirm}) << "still the confirmation step";
    EXPECT_EQ(Anw()[0], kWelcome0);

    // Still down: the next press tries again.
    ASSERT_TRUE(wiz().PressUntil([&] { return !wiz().Boxes().empty(); }, 20000));
    ASSERT_TRUE(wiz().WaitBox(&box, 20000));
    EXPECT_EQ(box.text, local);
    ASSERT_TRUE(wiz().Answer(box, IDOK));
    ASSERT_TRUE(wiz().WaitButton(L"Weiter", 10000));

    nettest::Control("reset=1");
    ASSERT_TRUE(wiz().PressUntil([&] { return Anw().size() == 1; }, 20000));
    WaitFetchEnd();
    EXPECT_TRUE(wiz().Boxes().empty());
    EXPECT_EQ(Anw(), std::vector<std::wstring>{kOffered});
    EXPECT_EQ(Upd().size(), 2u);
}

}  // namespace

namespace {

TEST_F(Wizard0, ASecondStartBringsTheRunningWizardForwardAndEnds) {
    Installed();
    Launch();
    std::wstring cmd = L"\"" + UpdateExe() + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    // The two would share the work folder; the second one ends by itself.
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 30000), WAIT_OBJECT_0);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(pi.hProcess, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    EXPECT_TRUE(wiz().Running());
    EXPECT_TRUE(wiz().Responsive());
    EXPECT_TRUE(Wizard::WaitFor([&] { return GetForegroundWindow() == wiz().Main(); }, 5000))
        << "the running wizard was not brought to the front";

    // While the running copy shows a box, the box comes forward, not the
    // window it keeps disabled.
    wiz().FillAll(L"Muster AG", L"Zürich", L"Hans", L"PC-07", L"044", L"   ");
    ASSERT_TRUE(wiz().Press());
    Box box;
    ASSERT_TRUE(wiz().WaitBox(&box, 10000));
    // The user clicked the wizard's window meanwhile.
    SetForegroundWindow(wiz().Main());
    ASSERT_TRUE(Wizard::WaitFor([&] { return GetForegroundWindow() == wiz().Main(); }, 5000));
    Wizard second;
    second.Start(UpdateExe(), 5000);
    EXPECT_TRUE(second.WaitExit(30000));
    EXPECT_TRUE(Wizard::WaitFor([&] { return GetForegroundWindow() == box.hwnd; }, 5000))
        << "foreground " << GetForegroundWindow() << " box " << box.hwnd << " main " << wiz().Main();
    ASSERT_TRUE(wiz().Answer(box, IDOK));
}

// A copy in another Windows session holds the name but has no window on
// this desktop: a second start says so before it ends.
TEST_F(Wizard0, ASecondStartBesideACopyInAnotherSessionSaysSo) {
    Installed();
    HANDLE other = CreateMutexW(nullptr, FALSE, L"Global\\TalveroLiveupdate19");
    ASSERT_NE(other, nullptr);
    Wizard second;
    ASSERT_TRUE(second.Start(UpdateExe()));
    EXPECT_EQ(second.Main(), nullptr) << "no wizard of its own";
    Box box;
    ASSERT_TRUE(second.WaitBox(&box, 10000));
    EXPECT_EQ(box.text, L"Talvero Liveupdate läuft bereits.");
    EXPECT_EQ(box.caption, L"Talvero Liveupdate");
    EXPECT_EQ(box.buttons, std::vector<int>{IDOK});
    ASSERT_TRUE(second.Answer(box, IDOK));
    DWORD code = 1;
    EXPECT_TRUE(second.WaitExit(10000, &code));
    EXPECT_EQ(code, 0u);
    CloseHandle(other);
}

// "/?" answers with the usage; a part not understood is named in the same
// box and ends with the code a deployment tool reads. Neither opens the
// wizard.
TEST_F(Wizard0, TheUsageBoxAnswersAskingAndNamesWhatIsNotUnderstood) {
    Installed();
    const struct {
        std::wstring args;
        std::wstring opening;
        DWORD code;
    } rows[] = {
        {L"/?", L"", 0},
        {L"/sofort", L"Unbekannte Angabe in der Befehlszeile: /sofort\r\n", 6},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(Utf8(row.args));
        Wizard w;
        ASSERT_TRUE(w.Start(UpdateExe(), 30000, row.args));
        EXPECT_EQ(w.Main(), nullptr);
        Box box;
        ASSERT_TRUE(w.WaitBox(&box, 10000));
        EXPECT_EQ(box.caption, L"Talvero Liveupdate");
        EXPECT_EQ(0u, box.text.find(row.opening)) << Utf8(box.text);
        EXPECT_NE(std::wstring::npos, box.text.find(L"/unattended")) << Utf8(box.text);
        ASSERT_TRUE(w.Answer(box, IDOK));
        DWORD code = 99;
        EXPECT_TRUE(w.WaitExit(10000, &code));
        EXPECT_EQ(row.code, code);
    }
    EXPECT_EQ(L"6", world().Setting(L"Letztes Ergebnis"));
}

}  // namespace
