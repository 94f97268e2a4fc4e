// The install run worked on the real update.exe: several products with
// backups, the keep path and an unchecked entry; a transfer cut off in the
// middle and a refused login; a company network with a proxy and no FTP; a
// hostile archive; the user closing the window while a file arrives; a
// log-off during the run; the download log of a run with nothing checked.
// Each is checked on screen, on disk and in the download log.
#include <algorithm>
#include <functional>

#include "driver/E2e.h"
#include "native/ZipBuilder.h"

using namespace e2e;
using uidriver::Exists;
using uidriver::FoldersStartingWith;
using uidriver::ReadBytes;
using uidriver::WriteBytes;

namespace {

std::string Content(const std::wstring& path) {
    std::string bytes;
    return ReadBytes(path, &bytes) ? bytes : std::string("<missing>");
}

std::wstring Upper(std::wstring s) {
    CharUpperBuffW(&s[0], static_cast<DWORD>(s.size()));
    return s;
}

// The run's one backup folder inside target ("_History " + date-time).
std::wstring History(const std::wstring& target) {
    const auto found = FoldersStartingWith(target, L"_History ");
    return found.size() == 1 ? found[0] : L"<" + std::to_wstring(found.size()) + L" backup folders>";
}

// "_History " + yyyymmdd-hhmmss of this year, as a folder.
bool DatedBackupName(const std::wstring& name) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    if (name.size() != 25 || name.compare(0, 9, L"_History ") != 0 || name[17] != L'-' || name[24] != L'\\')
        return false;
    for (size_t i : {9, 10, 11, 12, 13, 14, 15, 16, 18, 19, 20, 21, 22, 23})
        if (name[i] < L'0' || name[i] > L'9') return false;
    return name.substr(9, 4) == std::to_wstring(now.wYear);
}

std::vector<std::wstring> LogLines(const std::string& ansi) {
    std::vector<std::wstring> lines;
    size_t at = 0;
    while (at < ansi.size()) {
        const size_t end = ansi.find("\r\n", at);
        if (end == std::string::npos) {
            lines.push_back(uidriver::FromAnsi(ansi.substr(at)) + L"<no CR LF>");
            break;
        }
        lines.push_back(uidriver::FromAnsi(ansi.substr(at, end - at)));
        at = end + 2;
    }
    return lines;
}

zipbuild::Item Item(const std::string& name, const std::string& data, bool deflate = false) {
    zipbuild::Item it;
    it.name = name;
    it.data = data;
    it.deflate = deflate;
    return it;
}

