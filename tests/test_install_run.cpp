// The install run against the local update server, checked on disk and in
// the download log: backups, the keep path, server names, archives, the
// selection, and faults that must leave every installed file as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "native/ZipBuilder.h"
#include "support/InstallFixture.h"

using namespace testsupport;
using nettest::Control;
using nettest::FilesIn;

namespace {

using Lines = std::vector<std::wstring>;

std::string Zip(const std::vector<std::pair<std::string, std::string>>& files) {
    std::vector<zipbuild::Item> items;
    for (const auto& [name, data] : files) {
        zipbuild::Item it;
        it.name = name;
        it.data = data;
        it.deflate = true;
        items.push_back(it);
    }
    return zipbuild::Build(items).bytes;
}

std::vector<std::wstring> Sorted(std::vector<std::wstring> v) {
    std::sort(v.begin(), v.end());
    return v;
}

std::wstring Stamp(const SYSTEMTIME& t) {
    wchar_t text[32];
    swprintf(text, 32, L"%04u%02u%02u-%02u%02u%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
    return text;
}

class InstallRun : public InstallFixture {
protected:
    // Runs the installation; the backup folder's time must lie within it.
    void Run() {
        GetLocalTime(&before_);
        RunInstallPress(form());
        GetLocalTime(&after_);
    }

    // The three lines that replace the run's lines, and the log opened.
    void ExpectLogShown() {
        EXPECT_EQ((Lines{L" Das Download-Protokoll wurde in:", L" " + LogPath(), L" gespeichert"}),
                  Items(form().Control(ControlId::lstAnw)));
        EXPECT_EQ(0, ListCount(form().Control(ControlId::lstUpd)));
        std::string opened;
        EXPECT_TRUE(viewer_->Opened(&opened));
        EXPECT_EQ(Content(LogPath()), opened);
    }

    std::wstring Copied(const std::wstring& name, const std::wstring& folder) {
        return Upper(name) + L" wurde in Pfad: " + Upper(folder) + L" kopiert";
    }

    SYSTEMTIME before_{}, after_{};
};

TEST_F(InstallRun, ReplacePathKeepsTheStateBeforeTheFirstReplacement) {
    WriteFileBytes(mirado_ + L"a.dat", "installed a");
    server_.Put(L"lupd19\\ut1_a1.dat", "first");
    server_.Put(L"lupd19\\ut1_a2.dat", "second");
    server_.Put(L"lupd19\\ut1_new.dat", "brand new");
    List("[1]\r\nPrg=MIRADO19\r\nT=Eins\r\ncek=1\r\n"
         "File001=ut1_a1.dat\r\nName001=a.dat\r\n"
         "File002=ut1_a2.dat\r\nName002=a.dat\r\n"
         "File003=ut1_new.dat\r\nName003=neu.dat\r\nPath003=dat\r\n");
    Run();

    EXPECT_EQ("second", Content(mirado_ + L"a.dat"));
    const std::wstring backup = History(mirado_);
    EXPECT_EQ("installed a", Content(backup + L"a.dat"));
    const std::wstring stamp = backup.substr(mirado_.size() + 9, 15);
    EXPECT_LE(Stamp(before_), stamp);
    EXPECT_GE(Stamp(after_), stamp);
    const std::wstring dat = session().dataTempFolder + L"Dat\\";
    EXPECT_EQ("brand new", Content(dat + L"neu.dat"));
    EXPECT_EQ(dat + backup.substr(mirado_.size()), History(dat)) << "one name for every backup folder of a run";
    EXPECT_EQ(Lines{L"a.dat"}, FilesIn(mirado_)) << "no transfer leftovers";

    EXPECT_EQ((Lines{L"Erneuerte Dateien", L"", L"Download von: A.DAT", Copied(L"a.dat", mirado_), L"",
                     L"Download von: A.DAT", Copied(L"a.dat", mirado_), L"", L"Download von: NEU.DAT",
                     Copied(L"neu.dat", dat), L""}),
              LogLines());
    ExpectLogShown();
    EXPECT_TRUE(boxes_.Seen().empty());
}

TEST_F(InstallRun, KeepPathParksTheFileAndServerNamesFollowTheTransfer) {
    // Over FTP a stored "prg" is asked for as "EXE"; over HTTP by its name.
    server_.Put(L"lupd19\\ut2tool.EXE", "exe over ftp");
    server_.Put(L"lupd19\\ut2tool.prg", "prg over http");
    const std::string pack = Zip({{"inner.txt", "from the parked archive"}});
    server_.Put(L"lupd19\\ut2pack.zip", pack);
    WriteFileBytes(mirado_ + L"tool.exe", "installed tool");
    WriteFileBytes(mirado_ + L"pack.zip", "installed pack");
    List("[1]\r\nPrg=MIRADOPRO19\r\nT=Pro\r\ncek=1\r\n"
         "File001=ut2tool.prg\r\nName001=tool.exe\r\nPath001=X64\r\nRepl001=0\r\n"
         "[2]\r\nPrg=MIRADO19\r\nT=Basis\r\ncek=1\r\n"
         "File001=ut2tool.prg\r\nName001=tool.exe\r\nRepl001=0\r\nOpen001=1\r\n"
         "File002=ut2pack.zip\r\nName002=pack.zip\r\nRepl002=0\r\n");
    boxes_.Queue(IDNO);
    Run();

    const std::wstring x64 = pro_ + L"X64\\";
    const std::wstring updates = session().workFolder + L"Updates\\";
    EXPECT_EQ("exe over ftp", Content(x64 + L"tool.exe")) << "not there yet: fetched into place";
    EXPECT_EQ("installed tool", Content(mirado_ + L"tool.exe"));
    EXPECT_EQ("installed pack", Content(mirado_ + L"pack.zip"));
    EXPECT_EQ("prg over http", Content(updates + L"tool.exe"));
    EXPECT_EQ(pack, Content(updates + L"pack.zip"));
    EXPECT_FALSE(PathExists(mirado_ + L"inner.txt")) << "a parked archive is not unpacked";
    EXPECT_FALSE(PathExists(updates + L"inner.txt"));
    EXPECT_EQ(L"<0 backup folders>", History(mirado_));
    const std::vector<SeenBox> seen = boxes_.Seen();
    ASSERT_EQ(1u, seen.size()) << "only the entry that asks for it offers to open the parked file";
    EXPECT_EQ(L"Soll " + updates + L"tool.exe geöffnet werden?", seen[0].text);

    const std::wstring parked = L" wurde in Temp-Pfad: " + Upper(updates) + L" kopiert";
    EXPECT_EQ((Lines{L"Erneuerte Dateien", L"", L"Download von: TOOL.EXE", Copied(L"tool.exe", x64), L"",
                     L"TOOL.EXE" + parked, L"", L"PACK.ZIP" + parked, L""}),
              LogLines());
    ExpectLogShown();
}

TEST_F(InstallRun, ArchivesAreUnpackedAndWhatTheyReplaceIsSavedFirst) {
    CreateDirectoryW((pro_ + L"Elektro").c_str(), nullptr);
    WriteFileBytes(pro_ + L"Elektro\\k1.sym", "old k1");
    WriteFileBytes(pro_ + L"top.txt", "old top");
    const std::string first = Zip({{"Elektro/k1.sym", "new k1"},
                                   {"Elektro/k2.sym", "new k2"},
                                   {"top.txt", "new top"},
                                   {"Neu/n.txt", "n"}});
    server_.Put(L"lupd19\\ut3sym.zip", first);
    server_.Put(L"lupd19\\ut3sym2.zip", Zip({{"Elektro/k1.sym", "newer k1"}}));
    // The ending is tested in lower case: "ZIP" is an archive too.
    List("[p]\r\nPrg=MIRADOPRO19\r\nT=Symbole\r\ncek=1\r\n"
         "File001=ut3sym.zip\r\nName001=SYM.ZIP\r\n"
         "File002=ut3sym2.zip\r\nName002=SYM.ZIP\r\n");
    Run();

    EXPECT_EQ("newer k1", Content(pro_ + L"Elektro\\k1.sym"));
    EXPECT_EQ("new k2", Content(pro_ + L"Elektro\\k2.sym"));
    EXPECT_EQ("new top", Content(pro_ + L"top.txt"));
    EXPECT_EQ("n", Content(pro_ + L"Neu\\n.txt"));
    const std::wstring backup = History(pro_);
    EXPECT_EQ("old k1", Content(backup + L"Elektro\\k1.sym")) << "the state before the run, not the first archive's";
    EXPECT_EQ("old top", Content(backup + L"top.txt"));
    EXPECT_EQ(first, Content(backup + L"SYM.ZIP"));
    EXPECT_FALSE(PathExists(backup + L"Elektro\\k2.sym")) << "new files have no earlier state";
    EXPECT_FALSE(PathExists(backup + L"Neu"));
    EXPECT_TRUE(boxes_.Seen().empty());
}

TEST_F(InstallRun, OnlyCheckedEntriesWithTheirOwnSectionAndUnbrokenNumbers) {
    server_.Put(L"lupd19\\ut4a.dat", "a");
    server_.Put(L"lupd19\\ut4b1.dat", "b1");
    server_.Put(L"lupd19\\ut4b3.dat", "b3");
    server_.Put(L"lupd19\\ut4c.dat", "c");
    server_.Put(L"lupd19\\ut4d.dat", "d");
    List("[a]\r\nPrg=MIRADO19\r\nT=A\r\ncek=1\r\nFile001=ut4a.dat\r\nName001=a.dat\r\n"
         "[b]\r\nPrg=MIRADO19\r\nT=B\r\ncek=0\r\n"
         "File001=ut4b1.dat\r\nName001=b1.dat\r\nFile003=ut4b3.dat\r\nName003=b3.dat\r\n"
         "[c]\r\nPrg=MIRADO19\r\nT=C\r\ncek=1\r\nFile001=\r\nFile002=ut4c.dat\r\nName002=c.dat\r\n"
         "[d]\r\nPrg=MIRADO19\r\nT=D\r\ncek=1\r\nFile001=ut4d.dat\r\nName001=..\\evil.dat\r\n");
    ASSERT_EQ((std::vector<std::wstring>{L"a", L"b", L"c", L"d"}), form().OfferedSections());
    Check(0, false);
    Check(1, true);
    Run();

    EXPECT_EQ("b1", Content(mirado_ + L"b1.dat"));
    for (const wchar_t* absent : {L"a.dat", L"b3.dat", L"c.dat", L"..\\evil.dat"})
        EXPECT_FALSE(PathExists(mirado_ + absent)) << Narrow(absent);
    FileEntry refused;
    refused.F = L"ut4d.dat";
    refused.N = L"..\\evil.dat";
    EXPECT_EQ((Lines{L"Erneuerte Dateien", L"", L"Download von: B1.DAT", Copied(L"b1.dat", mirado_), L"",
                     RefusedEntryLine(refused), L""}),
              LogLines());
}

TEST_F(InstallRun, FailedFetchesLeaveTheInstalledFilesAndTheRunGoesOn) {
    const std::string oldZip = Zip({{"fromold.txt", "must not appear"}});
    WriteFileBytes(mirado_ + L"cut.dat", "installed cut");
    WriteFileBytes(mirado_ + L"locked.dat", "installed locked");
    WriteFileBytes(mirado_ + L"old.zip", oldZip);
    WriteFileBytes(mirado_ + L"keep.dat", "installed keep");
    const std::wstring updates = session().workFolder + L"Updates\\";
    CreateDirectoryW(updates.c_str(), nullptr);
    WriteFileBytes(updates + L"keep.dat", "parked earlier");
    // Files larger than the cut arrive broken; the small ones whole.
    server_.Put(L"lupd19\\ut5cut.dat", nettest::RandomBytes(200000, 5));
    server_.Put(L"lupd19\\ut5old.zip", Zip({{"big.bin", nettest::RandomBytes(200000, 6)}}));
    server_.Put(L"lupd19\\ut5locked.dat", "new locked");
    server_.Put(L"lupd19\\ut5keep.dat", "new keep");
    server_.Put(L"lupd19\\ut5after.dat", "after");
    List("[1]\r\nPrg=MIRADO19\r\nT=Fehler\r\ncek=1\r\n"
         "File001=ut5cut.dat\r\nName001=cut.dat\r\n"
         "File002=ut5locked.dat\r\nName002=locked.dat\r\n"
         "File003=ut5old.zip\r\nName003=old.zip\r\n"
         "File004=ut5keep.dat\r\nName004=keep.dat\r\nRepl004=0\r\n"
         "File005=ut5after.dat\r\nName005=after.dat\r\n");
    Control("ftp_cut=1000&http_status=404&http_match=ut5keep");
    {
        // A running program holds this file without sharing it.
        HANDLE lock = CreateFileW((mirado_ + L"locked.dat").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, lock);
        Run();
        CloseHandle(lock);
    }

    EXPECT_EQ("installed cut", Content(mirado_ + L"cut.dat"));
    EXPECT_EQ("installed locked", Content(mirado_ + L"locked.dat"));
    EXPECT_EQ(oldZip, Content(mirado_ + L"old.zip"));
    EXPECT_FALSE(PathExists(mirado_ + L"fromold.txt")) << "an archive whose fetch failed is not unpacked";
    EXPECT_FALSE(PathExists(mirado_ + L"big.bin"));
    EXPECT_EQ("installed keep", Content(mirado_ + L"keep.dat"));
    EXPECT_EQ("parked earlier", Content(updates + L"keep.dat"));
    EXPECT_EQ("after", Content(mirado_ + L"after.dat"));
    EXPECT_EQ(Sorted({L"after.dat", L"cut.dat", L"keep.dat", L"locked.dat", L"old.zip"}), Sorted(FilesIn(mirado_)))
        << "no transfer leftovers";
    EXPECT_EQ("installed cut", Content(History(mirado_) + L"cut.dat"));

    EXPECT_EQ((Lines{L"Erneuerte Dateien", L"", L"Download von: CUT.DAT", L"CUT.DAT konnte nicht geladen werden",
                     L"", L"LOCKED.DAT konnte nicht gesichert werden und wurde nicht ersetzt", L"",
                     L"Download von: OLD.ZIP", L"OLD.ZIP konnte nicht geladen werden", L"",
                     L"KEEP.DAT konnte nicht geladen werden", L"", L"Download von: AFTER.DAT",
                     Copied(L"after.dat", mirado_), L""}),
              LogLines());
    const std::vector<SeenBox> seen = boxes_.Seen();
    ASSERT_EQ(1u, seen.size()) << "only the HTTP fetch tells of its failure itself";
    EXPECT_EQ(updates + L"keep.dat", seen[0].text);
}

TEST_F(InstallRun, HostileOrBlockedArchivesLeaveTheInstalledFiles) {
    WriteFileBytes(mirado_ + L"good.txt", "installed good");
    WriteFileBytes(pro_ + L"top.txt", "installed top");
    server_.Put(L"lupd19\\ut6evil.zip", Zip({{"good.txt", "replaced"}, {"../outside.txt", "escaped"}}));
    server_.Put(L"lupd19\\ut6top.zip", Zip({{"a.txt", "a"}, {"top.txt", "new top"}, {"z.txt", "z"}}));
    server_.Put(L"lupd19\\ut6after.dat", "after");
    List("[1]\r\nPrg=MIRADO19\r\nT=Boese\r\ncek=1\r\nFile001=ut6evil.zip\r\nName001=evil.zip\r\n"
         "[2]\r\nPrg=MIRADOPRO19\r\nT=Gesperrt\r\ncek=1\r\nFile001=ut6top.zip\r\nName001=top.zip\r\n"
         "File002=ut6after.dat\r\nName002=after.dat\r\n");
    {
        HANDLE lock = CreateFileW((pro_ + L"top.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, lock);
        Run();
        CloseHandle(lock);
    }

    EXPECT_EQ("installed good", Content(mirado_ + L"good.txt"));
    EXPECT_FALSE(PathExists(root_.path() + L"outside.txt"));
    EXPECT_EQ("installed top", Content(pro_ + L"top.txt")) << "a file that cannot be saved is not replaced";
    EXPECT_EQ(Lines{}, FilesIn(History(pro_))) << "nothing but the archive's own earlier state";
    EXPECT_EQ("a", Content(pro_ + L"a.txt"));
    EXPECT_FALSE(PathExists(pro_ + L"z.txt"));
    EXPECT_EQ(Sorted({L"a.txt", L"after.dat", L"top.txt", L"top.zip"}), Sorted(FilesIn(pro_)))
        << "no extraction leftovers";
    EXPECT_EQ("after", Content(pro_ + L"after.dat"));

    const std::vector<SeenBox> seen = boxes_.Seen();
    ASSERT_EQ(2u, seen.size());
    EXPECT_EQ(kAppTitle, seen[0].caption);
    EXPECT_NE(std::wstring::npos, seen[0].text.find(L"evil.zip")) << "the component names the archive itself";
    EXPECT_EQ(L"Fehler beim entpacken der Datei: " + pro_ + L"top.zip", seen[1].text);
    // The log tells of both, not just "kopiert".
    const Lines log = LogLines();
    for (const std::wstring& archive : {mirado_ + L"evil.zip", pro_ + L"top.zip"})
        EXPECT_EQ(1, std::count(log.begin(), log.end(), L"Fehler beim entpacken der Datei: " + archive))
            << Narrow(archive);
}

// Mirado left running holds its files open with read sharing only: they
// can be saved but not replaced. The run asks (Wiederholen / Abbrechen) for
// a file of the replace path and for an archive's entry alike, fetches
// nothing twice, and never calls a file it left copied or not fetched.
TEST_F(InstallRun, FilesInUseAreAskedAboutUntilLetGoOrLeftAsTheyWere) {
    struct Case {
        const char* name;
        int answer;
    };
    const Case cases[] = {{"Wiederholen, the holder lets go at the second question", IDRETRY}, {"Abbrechen", IDCANCEL}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const bool retry = c.answer == IDRETRY;
        const std::wstring product = retry ? mirado_ : pro_;
        DeleteFileW(LogPath().c_str());
        Control("reset=1");
        boxes_.Clear();
        WriteFileBytes(product + L"app.dll", "installed app");
        WriteFileBytes(product + L"lib.dll", "installed lib");
        server_.Put(L"lupd19\\ut20app.dll", "new app");
        server_.Put(L"lupd19\\ut20pack.zip", Zip({{"lib.dll", "new lib"}, {"extra.txt", "extra"}}));
        server_.Put(L"lupd19\\ut20after.dat", "after");
        List(std::string("[1]\r\nPrg=") + (retry ? "MIRADO19" : "MIRADOPRO19") +
             "\r\nT=Belegt\r\ncek=1\r\nFile001=ut20app.dll\r\nName001=app.dll\r\n"
             "File002=ut20pack.zip\r\nName002=pack.zip\r\nFile003=ut20after.dat\r\nName003=after.dat\r\n");
        FileHandle held[2];
        const wchar_t* names[] = {L"app.dll", L"lib.dll"};
        for (int i = 0; i < 2; ++i) {
            held[i].reset(CreateFileW((product + names[i]).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
            ASSERT_TRUE(held[i]);
        }
        for (int i = 0; i < (retry ? 4 : 2); ++i) boxes_.Queue(c.answer);
        int asked = 0;
        // The first Wiederholen finds the file still held; the program that
        // held it closes before the second.
        boxes_.AnswerWhen([&](HWND) {
            if (retry && ++asked % 2 == 0) held[asked / 2 - 1].reset();
            return true;
        });
        Run();
        boxes_.AnswerWhen(nullptr);
        for (FileHandle& h : held) h.reset();

        EXPECT_EQ(retry ? "new app" : "installed app", Content(product + L"app.dll"));
        EXPECT_EQ(retry ? "new lib" : "installed lib", Content(product + L"lib.dll"));
        EXPECT_EQ("extra", Content(product + L"extra.txt")) << "the archive's other entries still come";
        EXPECT_EQ("after", Content(product + L"after.dat")) << "the run goes on";
        EXPECT_EQ("installed app", Content(History(product) + L"app.dll"));
        EXPECT_EQ(Sorted({L"after.dat", L"app.dll", L"extra.txt", L"lib.dll", L"pack.zip"}), Sorted(FilesIn(product)))
            << "no side file stays";
        const std::string ftp = nettest::FtpLog();
        EXPECT_EQ(ftp.find("RETR ut20app.dll"), ftp.rfind("RETR ut20app.dll")) << "fetched once: " << ftp;

        const std::vector<SeenBox> seen = boxes_.Seen();
        ASSERT_EQ(retry ? 4u : 2u, seen.size());
        for (size_t i = 0; i < seen.size(); ++i) {
            const std::wstring file = (retry ? i < 2 : i < 1) ? L"APP.DLL" : L"LIB.DLL";
            const std::wstring asks = L"Die Datei " + file +
                                      L" wird gerade von einem anderen Programm verwendet. Bitte schließen Sie das "
                                      L"Programm und klicken Sie auf \"Wiederholen\".";
            EXPECT_EQ(0u, seen[i].text.rfind(asks, 0)) << Narrow(seen[i].text);
            EXPECT_EQ(L"Talvero Liveupdate", seen[i].caption);
            EXPECT_EQ(2u, seen[i].buttons.size());
        }
        const std::wstring inUse = L" wird von einem anderen Programm verwendet und wurde nicht ersetzt";
        const Lines want = retry ? Lines{L"Erneuerte Dateien", L"", L"Download von: APP.DLL",
                                         Copied(L"app.dll", product), L"", L"Download von: PACK.ZIP",
                                         Copied(L"pack.zip", product), L"", L"Download von: AFTER.DAT",
                                         Copied(L"after.dat", product), L""}
                                 : Lines{L"Erneuerte Dateien", L"", L"Download von: APP.DLL", L"APP.DLL" + inUse,
                                         L"", L"Download von: PACK.ZIP", Copied(L"pack.zip", product), L"",
                                         L"LIB.DLL" + inUse, L"", L"Download von: AFTER.DAT",
                                         Copied(L"after.dat", product), L""};
        EXPECT_EQ(want, LogLines());
    }
}

TEST_F(InstallRun, AFileWhoseBackupCannotBeWrittenIsNotReplaced) {
    WriteFileBytes(mirado_ + L"a.dat", "installed a");
    server_.Put(L"lupd19\\ut10a.dat", "new a");
    server_.Put(L"lupd19\\ut10b.dat", "new b");
    // A folder stands where the backup copy belongs, in every backup folder
    // the run may name.
    SYSTEMTIME t;
    GetLocalTime(&t);
    FILETIME ft;
    SystemTimeToFileTime(&t, &ft);
    for (int s = 0; s < 20; ++s) {
        ULARGE_INTEGER at{{ft.dwLowDateTime, ft.dwHighDateTime}};
        at.QuadPart += static_cast<ULONGLONG>(s) * 10000000ULL;
        const FILETIME next{at.LowPart, at.HighPart};
        SYSTEMTIME later;
        FileTimeToSystemTime(&next, &later);
        const std::wstring backup = mirado_ + L"_History " + Stamp(later) + L"\\";
        CreateDirectoryW(backup.c_str(), nullptr);
        CreateDirectoryW((backup + L"a.dat").c_str(), nullptr);
    }
    List("[1]\r\nPrg=MIRADO19\r\nT=Eins\r\ncek=1\r\n"
         "File001=ut10a.dat\r\nName001=a.dat\r\nFile002=ut10b.dat\r\nName002=b.dat\r\n");
    Run();

    EXPECT_EQ("installed a", Content(mirado_ + L"a.dat"));
    EXPECT_EQ("new b", Content(mirado_ + L"b.dat")) << "the run goes on with the next file";
    EXPECT_EQ((Lines{L"Erneuerte Dateien", L"", L"A.DAT konnte nicht gesichert werden und wurde nicht ersetzt", L"",
                     L"Download von: B.DAT", Copied(L"b.dat", mirado_), L""}),
              LogLines());
}

TEST_F(InstallRun, LocalNamesMayNameSubfoldersButNeverLeaveTheTarget) {
    CreateDirectoryW((mirado_ + L"Sub").c_str(), nullptr);
    WriteFileBytes(mirado_ + L"Sub\\a.dll", "installed sub");
    // Side files that a killed run left: they go once a run writes here.
    WriteFileBytes(mirado_ + L"Sub\\~upd1234_0.tmp", "left by a killed run");
    WriteFileBytes(mirado_ + L"Sub\\~keep.tmp", "someone else's");
    // A product without folder rules: an entry without a Path has no folder.
    Product(L"AUTOCAD Dir", L"Acad\\");
    server_.Put(L"lupd19\\ut11sub.dll", "new sub");
    server_.Put(L"lupd19\\ut11deep.dll", "new deep");
    server_.Put(L"lupd19\\ut11x.dat", "x");
    List("[1]\r\nPrg=MIRADO19\r\nT=Eins\r\ncek=1\r\n"
         "File001=ut11sub.dll\r\nName001=Sub\\a.dll\r\n"
         "File002=ut11deep.dll\r\nName002=Neu/Tief\\b.dll\r\n"
         "File003=ut11x.dat\r\nName003=_history 1\\x.dat\r\n"
         "File004=ut11x.dat\r\nName004=Sub\\..\\..\\x.dat\r\n"
         "[2]\r\nPrg=AUTOCAD\r\nT=Ohne Ordner\r\ncek=1\r\nFile001=ut11x.dat\r\nName001=x.dat\r\n");
    Run();

    EXPECT_EQ("new sub", Content(mirado_ + L"Sub\\a.dll"));
    EXPECT_EQ("installed sub", Content(History(mirado_) + L"Sub\\a.dll")) << "saved under its relative folder";
    EXPECT_EQ("new deep", Content(mirado_ + L"Neu\\Tief\\b.dll"));
    EXPECT_FALSE(PathExists(mirado_ + L"_history 1"));
    EXPECT_FALSE(PathExists(root_.path() + L"x.dat"));
    EXPECT_FALSE(PathExists(mirado_ + L"Sub\\~upd1234_0.tmp"));
    EXPECT_EQ("someone else's", Content(mirado_ + L"Sub\\~keep.tmp"));
    const Lines log = LogLines();
    FileEntry backupName, traversal, noFolder;
    backupName.F = traversal.F = noFolder.F = L"ut11x.dat";
    backupName.N = L"_history 1\\x.dat";
    traversal.N = L"Sub\\..\\..\\x.dat";
    EXPECT_EQ(1, std::count(log.begin(), log.end(), RefusedEntryLine(backupName)));
    EXPECT_EQ(1, std::count(log.begin(), log.end(), RefusedEntryLine(traversal)));
    EXPECT_EQ(1, std::count(log.begin(), log.end(), L"Datei ut11x.dat nicht übernommen: kein gültiger Zielordner für \"\""))
        << "an empty target folder is refused, not used relative to wherever the program started";
    EXPECT_TRUE(boxes_.Seen().empty());
}

}  // namespace
