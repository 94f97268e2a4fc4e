// The confirmation step against the local update server: the list is
// fetched afresh on every press, a failed fetch keeps the step, and an empty
// list ends the wizard.
#include <gtest/gtest.h>

#include "run/Variable.h"
#include "support/TestSupport.h"
#include "support/WindowFixture.h"
#include "test_net_server.h"

using namespace testsupport;

namespace {

const wchar_t kCad[] = L"SOFTWARE\\Talvero\\CAD\\Settings";

class ListFetch : public WindowFixture {
protected:
    nettest::Published published_;

    void SetUp() override {
        ASSERT_TRUE(nettest::Server().ok) << Narrow(nettest::Server().problem);
        nettest::Control("reset=1");
        RegSet(HKEY_CURRENT_USER, kCad, L"Update Host", L"127.0.0.1:" + std::to_wstring(nettest::Server().httpPort));
        installed_ = root_.path() + L"Mirado19\\";
        CreateDirectoryW(installed_.c_str(), nullptr);
        RegSet(HKEY_CURRENT_USER, kCad, L"Mirado19 Dir", installed_);
        OpenWindow();
        DrainQuit();
        // Through the customer page and the confirmation.
        FillAll(L"x");
        Press();
        ClickCheck(form().Control(ControlId::lstUpd), 0);
        ASSERT_EQ(form().Step(), WizardStep::Confirmation);
        ASSERT_TRUE(IsWindowEnabled(form().Control(ControlId::cmdnex)));
    }
    void TearDown() override {
        nettest::Control("reset=1");
        WindowFixture::TearDown();
    }

    std::wstring ListFile() { return session().workFolder + L"update.cfg"; }

