// Reading the update list into the selection list of the real main window.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "run/Variable.h"
#include "support/TestSupport.h"
#include "support/WindowFixture.h"

using namespace testsupport;

namespace {

const std::wstring kCad = L"\\SOFTWARE\\Talvero\\CAD\\Settings";
const std::wstring kPro = L"\\SOFTWARE\\Talvero\\Miradopro19\\Settings";

struct Outcome {
    bool result = false;
    std::vector<std::pair<std::wstring, bool>> entries;  // caption, checked
    std::wstring sections;
    std::vector<std::wstring> messages;                  // lstAnw
    std::wstring button;                                 // caption of cmdnex
};

class UpdateList : public WindowFixture {
protected:
    void SetUp() override {
        OpenWindow();
        // An earlier test's window leaves its quit message behind, which
        // would end any message box at once.
        MSG quit;
        while (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
        installed_ = root_.path() + L"Mirado19\\";
        CreateDirectoryW(installed_.c_str(), nullptr);
        RegSet(HKEY_CURRENT_USER, kCad, L"Mirado19 Dir", installed_);
        RegSet(HKEY_CURRENT_USER, kCad, L"Mirados19 Dir", root_.path() + L"nowhere\\");
    }

    Outcome Read(const std::string& content) {
        const std::wstring path = root_.path() + L"update" + std::to_wstring(++files_) + L".cfg";
        WriteFileBytes(path, content);
        return ReadFile(path);
    }

    Outcome ReadFile(const std::wstring& path) {
        Outcome o;
        o.result = form().ReadUpdateList(path);
        for (int i = 0; i < ListCount(form().Control(ControlId::lstUpd)); ++i)
            o.entries.emplace_back(ListItemText(form().Control(ControlId::lstUpd), i), CheckListChecked(form().Control(ControlId::lstUpd), i));
        for (const std::wstring& s : form().OfferedSections()) o.sections += s;
        for (int i = 0; i < ListCount(form().Control(ControlId::lstAnw)); ++i) o.messages.push_back(ListItemText(form().Control(ControlId::lstAnw), i));
        o.button = Text(form().Control(ControlId::cmdnex));
        return o;
    }

    std::wstring installed_;
    int files_ = 0;
};

using Entries = std::vector<std::pair<std::wstring, bool>>;
const std::vector<std::wstring> kOffered = {L"Folgende Programmteile werden erneuert"};
const std::vector<std::wstring> kNothing = {L"Es sind keine Updates vorhanden"};

TEST_F(UpdateList, OffersTheSectionsOfInstalledProducts) {
    const Outcome o = Read(
        "[1]\r\nPrg=MIRADO19\r\nText=Symbole 2019\r\ncek=1\r\nFile001=a.zip\r\nName001=a.zip\r\n"
        "[2]\r\nPrg=MIRADOS19\r\nText=Nicht installiert\r\ncek=1\r\n"
        "[3]\r\nPrg=mirado19\r\nText=Hilfe = neu\r\ncek=0\r\nFile001=h.chm\r\n"
        "[4]\r\nPrg=NORVIX19\r\nText=Nicht registriert\r\ncek=1\r\n");
    EXPECT_TRUE(o.result);
    EXPECT_EQ((Entries{{L"Symbole 2019", true}, {L"Hilfe = neu", false}}), o.entries);
    EXPECT_EQ(L"13", o.sections);
    EXPECT_EQ(kOffered, o.messages);
    EXPECT_EQ(L"Weiter", o.button);

    // A second reading starts afresh.
    const Outcome again = Read("[7]\nPrg=MIRADO19\nT=x\ncek=1\n");
    EXPECT_EQ(L"7", again.sections);
    EXPECT_EQ(1u, again.entries.size());
}

TEST_F(UpdateList, NothingOfferedEndsTheWizard) {
    const Outcome empty = Read("");
    EXPECT_FALSE(empty.result);
    EXPECT_TRUE(empty.entries.empty());
    EXPECT_EQ(L"", empty.sections);
    EXPECT_EQ(kNothing, empty.messages);
    EXPECT_EQ(L"Beenden", empty.button);

    SetWindowTextW(form().Control(ControlId::cmdnex), L"Weiter");
    const Outcome none = Read("[1]\r\nPrg=MIRADOS19\r\nText=x\r\ncek=1\r\n\r\n\r\n");
    EXPECT_FALSE(none.result);
    EXPECT_EQ(kNothing, none.messages);
    EXPECT_EQ(L"Beenden", none.button);
}

TEST_F(UpdateList, OnlyTheExactCheckLineUnchecks) {
    const Outcome o = Read(
        "[a]\r\nPrg=MIRADO19\r\nT=1\r\ncek=0 \r\n"
        "[b]\r\nPrg=MIRADO19\r\nT=2\r\nCek=0\r\n"
        "[c]\r\nPrg=MIRADO19\r\nT=3\r\ncek=00\r\n"
        "[d]\r\nPrg=MIRADO19\r\nT=4\r\ncek=0\r\n"
        "[e]\nPrg=MIRADO19\nT=5\ncek=0\n"
        "[f]\r\nPrg=MIRADO19\r\nT=6\r\nirgendwas=0\r\n");
    EXPECT_EQ((Entries{{L"1", true}, {L"2", true}, {L"3", true}, {L"4", false}, {L"5", false}, {L"6", true}}),
              o.entries);
    EXPECT_EQ(L"abcdef", o.sections);
}

TEST_F(UpdateList, CaptionIsWhatFollowsTheFirstEqualsSign) {
    const Outcome o = Read(
        "[1]\r\nPrg=MIRADO19\r\nKein Gleichheitszeichen\r\ncek=1\r\n"
        "[2]\r\nPrg=MIRADO19\r\nT=a=b\r\ncek=1\r\n"
        "[3]\r\nPrg=MIRADO19\r\n=\r\ncek=1\r\n"
        "[4]\r\nPrg=MIRADO19\r\nT=Gr\xF6\xDF" "e \xC4nderung\r\ncek=1\r\n");
    ASSERT_EQ(4u, o.entries.size());
    EXPECT_EQ(L"Kein Gleichheitszeichen", o.entries[0].first);
    EXPECT_EQ(L"a=b", o.entries[1].first);
    EXPECT_EQ(L"", o.entries[2].first);
    wchar_t expected[32] = L"";
    MultiByteToWideChar(CP_ACP, 0, "Gr\xF6\xDF" "e \xC4nderung", -1, expected, 32);
    EXPECT_EQ(std::wstring(expected), o.entries[3].first);
}

TEST_F(UpdateList, ProductFolderMustBeOnDisk) {
    RegSet(HKEY_CURRENT_USER, kCad, L"Padded Dir", L"  " + installed_ + L"\t ");
    RegSet(HKEY_CURRENT_USER, kCad, L"Gone Dir", root_.path() + L"gone\\");
    RegSet(HKEY_CURRENT_USER, kCad, L"File Dir", root_.path() + L"update1.cfg");
    const Outcome o = Read(
        "[1]\r\nPrg=Gone\r\nT=gone\r\ncek=1\r\n"
        "[2]\r\nPrg=Padded\r\nT=padded\r\ncek=1\r\n"
        "[3]\r\nPrg=File\r\nT=file\r\ncek=1\r\n"
        "[4]\r\nPrg=MIRADO19 \r\nT=trailing blank\r\ncek=1\r\n");
    EXPECT_EQ((Entries{{L"padded", true}}), o.entries);
    EXPECT_EQ(L"2", o.sections);
}

TEST_F(UpdateList, ListOnlyProductNeedsTheProSettingsKey) {
    const std::string list =
        "[1]\r\nPrg=MIRADOPROII\r\nT=pro II\r\ncek=0\r\n"
        "[2]\r\nPrg=miradoproii\r\nT=klein\r\ncek=1\r\n";
    const Outcome without = Read(list);
    EXPECT_TRUE(without.entries.empty());
    EXPECT_FALSE(without.result);

    RegSet(HKEY_CURRENT_USER, kPro, L"Profiles Dir", L"");
    const Outcome with = Read(list);
    EXPECT_EQ((Entries{{L"pro II", false}}), with.entries);
    EXPECT_EQ(L"1", with.sections);

    // Written in lower case it is an ordinary product key, found through a
    // value named after it (value names ignore case).
    RegSet(HKEY_CURRENT_USER, kCad, L"MiradoProII Dir", installed_);
    const Outcome both = Read(list);
    EXPECT_EQ((Entries{{L"pro II", false}, {L"klein", true}}), both.entries);
    EXPECT_EQ(L"12", both.sections);
}

TEST_F(UpdateList, ListOnlyProductWithAStaleFolderIsOfferedAtItsNextLine) {
    // The registered folder is missing, so the header line offers nothing;
    // the pending key is still the list-only one, and the line after the
    // header offers the section, reading on by position.
    RegSet(HKEY_CURRENT_USER, kPro, L"Profiles Dir", L"");
    RegSet(HKEY_CURRENT_USER, kCad, L"MIRADOPROII Dir", root_.path() + L"gone\\");
    const Outcome o = Read("[5]\r\nPrg=MIRADOPROII\r\nT=pro II\r\ncek=0\r\nFile001=x.dll\r\nT=later\r\ncek=0\r\n");
    EXPECT_EQ((Entries{{L"0", true}}), o.entries);
    EXPECT_EQ(L"5", o.sections);
}

TEST_F(UpdateList, TruncatedSectionsAtTheEnd) {
    const Outcome header = Read("[1]\r\nPrg=MIRADO19\r\nT=x\r\ncek=1\r\n[2]");
    EXPECT_EQ(L"1", header.sections);
    const Outcome product = Read("[1]\r\nPrg=MIRADO19\r\nT=x\r\ncek=0\r\n[2]\r\nPrg=MIRADO19");
    EXPECT_EQ((Entries{{L"x", false}, {L"", true}}), product.entries);
    EXPECT_EQ(L"12", product.sections);
}

TEST_F(UpdateList, IdsThatAreNotOneCharacterAreLeftOut) {
    const Outcome o = Read(
        "[]\r\nPrg=MIRADO19\r\nT=leer\r\ncek=1\r\n"
        "[12]\r\nPrg=MIRADO19\r\nT=zwei\r\ncek=1\r\n"
        "[3\r\nPrg=MIRADO19\r\nT=offen\r\ncek=1\r\n"
        "[\r\nPrg=MIRADO19\r\nT=nur Klammer\r\ncek=1\r\n"
        "[4] \r\nPrg=MIRADO19\r\nT=Blank\r\ncek=1\r\n"
        "[5]\r\nPrg=MIRADO19\r\nT=fuenf\r\ncek=1\r\n"
        "[12\r\nPrg=MIRADOPROII\r\nT=pro\r\ncek=1\r\n"
        "[6]\r\nPrg=MIRADO19\r\nT=sechs\r\ncek=0\r\n");
    EXPECT_EQ((Entries{{L"fuenf", true}, {L"sechs", false}}), o.entries);
    EXPECT_EQ(L"56", o.sections);
}

// The head a signed list begins with is no section to offer, even with the
// keys of one: a build without a key passes over it.
TEST_F(UpdateList, TheHeadOfASignedListOffersNothing) {
    const std::string head = "[Liste]\r\nName=update19.txt\r\nSerie=7\r\nAblauf=20991231\r\n";
    const Outcome o = Read(head + "[1]\r\nPrg=MIRADO19\r\nT=eins\r\ncek=1\r\n");
    EXPECT_EQ((Entries{{L"eins", true}}), o.entries);
    EXPECT_EQ(L"1", o.sections);
    const Outcome alone = Read(head + "Prg=MIRADO19\r\nT=Kopf\r\ncek=1\r\n");
    EXPECT_FALSE(alone.result);
    EXPECT_EQ(kNothing, alone.messages);
}

TEST_F(UpdateList, MissingFileIsAnsweredWithASingleYesButton) {
    BoxAnswerer boxes;
    // The system's own wording of Yes, from an ordinary Yes/No box.
    MessageBoxW(nullptr, L"Referenz", L"Referenz", MB_YESNO);
    ASSERT_EQ(1u, boxes.Seen().size());
    const std::wstring yes = boxes.Seen()[0].buttons.at(0);
    boxes.Clear();

    ListClear(form().Control(ControlId::lstAnw));
    ListAdd(form().Control(ControlId::lstAnw), L"vorher");
    const Outcome o = ReadFile(root_.path() + L"fehlt.cfg");
    EXPECT_FALSE(o.result);
    EXPECT_TRUE(o.entries.empty());
    EXPECT_EQ(std::vector<std::wstring>{L"vorher"}, o.messages);
    EXPECT_EQ(L"Weiter", o.button);
    const std::vector<SeenBox> seen = boxes.Seen();
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(L"Datei \"update.cfg\" ist nicht vorhanden.", seen[0].text);
    EXPECT_EQ(std::vector<std::wstring>{yes}, seen[0].buttons);
}

TEST_F(UpdateList, ListHeldByAnotherProgramHasNoUpdates) {
    const std::wstring path = root_.path() + L"locked.cfg";
    WriteFileBytes(path, "[1]\r\nPrg=MIRADO19\r\nT=x\r\ncek=1\r\n");
    HANDLE lock = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);
    const Outcome o = ReadFile(path);
    CloseHandle(lock);
    EXPECT_FALSE(o.result);
    EXPECT_EQ(kNothing, o.messages);
    EXPECT_EQ(L"Beenden", o.button);
}

// Hostile lists: each must finish with the list and the section ids in step.
TEST_F(UpdateList, HostileListsEndCleanly) {
    std::mt19937 random(20190);
    std::string junk(256 * 1024, '\0');
    for (char& c : junk) c = static_cast<char>(random() & 0xFF);
    for (size_t i = 0; i < junk.size(); i += 997) junk.replace(i, 18, "\n[x]\nPrg=MIRADO19\n");
    Outcome o = Read(junk);
    EXPECT_EQ(o.sections.size(), o.entries.size());
    EXPECT_GT(o.entries.size(), 0u);

    const std::string huge(10 * 1024 * 1024, 'A');
    o = Read("[" + huge);
    EXPECT_FALSE(o.result);
    o = Read("[1]\r\nPrg=" + huge + "\r\nT=x\r\ncek=1\r\n[2]\r\nPrg=MIRADO19\r\nT=y\r\ncek=1");
    EXPECT_EQ((Entries{{L"y", true}}), o.entries);
    o = Read("[1]\r\nPrg=MIRADO19\r\nT=" + huge);
    ASSERT_EQ(1u, o.entries.size());
    EXPECT_EQ(huge.size(), o.entries[0].first.size());

    o = Read(std::string("[1]\r\nPrg=MIRADO19\0junk\r\nT=x\r\ncek=1\r\n", 36));
    EXPECT_TRUE(o.entries.empty());
}

TEST_F(UpdateList, HundredThousandSections) {
    std::string list;
    for (int i = 0; i < 100000; ++i) {
        list += "[";
        list += static_cast<char>('!' + i % 90);
        list += (i % 2) ? "]\r\nPrg=MIRADO19\r\nT=e\r\ncek=0\r\nFile001=x\r\n" : "]\r\nPrg=MIRADOS19\r\nT=n\r\ncek=1\r\n";
    }
    const Outcome o = Read(list);
    EXPECT_TRUE(o.result);
    EXPECT_EQ(50000u, o.entries.size());
    ASSERT_EQ(50000u, o.sections.size());
    EXPECT_EQ(L'"', o.sections[0]);
}

}  // namespace