bool Has(const std::vector<std::wstring>& lines, const std::wstring& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class Install : public Scenario {
protected:
    // After the run: the three lines naming the log, an empty selection,
    // the log opened by the text viewer with exactly what the run wrote.
    std::vector<std::wstring> CheckLog() {
        const std::wstring log = world().LogPath();
        EXPECT_EQ(Anw(), (std::vector<std::wstring>{L" Das Download-Protokoll wurde in:", L" " + log, L" gespeichert"}));
        EXPECT_TRUE(Upd().empty());
        std::string bytes;
        EXPECT_TRUE(ReadBytes(log, &bytes)) << Utf8(log);
        EXPECT_EQ(OpenedLog(), bytes) << "the log is opened with the text viewer";
        return LogLines(bytes);
    }
};

TEST_F(Install, SeveralProductsWithBackupsKeepPathAndAnUncheckedEntry) {
    Installed();
    const std::wstring sym = world().Mirado19Iec() + L"Symbole\\";
    uidriver::MakeFolders(sym + L"Elektro");
    WriteBytes(sym + L"Elektro\\S01.sym", "S01 alt");
    WriteBytes(world().Mirado19() + L"e2etool.exe", "tool alt");
    uidriver::MakeFolders(world().ProFolder() + L"Dat");
    WriteBytes(world().ProFolder() + L"Dat\\pro.dat", "pro alt");
    WriteBytes(world().ProFolder() + L"liesmich.txt", "vom Anwender");

    zipbuild::Archive zip = zipbuild::Build({Item("Elektro/S01.sym", "S01 neu", true),
                                             Item("Pneumatik/Ventile/V32.sym", "V32 neu", true),
                                             Item("liesmich.txt", "Symbole 2019.2")});
    world().Publish(L"lupd19\\e2esym.zip", zip.bytes);
    world().Publish(L"lupd19\\e2etool.EXE", "tool neu ueber FTP");
    world().Publish(L"lupd19\\e2etool.prg", "tool neu ueber HTTP");
    world().Publish(L"lupd19\\e2epro.dat", "pro neu");
    world().Publish(L"lupd19\\e2ereadme.txt", "liesmich neu");
    world().Publish(L"lupd19\\e2eneu.txt", "x64 neu");
    world().Publish(L"lupd19\\e2ehilfe.txt", "hilfe neu");
    world().Publish(L"lupd19\\e2edev.txt", "geraet neu");
    world().PublishList(
        L"[1]\nPrg=MIRADO19\nText=Mirado Symbole und Werkzeug\ncek=1\n"
        L"File001=e2esym.zip\nName001=e2esym.zip\nPath001=symbole\n"
        L"File002=e2etool.prg\nName002=e2etool.exe\nPath002=\n"
        L"[2]\nPrg=MIRADOPRO19\nText=Mirado pro Daten\ncek=1\n"
        L"File001=e2epro.dat\nName001=pro.dat\nPath001=DAT\n"
        L"File002=e2ereadme.txt\nName002=liesmich.txt\nPath002=APPDATA\nRepl002=0\n"
        L"File003=e2eneu.txt\nName003=neu.txt\nPath003=X64\nRepl003=0\n"
        L"[3]\nPrg=MIRADOS19\nText=Mirado s Hilfe\ncek=0\nFile001=e2ehilfe.txt\nName001=hilfe.txt\nPath001=HELP\n"
        L"[4]\nPrg=NORVIX19\nText=norvix Geraete\ncek=1\n"
        L"File001=e2edev.txt\nName001=dev.txt\nPath001=catalog_qon5_device\n");
    ToSelection();
    ASSERT_EQ(wiz().Checks(), (std::vector<bool>{true, true, false, true}));
    ASSERT_TRUE(wiz().ClickCheck(3));  // the user leaves norvix out
    ASSERT_EQ(wiz().Checks(), (std::vector<bool>{true, true, false, false}));

    const std::vector<Box> boxes = RunInstall();
    EXPECT_TRUE(boxes.empty()) << Utf8(boxes.empty() ? L"" : boxes[0].text);
    EXPECT_EQ(wiz().Caption(), L"Beenden");
    EXPECT_TRUE(wiz().Visible(wiz().ProgressBar1));
    EXPECT_EQ(wiz().ProgressPos(), 100);
    EXPECT_EQ(wiz().Text(wiz().lblSize), L"   ");
    EXPECT_EQ(wiz().Text(wiz().lblFile), L"   ");

    // Archive unpacked with its folders; replaced files saved first.
    EXPECT_EQ(Content(sym + L"Elektro\\S01.sym"), "S01 neu");
    EXPECT_EQ(Content(sym + L"Pneumatik\\Ventile\\V32.sym"), "V32 neu");
    EXPECT_EQ(Content(sym + L"liesmich.txt"), "Symbole 2019.2");
    // The program listed as .prg came over FTP under the name .EXE.
    EXPECT_EQ(Content(world().Mirado19() + L"e2etool.exe"), "tool neu ueber FTP");
    const std::wstring toolBackup = History(world().Mirado19());
    EXPECT_EQ(Content(toolBackup + L"e2etool.exe"), "tool alt");
    EXPECT_TRUE(DatedBackupName(toolBackup.substr(world().Mirado19().size()))) << Utf8(toolBackup);
    EXPECT_EQ(Content(world().ProFolder() + L"Dat\\pro.dat"), "pro neu");
    EXPECT_EQ(Content(History(world().ProFolder() + L"Dat\\") + L"pro.dat"), "pro alt");
    // Keep path: the installed file stays, the new one is parked in Updates.
    EXPECT_EQ(Content(world().ProFolder() + L"liesmich.txt"), "vom Anwender");
    EXPECT_EQ(Content(world().UpdatesFolder() + L"liesmich.txt"), "liesmich neu");
    // Not allowed to replace, but not there yet: installed like any other.
    EXPECT_EQ(Content(world().Miradopro19() + L"X64\\neu.txt"), "x64 neu");
    // Unchecked entries install nothing.
    EXPECT_FALSE(Exists(world().Mirados19() + L"Help\\hilfe.txt"));
    EXPECT_FALSE(Exists(world().Qon5Catalogue() + L"Device\\dev.txt"));

    const std::vector<std::wstring> log = CheckLog();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[0], L"Erneuerte Dateien");
    EXPECT_EQ(log[1], L"");
    EXPECT_EQ(log[2], L"Download von: E2ESYM.ZIP");
    EXPECT_TRUE(Has(log, L"E2ETOOL.EXE wurde in Pfad: " + Upper(world().Mirado19()) + L" kopiert"));
    EXPECT_TRUE(Has(log, L"LIESMICH.TXT wurde in Temp-Pfad: " + Upper(world().UpdatesFolder()) + L" kopiert"));
    EXPECT_FALSE(Has(log, L"Download von: HILFE.TXT"));
    EXPECT_FALSE(Has(log, L"Download von: DEV.TXT"));
    Finish();
}

