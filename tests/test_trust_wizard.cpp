// The wizard built with a list key of its own (CMake embed_list_key, the key
// pair made at configure time by tools/publish_catalogue.py keygen): only a
// list signed with it is read, and a signed list's entries need digests.
// The fetched files' digests are checked in any build, with a key or not.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "sys/Trust.h"
#include "native/ZipBuilder.h"
#include "support/InstallFixture.h"

using namespace testsupport;
using nettest::FilesIn;

namespace {

using Lines = std::vector<std::wstring>;

// The lists that tests/make_signed_lists.py published and signed (Unix path
// in SIGNED_LISTS, seen through drive Z:).
std::wstring Fixtures() {
    const char* value = std::getenv("SIGNED_LISTS");
    std::wstring path = L"Z:" + Widen(value ? value : "");
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path + L"\\";
}

std::string Fixture(const std::wstring& name) {
    std::string bytes;
    EXPECT_TRUE(ReadFileBytes(Fixtures() + name, &bytes)) << Narrow(Fixtures() + name);
    return bytes;
}

std::string Zip(const std::string& name, const std::string& data) {
    zipbuild::Item it;
    it.name = name;
    it.data = data;
    it.deflate = true;
    return zipbuild::Build({it}).bytes;
}

std::vector<std::wstring> Sorted(std::vector<std::wstring> v) {
    std::sort(v.begin(), v.end());
    return v;
}

class TrustRun : public InstallFixture {
protected:
    // Through the customer page to the press that fetches the list.
    void ToConfirmation() {
        FillAll(L"x");
        Press();
        ClickCheck(form().Control(ControlId::lstUpd), 0);
        ASSERT_EQ(WizardStep::Confirmation, form().Step());
    }

    void PublishSignedFiles() {
        server_.Put(L"lupd19\\ut20a.dat", Fixture(L"catalogue\\lupd19\\ut20a.dat"));
        server_.Put(L"lupd19\\ut20b.dat", Fixture(L"catalogue\\lupd19\\ut20b.dat"));
    }

    // "sha256:" and the hex digits of bytes' SHA-256.
    std::string DigestText(const std::string& bytes) {
        const std::wstring path = root_.path() + L"digest.tmp";
        WriteFileBytes(path, bytes);
        Sha256Digest d{};
        EXPECT_TRUE(FileSha256(path, &d));
        DeleteFileW(path.c_str());
        std::string text = "sha256:";
        for (const unsigned char b : d) {
            char hex[3];
            snprintf(hex, sizeof hex, "%02x", b);
            text += hex;
        }
        return text;
    }

    std::wstring Copied(const std::wstring& name, const std::wstring& folder) {
        return Upper(name) + L" wurde in Pfad: " + Upper(folder) + L" kopiert";
    }
};

TEST_F(TrustRun, OnlyAListWithTheBuildsSignatureIsRead) {
    ToConfirmation();
    const std::string list = Fixture(L"catalogue\\update19.txt");
    const std::string good = Fixture(L"catalogue\\update19.txt.sig");
    const struct {
        const char* what;
        std::string list, signature;  // no signature: none on the server
        bool offered;
    } rows[] = {
        // The one that is read comes last: it moves the wizard on.
        {"signed by another key", list, Fixture(L"other.sig"), false},
        {"no signature on the server", list, "", false},
        {"list changed after signing", Fixture(L"changed.txt"), good, false},
        {"signature cut short", list, good.substr(0, good.size() - 1), false},
        {"signed with the build's key", list, good, true},
    };
    const std::wstring work = session().workFolder;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        nettest::Published published;
        published.Put(L"update19.txt", row.list);
        if (!row.signature.empty()) published.Put(L"update19.txt.sig", row.signature);
        // The fixture's answerer, the only one: a second would race it for
        // each box.
        boxes_.Clear();
        Press();
        const std::vector<SeenBox> seen = boxes_.Seen();
        if (row.offered) {
            EXPECT_TRUE(seen.empty());
            EXPECT_EQ(WizardStep::Selection, form().Step());
            EXPECT_EQ(row.list, Content(work + L"update.cfg"));
            EXPECT_EQ(Lines{L"Signierte Liste"}, Items(form().Control(ControlId::lstUpd)));
        } else {
            ASSERT_EQ(1u, seen.size());
            EXPECT_EQ(L"Die Updateliste ist nicht gültig signiert und wird nicht verwendet.", seen[0].text);
            EXPECT_EQ(L"Talvero Liveupdate", seen[0].caption);
            EXPECT_EQ(WizardStep::Confirmation, form().Step()) << "as after a failed fetch";
            EXPECT_TRUE(IsWindowEnabled(form().Control(ControlId::cmdnex)));
            EXPECT_FALSE(PathExists(work + L"update.cfg"));
            EXPECT_EQ(Lines{L"Obige Punkte sind erledigt"}, Items(form().Control(ControlId::lstUpd))) << "nothing offered";
        }
        // Neither the signature nor a side file stays for a later run to find.
        EXPECT_EQ(row.offered ? Lines{L"update.cfg"} : Lines{}, FilesIn(work));
    }
}

