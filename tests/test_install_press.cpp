// The wizard's install press and the download log: the states it leads to,
// a run that ends with an error, the log's bytes and name, and a log that
// cannot be written.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sys/Dateien.h"
#include "support/InstallFixture.h"

using namespace testsupport;

namespace {

using Lines = std::vector<std::wstring>;

class InstallPress : public InstallFixture {
protected:
    void PressInState2() {
        form().SetStep(WizardStep::Selection);
        Press();
    }

    void ExpectButtonBack(const wchar_t* caption) {
        EXPECT_EQ(caption, Text(form().Control(ControlId::cmdnex)));
        EXPECT_TRUE(IsWindowEnabled(form().Control(ControlId::cmdnex)));
        EXPECT_EQ(LoadCursorW(nullptr, IDC_ARROW), GetCursor());
    }
};

TEST_F(InstallPress, NothingCheckedStillRunsWritesTheLogAndFinishes) {
    List("[1]\r\nPrg=MIRADO19\r\nT=Eins\r\ncek=0\r\nFile001=ut7a.dat\r\nName001=a.dat\r\n");
    PressInState2();

    EXPECT_EQ(WizardStep::Finished, form().Step());
    ExpectButtonBack(L"Beenden");
    const std::wstring log = LogPath();
    EXPECT_EQ(std::wstring::npos, log.find(L'/', 2)) << "the short date must not make folders";
    EXPECT_EQ("Erneuerte Dateien\r\n\r\n", Content(log)) << "ANSI, CR LF, no byte-order mark";
    EXPECT_EQ((Lines{L" Das Download-Protokoll wurde in:", L" " + log, L" gespeichert"}), Items(form().Control(ControlId::lstAnw)));
    EXPECT_EQ(0, ListCount(form().Control(ControlId::lstUpd)));
    std::string opened;
    EXPECT_TRUE(viewer_->Opened(&opened));
    EXPECT_EQ("Erneuerte Dateien\r\n\r\n", opened);
    EXPECT_FALSE(PathExists(mirado_ + L"a.dat"));
    EXPECT_TRUE(boxes_.Seen().empty());
}

TEST_F(InstallPress, ASecondRunOnTheSameDayAddsToTheLogInTheAnsiCodePage) {
    const std::wstring name = L"Maß_\u00FC.dat";
    server_.Put(L"lupd19\\ut8.dat", "eight");
    List("[1]\r\nPrg=MIRADO19\r\nT=Eins\r\ncek=0\r\n");
    RunInstallPress(form());
    const std::wstring log = LogPath();
    ASSERT_EQ("Erneuerte Dateien\r\n\r\n", Content(log));

    List("[1]\r\nPrg=MIRADO19\r\nT=Eins\r\ncek=1\r\nFile001=ut8.dat\r\nName001=" + ToAnsi(name) + "\r\n");
    RunInstallPress(form());
    EXPECT_EQ("eight", Content(mirado_ + name));
    const std::wstring upper = Upper(name);
    EXPECT_EQ((Lines{L"Erneuerte Dateien", L"", L"", L"Erneuerte Dateien", L"", L"Download von: " + upper,
                     upper + L" wurde in Pfad: " + Upper(mirado_) + L" kopiert", L""}),
              LogLines())
        << "the first run's account stays, an empty line before the second";
    const std::string bytes = Content(log);
    EXPECT_NE("\xEF\xBB\xBF", bytes.substr(0, 3));
    if (GetACP() == 1252) {
        EXPECT_NE(std::string::npos, bytes.find("MA\xDF_\xDC.DAT\r\n"));
    }
}

TEST_F(InstallPress, ABackupFolderThatCannotBeMadeEndsTheRunWithTheLogWritten) {
    // A file where a folder of the path should be: neither the target nor
    // its backup folder can be made.
    WriteFileBytes(root_.path() + L"blocker", "a file");
    server_.Put(L"lupd19\\ut9first.dat", "first");
    server_.Put(L"lupd19\\ut9second.dat", "second");
    server_.Put(L"lupd19\\ut9third.dat", "third");
    List("[1]\r\nPrg=MIRADO19\r\nT=Eins\r\ncek=1\r\n"
         "File001=ut9first.dat\r\nName001=first.dat\r\n"
         "File002=ut9second.dat\r\nName002=second.dat\r\nPath002=" +
         Narrow(root_.path()) + "blocker\\sub\\\r\n"
         "File003=ut9third.dat\r\nName003=third.dat\r\n");
    PressInState2();

    EXPECT_EQ(WizardStep::Selection, form().Step()) << "a further press starts the installation again";
    ExpectButtonBack(L"Weiter");
    const std::vector<SeenBox> seen = boxes_.Seen();
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(kAppTitle, seen[0].caption);
    const std::wstring shown = seen[0].text;
    EXPECT_TRUE(shown == IoErrorText(ERROR_PATH_NOT_FOUND) + L"." || shown == IoErrorText(ERROR_DIRECTORY) + L"." ||
                shown == IoErrorText(ERROR_ACCESS_DENIED) + L".")
        << Narrow(shown);
    EXPECT_EQ("first", Content(mirado_ + L"first.dat"));
    EXPECT_FALSE(PathExists(mirado_ + L"third.dat")) << "entries after the failing one are not processed";
    // The log ends with why the run stopped, as the box says it.
    const Lines firstRun{L"Erneuerte Dateien", L"", L"Download von: FIRST.DAT",
                         L"FIRST.DAT wurde in Pfad: " + Upper(mirado_) + L" kopiert", L"",
                         shown.substr(0, shown.size() - 1)};
    EXPECT_EQ(firstRun, LogLines());
    EXPECT_EQ((Lines{L" Das Download-Protokoll wurde in:", L" " + LogPath(), L" gespeichert"}),
              Items(form().Control(ControlId::lstAnw)));

    // The press after the error must not wipe out what the log says of it.
    boxes_.Clear();
    PressInState2();
    Lines both = firstRun;
    for (const wchar_t* line : {L"", L"Erneuerte Dateien", L""}) both.push_back(line);
    EXPECT_EQ(both, LogLines());
}

TEST_F(InstallPress, ALogThatCannotBeWrittenKeepsBothLists) {
    List("[1]\r\nPrg=MIRADO19\r\nT=Eins\r\ncek=0\r\n[2]\r\nPrg=MIRADO19\r\nT=Zwei\r\ncek=0\r\n");
    ForceFolderChain(LogPath());  // a folder where the log belongs
    EXPECT_THROW(RunInstallPress(form()), UpdateError);
    EXPECT_EQ((Lines{L"Erneuerte Dateien", L""}), Items(form().Control(ControlId::lstAnw)));
    EXPECT_EQ(2, ListCount(form().Control(ControlId::lstUpd)));
}

TEST_F(InstallPress, FtpPortFromTheSettings) {
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\Talvero\\CAD\\Settings", 0, KEY_SET_VALUE, &key));
    RegDeleteValueW(key, L"FTP Port");
    RegCloseKey(key);
    EXPECT_EQ(21, InstallFtpPort(HKEY_CURRENT_USER));
    std::wstring stored;
    EXPECT_TRUE(RegGet(HKEY_CURRENT_USER, kCad, L"FTP Port", &stored));
    EXPECT_EQ(L"21", stored);
    const std::pair<const wchar_t*, int> cases[] = {
        {L"2121", 2121}, {L"abc", 21}, {L"70000", 21}, {L"0", 21}, {L"-5", 21}, {L"65535", 65535}, {L"21x", 21}};
    for (const auto& [text, port] : cases) {
        RegSet(HKEY_CURRENT_USER, kCad, L"FTP Port", text);
        EXPECT_EQ(port, InstallFtpPort(HKEY_CURRENT_USER)) << Narrow(text);
        EXPECT_TRUE(RegGet(HKEY_CURRENT_USER, kCad, L"FTP Port", &stored));
        EXPECT_EQ(text, stored) << "a setting that is no port stays as the user wrote it";
    }
}

}  // namespace