TEST_F(Install, ACutTransferAndARefusedLoginLeaveTheInstalledFiles) {
    Installed();
    const std::string big = nettest::RandomBytes(20000, 7);
    WriteBytes(world().Mirado19() + L"gross.bin", "gross alt");
    WriteBytes(world().Mirado19() + L"klein.txt", "klein alt");
    world().Publish(L"lupd19\\e2egross.bin", big);
    world().Publish(L"lupd19\\e2eklein.txt", "klein neu");
    world().PublishList(L"[1]\nPrg=MIRADO19\nText=Mirado\ncek=1\n"
                        L"File001=e2egross.bin\nName001=gross.bin\n"
                        L"File002=e2eklein.txt\nName002=klein.txt\n");
    ToSelection();
    nettest::Control("ftp_cut=5000");  // the line breaks after 5000 bytes
    RunInstall();
    EXPECT_EQ(Content(world().Mirado19() + L"gross.bin"), "gross alt") << "a cut transfer replaces nothing";
    EXPECT_EQ(Content(History(world().Mirado19()) + L"gross.bin"), "gross alt");
    EXPECT_EQ(Content(world().Mirado19() + L"klein.txt"), "klein neu") << "a file within the cut arrives";
    const auto log = CheckLog();
    EXPECT_FALSE(Has(log, L"GROSS.BIN wurde in Pfad: " + Upper(world().Mirado19()) + L" kopiert"));
    EXPECT_TRUE(wiz().Responsive());
    Finish();

    // Second run, the FTP server refuses the login: one message per file.
    nettest::Control("reset=1&refuse_login=1");
    ToSelection();
    const std::vector<Box> boxes = RunInstall();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, L"Host \"127.0.0.1\" ist nicht verfügbar");
    EXPECT_EQ(Content(world().Mirado19() + L"gross.bin"), "gross alt");
    EXPECT_EQ(Content(world().Mirado19() + L"klein.txt"), "klein neu");
    CheckLog();
    Finish();
}