TEST_F(TrustRun, ASignedListsEntryWithoutADigestIsRefused) {
    PublishSignedFiles();
    server_.Put(L"update19.txt", Fixture(L"catalogue\\update19.txt"));
    server_.Put(L"update19.txt.sig", Fixture(L"catalogue\\update19.txt.sig"));
    WriteFileBytes(mirado_ + L"b.dat", "installed b");
    ToConfirmation();
    Press();
    ASSERT_EQ(WizardStep::Selection, form().Step());
    RunInstallPress(form());

    EXPECT_EQ("signed a", Content(mirado_ + L"a.dat"));
    EXPECT_EQ("installed b", Content(mirado_ + L"b.dat"));
    EXPECT_EQ((Lines{L"Erneuerte Dateien", L"", L"Download von: A.DAT", Copied(L"a.dat", mirado_), L"",
                     L"Datei ut20b.dat nicht übernommen: keine Prüfsumme", L""}),
              LogLines());
}

// The head a signed list begins with decides whether it is taken: made for
// this program, not older than the newest this machine took, not past its
// day, not too large. The rows run in order on one machine: the number the
// first one leaves in the registry is what the later ones meet.
TEST_F(TrustRun, ASignedListIsTakenOnlyWithAHeadThatFits) {
    ToConfirmation();
    const std::wstring work = session().workFolder;
    const std::wstring older = L"Die Updateliste ist älter als die zuletzt verwendete und wird nicht verwendet.";
    const std::wstring noHead = L"Die Updateliste hat keinen gültigen Kopf und wird nicht verwendet.";
    const struct {
        const char* what;
        const wchar_t* list;
        const wchar_t* signature;
        const char* switches;    // of the server while the list is fetched
        const wchar_t* refusal;  // nullptr: taken
    } rows[] = {
        {"serial 5", L"serial5.txt", L"serial5.txt.sig", "", nullptr},
        {"serial 4 after 5", L"serial4.txt", L"serial4.txt.sig", "", older.c_str()},
        {"serial 5 again: the same list", L"serial5.txt", L"serial5.txt.sig", "", nullptr},
        {"past its day", L"expired.txt", L"expired.txt.sig", "",
         L"Die Updateliste ist abgelaufen und wird nicht verwendet."},
        {"no head", L"nohead.txt", L"nohead.txt.sig", "", noHead.c_str()},
        {"a head whose number is no number", L"badhead.txt", L"badhead.txt.sig", "", noHead.c_str()},
        {"another list's head", L"othername.txt", L"othername.txt.sig", "",
         L"Die Updateliste gehört nicht zu diesem Programm und wird nicht verwendet."},
        {"over 4 MiB", L"big.txt", L"big.txt.sig", "", L"Die Updateliste ist zu groß und wird nicht verwendet."},
        {"a body without end", L"serial5.txt", L"serial5.txt.sig", "http_endless=1&http_match=update19.txt",
         L"Die Updateliste ist zu groß und wird nicht verwendet."},
        {"signed by the second of the build's keys", L"serial5.txt", L"serial5.second.sig", "", nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        nettest::Published published;
        published.Put(L"update19.txt", Fixture(row.list));
        published.Put(L"update19.txt.sig", Fixture(row.signature));
        if (*row.switches) nettest::Control(row.switches);
        boxes_.Clear();
        form().SetStep(WizardStep::Confirmation);
        Press();
        nettest::Control("reset=1");
        const std::vector<SeenBox> seen = boxes_.Seen();
        if (!row.refusal) {
            EXPECT_TRUE(seen.empty());
            EXPECT_EQ(WizardStep::Selection, form().Step());
            EXPECT_EQ(Lines{L"Signierte Liste"}, Items(form().Control(ControlId::lstUpd)));
        } else {
            ASSERT_EQ(1u, seen.size());
            EXPECT_EQ(row.refusal, seen[0].text);
            EXPECT_EQ(WizardStep::Confirmation, form().Step()) << "as after a failed fetch";
            EXPECT_FALSE(PathExists(work + L"update.cfg"));
        }
        std::wstring serial;
        EXPECT_TRUE(RegGet(HKEY_CURRENT_USER, kCad, L"Liste Serie", &serial));
        EXPECT_EQ(L"5", serial) << "the highest number taken";
    }
}

// The run installs the bytes whose signature was checked: the list stays
// held from its check to the end of the run, and a path that no longer
// holds them installs nothing.
TEST_F(TrustRun, TheRunUsesOnlyTheCheckedList) {
    PublishSignedFiles();
    server_.Put(L"update19.txt", Fixture(L"serial5.txt"));
    server_.Put(L"update19.txt.sig", Fixture(L"serial5.txt.sig"));
    const std::wstring work = session().workFolder, list = work + L"update.cfg";
    ToConfirmation();
    Press();
    ASSERT_EQ(WizardStep::Selection, form().Step());
    const FileHandle writer(CreateFileW(list.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(writer) << "the checked list can be written";
    EXPECT_FALSE(MoveFileW(list.c_str(), (work + L"moved.cfg").c_str())) << "the checked list can be renamed";
    EXPECT_FALSE(DeleteFileW(list.c_str())) << "the checked list can be deleted";
    // Only the folder around it can still be swapped: its new list names
    // a file of its own.
    const std::wstring aside = root_.path() + L"aside";
    server_.Put(L"lupd19\\evil.dat", "evil");
    if (MoveFileW(work.substr(0, work.size() - 1).c_str(), aside.c_str())) {
        CreateDirectoryW(work.c_str(), nullptr);
        WriteFileBytes(list, "[1]\r\nPrg=MIRADO19\r\nText=Signierte Liste\r\ncek=1\r\nFile001=evil.dat\r\n"
                             "Name001=a.dat\r\n");
        boxes_.Clear();
        Press();
        ASSERT_EQ(1u, boxes_.Seen().size());
        EXPECT_EQ(L"Die Updateliste wurde nach ihrer Prüfung verändert und wird nicht verwendet.", boxes_.Seen()[0].text);
        EXPECT_EQ(WizardStep::NothingToDo, form().Step());
        EXPECT_EQ("<missing>", Content(mirado_ + L"a.dat")) << "nothing of it is installed";
        EXPECT_FALSE(PathExists(work + L"Updates")) << "nor logged";
        return;
    }
    // Windows keeps a folder with an open file in place: the run installs
    // the checked list.
    RunInstallPress(form());
    EXPECT_EQ("signed a", Content(mirado_ + L"a.dat"));
}

// One run over every way a file arrives: over FTP into place, over HTTP
// into the updates folder (the keep path), and an archive that is then
// unpacked; each once with its own digest and once with another file's.
TEST_F(TrustRun, FetchedFilesMustHaveTheListsDigest) {
    const std::wstring updates = session().workFolder + L"Updates\\";
    const std::string zipGood = Zip("gut.txt", "aus gutem Archiv");
    const std::string zipBad = Zip("boese.txt", "aus falschem Archiv");
    const struct {
        const char* what;
        const char* server;  // name in lupd19/
        std::string bytes;   // what the server has
        std::string digestOf;
        const wchar_t* local;
        bool keep;           // Repl=0 with the file installed: the keep path
        std::string installed;
        int sizeOff = 0;     // Size given as the file's length plus this; 0: no Size
    } rows[] = {
        {"FTP, other length", "ut21f3.dat", "new f3", "new f3", L"f3.dat", false, "old f3", 1},
        {"HTTP, other length", "ut21h3.dat", "new h3", "new h3", L"h3.dat", true, "old h3", -1},
        {"FTP, digest matches", "ut21f1.dat", "new f1", "new f1", L"f1.dat", false, "old f1"},
        {"FTP, other digest", "ut21f2.dat", "new f2", "other", L"f2.dat", false, "old f2"},
        {"HTTP, digest matches", "ut21h1.dat", "new h1", "new h1", L"h1.dat", true, "old h1"},
        {"HTTP, other digest", "ut21h2.dat", "new h2", "other", L"h2.dat", true, "old h2"},
        {"archive, digest matches", "ut21z1.zip", zipGood, zipGood, L"z1.zip", false, "old z1"},
        {"archive, other digest", "ut21z2.zip", zipBad, zipGood, L"z2.zip", false, "old z2"},
    };
    std::string text = "[1]\r\nPrg=MIRADO19\r\nT=Pruefsummen\r\ncek=1\r\n";
    int n = 0;
    for (const auto& row : rows) {
        server_.Put(L"lupd19\\" + Widen(row.server), row.bytes);
        WriteFileBytes(mirado_ + row.local, row.installed);
        char nnn[8];
        snprintf(nnn, sizeof nnn, "%03d", ++n);
        text += std::string("File") + nnn + "=" + row.server + "\r\nName" + nnn + "=" + Narrow(row.local) +
                "\r\nHash" + nnn + "=" + DigestText(row.digestOf) + "\r\n" +
                (row.keep ? std::string("Repl") + nnn + "=0\r\n" : std::string()) +
                (row.sizeOff ? std::string("Size") + nnn + "=" + std::to_string(row.bytes.size() + row.sizeOff) + "\r\n"
                             : std::string());
    }
    // A damaged digest: the entry is refused, nothing fetched.
    server_.Put(L"lupd19\\ut21x.dat", "new x");
    WriteFileBytes(mirado_ + L"x.dat", "old x");
    text += "File009=ut21x.dat\r\nName009=x.dat\r\nHash009=sha256:" + std::string(63, 'a') + "\r\n";
    List(text);
    RunInstallPress(form());

    Lines expected{L"Erneuerte Dateien", L""};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const bool good = row.bytes == row.digestOf && row.sizeOff == 0;
        const std::wstring name = Upper(row.local);
        const std::wstring bad = name + (row.sizeOff ? L" konnte nicht geladen werden: Dateigröße stimmt nicht"
                                                     : L" konnte nicht geladen werden: Prüfsumme stimmt nicht");
        if (row.keep) {
            EXPECT_EQ(good ? row.bytes : "<missing>", Content(updates + row.local));
            expected.push_back(good ? name + L" wurde in Temp-Pfad: " + Upper(updates) + L" kopiert" : bad);
        } else {
            EXPECT_EQ(good ? row.bytes : row.installed, Content(mirado_ + row.local));
            EXPECT_EQ(row.installed, Content(History(mirado_) + row.local)) << "saved before the fetch";
            expected.push_back(L"Download von: " + name);
            expected.push_back(good ? Copied(row.local, mirado_) : bad);
        }
        expected.push_back(L"");
    }
    expected.push_back(L"Datei ut21x.dat nicht übernommen: ungültige Prüfsumme");
    expected.push_back(L"");
    EXPECT_EQ(expected, LogLines());
    EXPECT_EQ("aus gutem Archiv", Content(mirado_ + L"gut.txt"));
    EXPECT_FALSE(PathExists(mirado_ + L"boese.txt")) << "an archive of other bytes is not unpacked";
    EXPECT_EQ("old x", Content(mirado_ + L"x.dat"));
    EXPECT_EQ(Sorted({L"f1.dat", L"f2.dat", L"f3.dat", L"gut.txt", L"h1.dat", L"h2.dat", L"h3.dat", L"x.dat",
                      L"z1.zip", L"z2.zip"}),
              Sorted(FilesIn(mirado_)))
        << "no side file stays";
    EXPECT_EQ(Sorted({LogPath().substr(updates.size()), L"h1.dat"}), Sorted(FilesIn(updates)));
    EXPECT_TRUE(boxes_.Seen().empty()) << "the log tells of a digest or length that does not match";
}

}  // namespace
