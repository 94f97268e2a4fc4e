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
    } rows[] = {
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
                (row.keep ? std::string("Repl") + nnn + "=0\r\n" : std::string());
    }
    // A damaged digest: the entry is refused, nothing fetched.
    server_.Put(L"lupd19\\ut21x.dat", "new x");
    WriteFileBytes(mirado_ + L"x.dat", "old x");
    text += "File007=ut21x.dat\r\nName007=x.dat\r\nHash007=sha256:" + std::string(63, 'a') + "\r\n";
    List(text);
    RunInstallPress(form());

    Lines expected{L"Erneuerte Dateien", L""};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const bool good = row.bytes == row.digestOf;
        const std::wstring name = Upper(row.local);
        if (row.keep) {
            EXPECT_EQ(good ? row.bytes : "<missing>", Content(updates + row.local));
            expected.push_back(good ? name + L" wurde in Temp-Pfad: " + Upper(updates) + L" kopiert"
                                    : name + L" konnte nicht geladen werden: Prüfsumme stimmt nicht");
        } else {
            EXPECT_EQ(good ? row.bytes : row.installed, Content(mirado_ + row.local));
            EXPECT_EQ(row.installed, Content(History(mirado_) + row.local)) << "saved before the fetch";
            expected.push_back(L"Download von: " + name);
            expected.push_back(good ? Copied(row.local, mirado_)
                                    : name + L" konnte nicht geladen werden: Prüfsumme stimmt nicht");
        }
        expected.push_back(L"");
    }
    expected.push_back(L"Datei ut21x.dat nicht übernommen: ungültige Prüfsumme");
    expected.push_back(L"");
    EXPECT_EQ(expected, LogLines());
    EXPECT_EQ("aus gutem Archiv", Content(mirado_ + L"gut.txt"));
    EXPECT_FALSE(PathExists(mirado_ + L"boese.txt")) << "an archive of other bytes is not unpacked";
    EXPECT_EQ("old x", Content(mirado_ + L"x.dat"));
    EXPECT_EQ(Sorted({L"f1.dat", L"f2.dat", L"gut.txt", L"h1.dat", L"h2.dat", L"x.dat", L"z1.zip", L"z2.zip"}),
              Sorted(FilesIn(mirado_)))
        << "no side file stays";
    EXPECT_EQ(Sorted({LogPath().substr(updates.size()), L"h1.dat"}), Sorted(FilesIn(updates)));
    EXPECT_TRUE(boxes_.Seen().empty()) << "the log tells of a digest that does not match";
}

}  // namespace