// A company network: the web only through its proxy, no FTP at all. Every
// HTTP fetch goes through the proxy of the Internet settings, and the files
// meant for FTP come over HTTP without a word.
TEST_F(Install, BehindAProxyWithoutFtpTheRunCompletesOverHttp) {
    if (!nettest::Server().proxyPort) GTEST_SKIP() << "tinyproxy is not installed";
    const nettest::SystemProxy proxy;
    ASSERT_TRUE(proxy.ok());
    Installed();
    const std::string big = nettest::RandomBytes(90000, 21);
    const std::wstring dat = world().ProFolder() + L"Dat\\";
    uidriver::MakeFolders(dat);
    WriteBytes(dat + L"pro.dat", "pro alt");
    WriteBytes(world().ProFolder() + L"liesmich.txt", "vom Anwender");
    world().Publish(L"lupd19\\e2eproxy.dat", big);
    world().Publish(L"lupd19\\e2eproxy.txt", "liesmich neu");
    world().PublishList(L"[1]\nPrg=MIRADOPRO19\nText=Mirado pro\ncek=1\n"
                        L"File001=e2eproxy.dat\nName001=pro.dat\nPath001=DAT\n"
                        L"File002=e2eproxy.txt\nName002=liesmich.txt\nPath002=APPDATA\nRepl002=0\n");
    nettest::Control("ftp_off=1");
    ToSelection();
    const std::vector<Box> boxes = RunInstall();
    EXPECT_TRUE(boxes.empty()) << Utf8(boxes.empty() ? L"" : boxes[0].text);
    EXPECT_TRUE(Content(dat + L"pro.dat") == big);
    EXPECT_EQ(Content(History(dat) + L"pro.dat"), "pro alt");
    EXPECT_EQ(Content(world().ProFolder() + L"liesmich.txt"), "vom Anwender");
    EXPECT_EQ(Content(world().UpdatesFolder() + L"liesmich.txt"), "liesmich neu");
    const auto log = CheckLog();
    EXPECT_TRUE(Has(log, L"PRO.DAT wurde in Pfad: " + Upper(dat) + L" kopiert"));
    const std::string via = proxy.Requests();
    const std::string files = "http://127.0.0.1:" + std::to_string(nettest::Server().httpPort) + "/talveroupdate/files/";
    // The list (as its signature would, the same way), the file meant for
    // FTP and the one for the keep path.
    for (const char* fetched : {"update19.txt ", "lupd19/e2eproxy.dat ", "lupd19/e2eproxy.txt "})
        EXPECT_NE(via.find("GET " + files + fetched), std::string::npos) << fetched << " not via the proxy:\n" << via;
    Finish();
}

TEST_F(Install, AHostileArchiveIsRefusedAndTheRunGoesOn) {
    Installed();
    const std::wstring sym = world().Mirado19Iec() + L"Symbole\\";
    uidriver::MakeFolders(sym);
    WriteBytes(sym + L"a.sym", "a alt");
    const zipbuild::Archive zip = zipbuild::Build({Item("a.sym", "a neu"), Item("../../../../e2e_evil.txt", "boese")});
    world().Publish(L"lupd19\\e2eevil.zip", zip.bytes);
    world().Publish(L"lupd19\\e2enach.txt", "danach");
    world().PublishList(L"[1]\nPrg=MIRADO19\nText=Mirado\ncek=1\n"
                        L"File001=e2eevil.zip\nName001=evil.zip\nPath001=SYMBOLE\n"
                        L"File002=e2enach.txt\nName002=nach.txt\n");
    ToSelection();
    const std::vector<Box> boxes = RunInstall();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find(L"unzulässigen Dateinamen"), std::wstring::npos) << Utf8(boxes[0].text);
    EXPECT_EQ(Content(sym + L"a.sym"), "a alt") << "nothing of a refused archive is unpacked";
    for (const std::wstring& where : {world().Root(), world().Root() + L"Talvero\\", world().Root() + L"Talvero\\Mirado19\\",
                                      std::wstring(L"C:\\"), std::wstring(L"C:\\utest\\")})
        EXPECT_FALSE(Exists(where + L"e2e_evil.txt")) << Utf8(where);
    EXPECT_EQ(Content(world().Mirado19() + L"nach.txt"), "danach") << "the next file entry still installs";
    CheckLog();
}

TEST_F(Install, ClosingTheWindowDuringATransferEndsTheProgramAfterTheRun) {
    Installed();
    const std::string data = nettest::RandomBytes(150000, 11);
    world().Publish(L"lupd19\\e2elang.bin", data);
    world().PublishList(L"[1]\nPrg=MIRADO19\nText=Mirado\ncek=1\nFile001=e2elang.bin\nName001=lang.bin\n");
    ToSelection();
    nettest::Control("throttle=40000");
    ASSERT_TRUE(wiz().PressInstall());
    ASSERT_TRUE(Wizard::WaitFor([&] { return wiz().ProgressPos() >= 5 && wiz().ProgressPos() < 70; }, 20000))
        << "no transfer seen";
    EXPECT_FALSE(wiz().Enabled(wiz().cmdnex)) << "disabled while the run lasts";
    const int before = wiz().ProgressPos();
    wiz().Close();
    // The run goes on: the window still answers and the bar moves on.
    ASSERT_TRUE(Wizard::WaitFor([&] { return wiz().ProgressPos() > before; }, 10000));
    EXPECT_TRUE(wiz().Responsive());
    EXPECT_TRUE(IsWindow(wiz().Main()));
    DWORD code = 1;
    ASSERT_TRUE(wiz().WaitExit(30000, &code)) << "the program did not end after the run";
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(Content(world().Mirado19() + L"lang.bin"), data) << "the file arrived whole";
    std::string log;
    ASSERT_TRUE(ReadBytes(world().LogPath(), &log));
    EXPECT_EQ(OpenedLog(), log);
    EXPECT_NE(log.find("LANG.BIN wurde in Pfad: "), std::string::npos);
}