    std::wstring installed_;
};

const char kTwoUpdates[] =
    "[1]\r\nPrg=MIRADO19\r\nText=Symbole 2019\r\ncek=1\r\nFile001=a.zip\r\n"
    "[2]\r\nPrg=MIRADOS19\r\nText=Nicht installiert\r\ncek=1\r\n"
    "[3]\r\nPrg=MIRADO19\r\nText=Hilfe\r\ncek=0\r\n";

TEST_F(ListFetch, ListIsFetchedIntoTheWorkFolderAndOffered) {
    published_.Put(L"update19.txt", kTwoUpdates);
    WriteFileBytes(ListFile(), "[9]\r\nPrg=MIRADO19\r\nText=Alt\r\ncek=1\r\n");  // a stale copy
    BoxAnswerer boxes;
    Press();
    EXPECT_TRUE(boxes.Seen().empty());
    EXPECT_EQ(form().Step(), WizardStep::Selection);
    std::string fetched;
    ASSERT_TRUE(ReadFileBytes(ListFile(), &fetched));
    EXPECT_EQ(fetched, kTwoUpdates);
    ASSERT_EQ(ListCount(form().Control(ControlId::lstUpd)), 2);
    EXPECT_EQ(ListItemText(form().Control(ControlId::lstUpd), 0), L"Symbole 2019");
    EXPECT_TRUE(CheckListChecked(form().Control(ControlId::lstUpd), 0));
    EXPECT_EQ(ListItemText(form().Control(ControlId::lstUpd), 1), L"Hilfe");
    EXPECT_FALSE(CheckListChecked(form().Control(ControlId::lstUpd), 1));
    EXPECT_EQ(form().OfferedSections(), (std::vector<std::wstring>{L"1", L"3"}));
    EXPECT_EQ(ListItemText(form().Control(ControlId::lstAnw), 0), L"Folgende Programmteile werden erneuert");
    EXPECT_TRUE(IsWindowEnabled(form().Control(ControlId::cmdnex)));
    EXPECT_EQ(Text(form().Control(ControlId::cmdnex)), L"Weiter");
}

TEST_F(ListFetch, FailedFetchKeepsTheStepAndALaterPressSucceeds) {
    published_.Put(L"update19.txt", kTwoUpdates);
    WriteFileBytes(ListFile(), "[9]\r\nPrg=MIRADO19\r\nText=Alt\r\ncek=1\r\n");
    nettest::Control("http_status=500");
    BoxAnswerer boxes;
    Press();
    ASSERT_EQ(boxes.Seen().size(), 1u);
    EXPECT_EQ(boxes.Seen()[0].text, ListFile()) << "the message is the destination path, nothing else";
    EXPECT_EQ(form().Step(), WizardStep::Confirmation);
    EXPECT_FALSE(PathExists(ListFile())) << "the old list is deleted before every fetch";
    EXPECT_TRUE(IsWindowEnabled(form().Control(ControlId::cmdnex)));

    Press();  // still down: tried again, still state 1
    EXPECT_EQ(boxes.Seen().size(), 2u);
    EXPECT_EQ(form().Step(), WizardStep::Confirmation);

    nettest::Control("reset=1");
    Press();
    EXPECT_EQ(boxes.Seen().size(), 2u);
    EXPECT_EQ(form().Step(), WizardStep::Selection);
    EXPECT_EQ(ListCount(form().Control(ControlId::lstUpd)), 2);
}

TEST_F(ListFetch, AListCutShortIsNeverRead) {
    // The cut falls inside the second section's caption.
    published_.Put(L"update19.txt", kTwoUpdates);
    nettest::Control("http_cut=" + std::to_string(std::string(kTwoUpdates).find("Hilfe") + 2));
    BoxAnswerer boxes;
    Press();
    ASSERT_EQ(boxes.Seen().size(), 1u);
    EXPECT_EQ(boxes.Seen()[0].text, ListFile());
    EXPECT_EQ(form().Step(), WizardStep::Confirmation);
    EXPECT_FALSE(PathExists(ListFile()));
    EXPECT_EQ(ListItemText(form().Control(ControlId::lstUpd), 0), L"Obige Punkte sind erledigt") << "nothing offered";
}

TEST_F(ListFetch, AReadOnlyListFromAnEarlierRunIsReplaced) {
    published_.Put(L"update19.txt", kTwoUpdates);
    WriteFileBytes(ListFile(), "[9]\r\nPrg=MIRADO19\r\nText=Alt\r\ncek=1\r\n");
    SetFileAttributesW(ListFile().c_str(), FILE_ATTRIBUTE_READONLY);
    Press();
    EXPECT_EQ(form().Step(), WizardStep::Selection);
    std::string fetched;
    ASSERT_TRUE(ReadFileBytes(ListFile(), &fetched));
    EXPECT_EQ(fetched, kTwoUpdates);
}

TEST_F(ListFetch, UnreachableHostKeepsTheStep) {
    // A port nobody listens on: the connection is refused at once.
    RegSet(HKEY_CURRENT_USER, kCad, L"Update Host", L"127.0.0.1:9");
    session().updateBaseUrl = L"http://127.0.0.1:9/talveroupdate/files/";
    BoxAnswerer boxes;
    Press();
    ASSERT_EQ(boxes.Seen().size(), 1u);
    EXPECT_EQ(boxes.Seen()[0].text, ListFile());
    EXPECT_EQ(form().Step(), WizardStep::Confirmation);
    EXPECT_TRUE(IsWindowEnabled(form().Control(ControlId::cmdnex)));
}

TEST_F(ListFetch, ListWithoutInstalledProductsEndsTheWizard) {
    published_.Put(L"update19.txt", "[2]\r\nPrg=MIRADOS19\r\nText=Nicht installiert\r\ncek=1\r\n");
    BoxAnswerer boxes;
    Press();
    EXPECT_TRUE(boxes.Seen().empty());
    EXPECT_EQ(form().Step(), WizardStep::NothingToDo);
    EXPECT_EQ(Text(form().Control(ControlId::cmdnex)), L"Beenden");
    EXPECT_EQ(ListItemText(form().Control(ControlId::lstAnw), 0), L"Es sind keine Updates vorhanden");
    EXPECT_TRUE(IsWindowEnabled(form().Control(ControlId::cmdnex)));
    HWND h = form().Handle();
    Press();
    ProcessMessages();
    EXPECT_FALSE(IsWindow(h)) << "the next press closes the window";
    form_.reset();
    DrainQuit();
}

}  // namespace