// A log-off asked for while a file arrives is held off and the run goes on;
// when Windows ends the session anyway, the log says where the run ended.
TEST_F(Install, ALogOffDuringTheRunIsHeldOffAndAForcedOneLeavesTheLog) {
    Installed();
    WriteBytes(world().Mirado19() + L"lang.bin", "installed lang");
    const std::string data = nettest::RandomBytes(600000, 12);
    world().Publish(L"lupd19\\e2eende.bin", data);
    world().PublishList(L"[1]\nPrg=MIRADO19\nText=Mirado\ncek=1\nFile001=e2eende.bin\nName001=lang.bin\n");
    ToSelection();
    nettest::Control("throttle=40000");
    ASSERT_TRUE(wiz().PressInstall());
    ASSERT_TRUE(Wizard::WaitFor([&] { return wiz().ProgressPos() >= 2 && wiz().ProgressPos() < 40; }, 20000))
        << "no transfer seen";
    EXPECT_NE(uidriver::AskToEndSession(), 0u) << "the log-off went ahead";
    EXPECT_TRUE(wiz().Running());
    EXPECT_TRUE(wiz().Responsive());
    const int before = wiz().ProgressPos();
    ASSERT_TRUE(Wizard::WaitFor([&] { return wiz().ProgressPos() > before; }, 10000)) << "the run stopped";

    ASSERT_TRUE(uidriver::EndSessionAnyway(wiz().Process(), wiz().Main()));
    EXPECT_EQ(Content(world().Mirado19() + L"lang.bin"), "installed lang");
    std::string log;
    ASSERT_TRUE(ReadBytes(world().LogPath(), &log));
    EXPECT_EQ(LogLines(log), (std::vector<std::wstring>{L"Erneuerte Dateien", L"", L"Download von: LANG.BIN",
                                                         L"Abgebrochen: Windows wurde beendet."}));
}

TEST_F(Install, NothingCheckedStillWritesAndOpensTheLog) {
    Installed();
    world().Publish(L"lupd19\\e2enie.txt", "nie");
    world().PublishList(L"[1]\nPrg=MIRADOS19\nText=Mirado s\ncek=0\nFile001=e2enie.txt\nName001=nie.txt\n");
    ToSelection();
    ASSERT_EQ(wiz().Checks(), std::vector<bool>{false});
    RunInstall();
    EXPECT_EQ(CheckLog(), (std::vector<std::wstring>{L"Erneuerte Dateien", L""}));
    EXPECT_FALSE(Exists(world().Mirados19() + L"nie.txt"));
    EXPECT_TRUE(FoldersStartingWith(world().Mirados19(), L"_History").empty());
    Finish();
}

// Any window of process pid that shows: an unattended run must never have one.
BOOL CALLBACK FindShown(HWND h, LPARAM param) {
    auto* watch = reinterpret_cast<std::pair<DWORD, bool>*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (pid == watch->first && IsWindowVisible(h)) watch->second = true;
    return TRUE;
}

class Unattended : public Install {
protected:
    // Starts update.exe with args and watches it from outside until it
    // ends; its exit code, or 999 when it did not end within a minute.
    DWORD Run(const std::wstring& args, bool* windowShown) {
        std::wstring cmd = L"\"" + UpdateExe() + L"\" " + args;
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        *windowShown = false;
        if (!CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 998;
        std::pair<DWORD, bool> watch{pi.dwProcessId, false};
        DWORD code = 999;
        for (int i = 0; i < 6000; ++i) {
            EnumWindows(FindShown, reinterpret_cast<LPARAM>(&watch));
            if (WaitForSingleObject(pi.hProcess, 10) == WAIT_OBJECT_0) {
                GetExitCodeProcess(pi.hProcess, &code);
                break;
            }
        }
        if (code == 999) TerminateProcess(pi.hProcess, 999);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
        *windowShown = watch.second;
        return code;
    }

    void Customer() {
        world().SetCustomer({L"Muster AG", L"8000 Zürich", L"Hans Muster", L"PC-07", L"044 000 00 00", L"hm@muster.ch"});
    }

    // "Letzter Lauf" is yyyymmdd-hhmmss of today.
    bool Stamped(const std::wstring& when) {
        SYSTEMTIME now;
        GetLocalTime(&now);
        wchar_t today[16];
        swprintf(today, 16, L"%04u%02u%02u-", now.wYear, now.wMonth, now.wDay);
        return when.size() == 15 && when.compare(0, 9, today) == 0;
    }
};

// Each way an unattended run can end, with its exit code and the result
// stored for inventory tools; no window of the program shows at any time.
TEST_F(Unattended, EachCaseEndsWithItsCodeAndNoWindow) {
    world().Publish(L"lupd19\\e2eheld.txt", "neu");
    const struct {
        const char* what;
        std::function<void()> prepare;
        std::wstring args;
        DWORD code;
        std::wstring logged = std::wstring();  // a line the day's log must hold
    } rows[] = {
        {"nothing offered", [this] { world().PublishList(L"[1]\nPrg=MIRADOXX\nText=x\ncek=1\n"); },
         L"/unattended", 0},
        {"a file held by another program",
         [this] {
             world().PublishList(L"[1]\nPrg=MIRADO19\nText=x\ncek=1\nFile001=e2eheld.txt\nName001=held.txt\n");
             WriteBytes(world().Mirado19() + L"held.txt", "alt");
         },
         L"/UNATTENDED", 1},
        {"the list refused by the server", [] { nettest::Control("http_status=404&http_match=update19"); },
         L"/unattended", 2, L"UPDATE19.TXT konnte nicht geladen werden"},
        {"a list too large to use",
         [this] { world().PublishList(L"[1]\nPrg=MIRADO19\nText=" + std::wstring(5u << 20, L'x') + L"\ncek=1\n"); },
         L"/unattended", 2, L"Die Updateliste ist zu groß und wird nicht verwendet."},
        {"customer data incomplete", [this] { world().SetCustomer({L"Muster AG", L" "}); },
         L"/unattended", 3},
        {"no application data", [this] { testsupport::RemoveTree(world().Root() + L"Talvero"); },
         L"/unattended", 5},
        {"a part not understood", [] {}, L"/unattended /sofort", 6},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Installed();
        Customer();
        DeleteFileW(world().LogPath().c_str());
        row.prepare();
        // The held file stays held for the whole run.
        const HANDLE held = CreateFileW((world().Mirado19() + L"held.txt").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
        bool shown = true;
        EXPECT_EQ(row.code, Run(row.args, &shown));
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        EXPECT_FALSE(shown) << "a window showed";
        EXPECT_EQ(std::to_wstring(row.code), world().Setting(L"Letztes Ergebnis"));
        EXPECT_TRUE(Stamped(world().Setting(L"Letzter Lauf"))) << Utf8(world().Setting(L"Letzter Lauf"));
        if (!row.logged.empty()) {
            std::string log;
            EXPECT_TRUE(ReadBytes(world().LogPath(), &log));
            EXPECT_EQ(LogLines(log), std::vector<std::wstring>{row.logged}) << log;
        }
        if (row.code == 1) {
            std::string log;
            EXPECT_TRUE(ReadBytes(world().LogPath(), &log));
            EXPECT_TRUE(Has(LogLines(log), L"HELD.TXT wird von einem anderen Programm verwendet und wurde nicht ersetzt"))
                << log;
            EXPECT_EQ("alt", Content(world().Mirado19() + L"held.txt"));
            EXPECT_FALSE(Exists(world().OpenedCopy())) << "the log was opened";
        }
        nettest::Control("reset=1");
        uidriver::MakeFolders(world().Root() + L"Talvero");
    }
    // Another copy holds the program's name.
    const HANDLE mark = CreateMutexW(nullptr, FALSE, L"Global\\TalveroLiveupdate19");
    bool shown = true;
    EXPECT_EQ(4u, Run(L"/unattended", &shown));
    EXPECT_FALSE(shown);
    EXPECT_EQ(L"4", world().Setting(L"Letztes Ergebnis"));
    CloseHandle(mark);
}

// The same catalogue, once unattended and once through the wizard, leaves
// the same files, backups and log; the keep path's file is parked, never
// opened.
TEST_F(Unattended, InstallsWhatTheWizardInstalls) {
    Installed();
    Customer();
    zipbuild::Archive zip = zipbuild::Build({Item("Elektro/S01.sym", "S01 neu", true), Item("neu.txt", "neu")});
    world().Publish(L"lupd19\\e2eusym.zip", zip.bytes);
    world().Publish(L"lupd19\\e2eutool.EXE", "tool neu");
    world().Publish(L"lupd19\\e2euread.txt", "liesmich neu");
    world().PublishList(
        L"[1]\nPrg=MIRADO19\nText=Symbole und Werkzeug\ncek=1\n"
        L"File001=e2eusym.zip\nName001=e2eusym.zip\nPath001=symbole\n"
        L"File002=e2eutool.prg\nName002=e2eutool.exe\nPath002=\n"
        L"[2]\nPrg=MIRADOPRO19\nText=pro\ncek=1\n"
        L"File001=e2euread.txt\nName001=liesmich.txt\nPath001=APPDATA\nRepl001=0\nOpen001=1\n"
        L"[3]\nPrg=MIRADOS19\nText=s\ncek=0\nFile001=e2euread.txt\nName001=nie.txt\n");
    const std::wstring sym = world().Mirado19Iec() + L"Symbole\\";
    struct Outcome {
        std::vector<std::string> files;
        std::vector<std::wstring> log;
    };
    const auto prepare = [&] {
        for (const std::wstring& f : FoldersStartingWith(world().Mirado19(), L"_History "))
            testsupport::RemoveTree(f);
        for (const std::wstring& f : FoldersStartingWith(sym, L"_History ")) testsupport::RemoveTree(f);
        uidriver::MakeFolders(sym + L"Elektro");
        WriteBytes(sym + L"Elektro\\S01.sym", "S01 alt");
        DeleteFileW((sym + L"neu.txt").c_str());
        WriteBytes(world().Mirado19() + L"e2eutool.exe", "tool alt");
        WriteBytes(world().ProFolder() + L"liesmich.txt", "vom Anwender");
        DeleteFileW((world().UpdatesFolder() + L"liesmich.txt").c_str());
        DeleteFileW(world().LogPath().c_str());
    };
    const auto outcome = [&] {
        Outcome o;
        for (const std::wstring& f :
             {sym + L"Elektro\\S01.sym", sym + L"neu.txt", History(sym) + L"Elektro\\S01.sym",
              world().Mirado19() + L"e2eutool.exe", History(world().Mirado19()) + L"e2eutool.exe",
              world().ProFolder() + L"liesmich.txt", world().UpdatesFolder() + L"liesmich.txt",
              world().Mirados19() + L"nie.txt"})
            o.files.push_back(Content(f));
        std::string log;
        ReadBytes(world().LogPath(), &log);
        o.log = LogLines(log);
        return o;
    };
    prepare();
    bool shown = true;
    const DWORD code = Run(L"/unattended", &shown);
    EXPECT_FALSE(shown);
    const Outcome alone = outcome();
    std::wstring all;
    for (const std::wstring& l : alone.log) all += l + L"\n";
    ASSERT_EQ(0u, code) << Utf8(all);
    EXPECT_FALSE(Exists(world().OpenedCopy())) << "an unattended run opened a file";
    EXPECT_EQ("liesmich neu", alone.files[6]) << "the keep path's file is parked";

    prepare();
    ToSelection();
    RunInstall();
    const Outcome wizard = outcome();
    EXPECT_EQ(wizard.files, alone.files);
    EXPECT_EQ(wizard.log, alone.log);
    testsupport::RegSet(HKEY_CURRENT_USER, L"SOFTWARE\\Talvero\\CAD\\Settings", L"Letztes Ergebnis", L"-");
    Finish();
    EXPECT_EQ(L"0", world().Setting(L"Letztes Ergebnis"));
}

}  // namespace
