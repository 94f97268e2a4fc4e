// Zip1 on the Windows side: archives made by Info-ZIP and Python come out
// byte for byte into created folders; existing files are replaced only by
// checked data; faults are recorded and shown, never raised. The archives
// come from tests/native/make_zip_fixtures.py (ctest fixture zip_fixtures),
// the ones no tool would make from tests/native/ZipBuilder.h.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <stdexcept>
#include <vector>

#include "sys/Handles.h"
#include "native/ZipBuilder.h"
#include "support/TestSupport.h"
#include "zip/ZipExtractor.h"

using namespace testsupport;

namespace {

// An archive of small files (UTF-8 names; a trailing '/' makes a folder).
void WriteArchive(const std::wstring& path, const std::vector<std::string>& names) {
    std::vector<zipbuild::Item> items;
    for (const std::string& n : names) {
        zipbuild::Item it;
        it.name = n;
        it.flags = 0x800;
        if (n.back() != '/') it.data = "inhalt " + n;
        items.push_back(it);
    }
    WriteFileBytes(path, zipbuild::Build(items).bytes);
}

std::wstring Fixtures() {
    const char* dir = std::getenv("ZIP_FIXTURES");
    if (!dir) return L"";
    std::wstring w = L"Z:" + Widen(dir);
    for (auto& c : w) if (c == L'/') c = L'\\';
    return w + L"\\";
}

// Files (with content) and empty folders (as "<dir>") below a folder.
void Walk(const std::wstring& root, const std::wstring& rel, std::map<std::wstring, std::string>* out) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((root + rel + L"*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    bool empty = true;
    do {
        const std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..") continue;
        empty = false;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            Walk(root, rel + name + L"\\", out);
        } else {
            std::string bytes;
            ReadFileBytes(root + rel + name, &bytes);
            (*out)[rel + name] = bytes;
        }
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    if (empty && !rel.empty()) (*out)[rel] = "<dir>";
}

std::map<std::wstring, std::string> Tree(const std::wstring& root) {
    std::map<std::wstring, std::string> m;
    Walk(root, L"", &m);
    return m;
}

// What an extraction tells, kept; what it asks, answered by the test's
// functions where given, else by the defaults.
struct Events : ExtractEvents {
    std::function<void()> keepAlive;
    std::function<void(const std::wstring&, const std::wstring&)> beforeReplace;
    std::function<Held(const std::wstring&, const std::wstring&)> held;
    std::vector<std::wstring> faults;

    void KeepAlive() override {
        if (keepAlive) keepAlive();
    }
    void BeforeReplace(const std::wstring& existing, const std::wstring& entry) override {
        if (beforeReplace) beforeReplace(existing, entry);
    }
    Held FileHeld(const std::wstring& existing, const std::wstring& entry) override {
        return held ? held(existing, entry) : ExtractEvents::FileHeld(existing, entry);
    }
    void Fault(const std::wstring& text) override { faults.push_back(text); }
};

// The request the install run makes.
ExtractResult RunLikeTheInstall(const std::wstring& archive, const std::wstring& target, ExtractEvents& events,
                                const std::wstring& protectedPrefix = L"") {
    ExtractRequest request;
    request.archive = archive;
    request.folder = target;
    request.options = request.options | ExtractOption::OverwriteFiles;
    request.protectedPrefix = protectedPrefix;
    return TZipExtractor().Extract(request, events);
}

ULONGLONG WriteTime(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA d{};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &d);
    return (static_cast<ULONGLONG>(d.ftLastWriteTime.dwHighDateTime) << 32) | d.ftLastWriteTime.dwLowDateTime;
}

class ZipFiles : public ::testing::TestWithParam<const wchar_t*> {
protected:
    void SetUp() override { ASSERT_FALSE(Fixtures().empty()) << "ZIP_FIXTURES not set"; }
};

TEST_P(ZipFiles, RealArchiveExtractsByteForByteIntoMissingFolders) {
    TempFolder t;
    const std::wstring target = t.path() + L"neu\\noch tiefer\\";
    Events events;
    int alive = 0;
    events.keepAlive = [&alive] { ++alive; };
    const ExtractResult r = RunLikeTheInstall(Fixtures() + GetParam(), target, events);
    ASSERT_EQ(r.code, zipOk) << Narrow(r.text);

    const auto expected = Tree(Fixtures() + L"tree\\");
    const auto actual = Tree(target);  // any left-over temporary file shows up here
    EXPECT_EQ(actual.size(), expected.size());
    for (const auto& [name, bytes] : expected) {
        auto it = actual.find(name);
        ASSERT_NE(it, actual.end()) << Narrow(name);
        EXPECT_TRUE(it->second == bytes) << Narrow(name);
    }
    int files = 0;
    size_t blocks = 0;  // of 64 KiB, each of which must let the window breathe
    for (const auto& [name, bytes] : expected) {
        files += bytes != "<dir>";
        blocks += bytes.size() / 65536;
    }
    EXPECT_GE(static_cast<size_t>(alive), r.entries + blocks);
    EXPECT_EQ(r.extracted, files);
    // The archives keep 2021-03-04 05:06:08 UTC, to the second.
    const ULONGLONG stamp = (1614834368ULL + 11644473600ULL) * 10000000ULL;
    const ULONGLONG got = WriteTime(target + L"readme.txt");
    EXPECT_LE(got > stamp ? got - stamp : stamp - got, 10000000ULL * 3600 * 14) << "DOS time off by more than a zone";
    if (std::wstring(GetParam()).rfind(L"infozip", 0) == 0) {
        EXPECT_EQ(got, stamp);
    }
}

INSTANTIATE_TEST_SUITE_P(Tools, ZipFiles,
                         ::testing::Values(L"infozip_deflate.zip", L"infozip_stored.zip", L"infozip_stream.zip",
                                           L"python_zip64.zip"));

TEST(Zip1, DosCodePageName) {
    TempFolder t;
    Events events;
    EXPECT_EQ(RunLikeTheInstall(Fixtures() + L"cp850.zip", t.path(), events).extracted, 1);
    std::string bytes;
    EXPECT_TRUE(ReadFileBytes(t.path() + L"\u00c4nderung_\u00d6l.txt", &bytes));
    EXPECT_EQ(bytes, "cp850\n");
}

TEST(Zip1, ExistingFilesAreReplacedWithoutQuestionAfterTheCallback) {
    TempFolder t;
    WriteFileBytes(t.path() + L"readme.txt", "alt");
    CreateDirectoryW((t.path() + L"Daten").c_str(), nullptr);
    WriteFileBytes(t.path() + L"Daten\\text.dat", "alter Text");
    SetFileAttributesW((t.path() + L"Daten\\text.dat").c_str(), FILE_ATTRIBUTE_READONLY);

    Events events;
    std::vector<std::pair<std::wstring, std::string>> seen;  // path, content at callback time
    events.beforeReplace = [&](const std::wstring& existing, const std::wstring&) {
        std::string before;
        ReadFileBytes(existing, &before);
        seen.emplace_back(existing, before);
    };
    BoxAnswerer boxes;
    const ExtractResult r = RunLikeTheInstall(Fixtures() + L"infozip_deflate.zip", t.path(), events);
    EXPECT_EQ(r.code, zipOk) << Narrow(r.text);
    EXPECT_TRUE(boxes.Seen().empty());

    ASSERT_EQ(seen.size(), 2u);
    std::map<std::wstring, std::string> byPath(seen.begin(), seen.end());
    EXPECT_EQ(byPath[t.path() + L"readme.txt"], "alt");
    EXPECT_EQ(byPath[t.path() + L"Daten\\text.dat"], "alter Text");
    std::string now, want;
    ReadFileBytes(t.path() + L"Daten\\text.dat", &now);
    ReadFileBytes(Fixtures() + L"tree\\Daten\\text.dat", &want);
    EXPECT_TRUE(now == want);
}

TEST(Zip1, DamagedEntryLeavesTheExistingFileAndNoTemporaryFile) {
    TempFolder t;
    CreateDirectoryW((t.path() + L"ordner").c_str(), nullptr);
    const std::wstring target = t.path() + L"ordner\\ziel.txt";
    WriteFileBytes(target, "ALTER INHALT\n");
    Events events;
    int callbacks = 0;
    events.beforeReplace = [&](const std::wstring&, const std::wstring&) { ++callbacks; };

    ExtractResult r;
    EXPECT_NO_THROW(r = RunLikeTheInstall(Fixtures() + L"crc_bad.zip", t.path(), events));
    EXPECT_EQ(r.code, zipEntryDamaged);
    EXPECT_NE(r.text.find(L"ordner/ziel.txt"), std::wstring::npos) << Narrow(r.text);
    EXPECT_EQ(r.extracted, 0);
    EXPECT_EQ(callbacks, 0);
    auto left = Tree(t.path());
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[L"ordner\\ziel.txt"], "ALTER INHALT\n");

    // The intact archive with the same entry replaces it.
    EXPECT_EQ(RunLikeTheInstall(Fixtures() + L"crc_ok.zip", t.path(), events).code, zipOk);
    EXPECT_EQ(callbacks, 1);
    left = Tree(t.path());
    EXPECT_EQ(left.size(), 1u);
    EXPECT_EQ(left[L"ordner\\ziel.txt"], "NEUER INHALT\n");
}

// A target that did not exist is kept only once its data is whole and
// checked: a damaged entry leaves nothing, and a folder of that name stays.
TEST(Zip1, NewTargetsAreKeptOnlyWholeAndNothingWhenDamaged) {
    struct Case {
        const wchar_t* archive;
        bool folderThere;
        int code;
        std::string left;  // content of "ordner\\ziel.txt" afterwards; empty: none there
    };
    const Case cases[] = {
        {L"crc_ok.zip", false, zipOk, "NEUER INHALT\n"},
        {L"crc_bad.zip", false, zipEntryDamaged, ""},
        {L"crc_ok.zip", true, zipWriteFailed, "<dir>"},  // still the folder
    };
    for (const Case& c : cases) {
        TempFolder t;
        if (c.folderThere) {
            CreateDirectoryW((t.path() + L"ordner").c_str(), nullptr);
            CreateDirectoryW((t.path() + L"ordner\\ziel.txt").c_str(), nullptr);
        }
        Events events;
        int callbacks = 0;
        events.beforeReplace = [&](const std::wstring&, const std::wstring&) { ++callbacks; };
        const ExtractResult r = RunLikeTheInstall(Fixtures() + c.archive, t.path(), events);
        EXPECT_EQ(r.code, c.code) << Narrow(c.archive) << " " << Narrow(r.text);
        EXPECT_EQ(r.extracted, c.code == zipOk ? 1 : 0);
        EXPECT_EQ(callbacks, 0);
        if (c.folderThere) {
            EXPECT_NE(r.text.find(L"Ordner"), std::wstring::npos) << Narrow(r.text);
        }
        std::map<std::wstring, std::string> want;  // a side file would show up in the tree
        if (c.left.empty()) want[L"ordner\\"] = "<dir>";
        else if (c.folderThere) want[L"ordner\\ziel.txt\\"] = "<dir>";
        else want[L"ordner\\ziel.txt"] = c.left;
        EXPECT_EQ(Tree(t.path()), want) << Narrow(c.archive);
    }
}

// Another program holds a.txt open with read sharing only, as a running
// Mirado holds its program files.
TEST(Zip1, AFileHeldByAnotherProgramIsAskedAboutAndReplacedOrLeft) {
    struct Case {
        const char* name;
        bool hook;
        std::vector<bool> answers;  // Retry or Leave; the holder lets go before the last
        bool releaseFirst;
        std::string a;  // a.txt afterwards
        int code, left;
    };
    const Case cases[] = {
        {"asked again while held, replaced once let go", true, {true, true}, true, "inhalt a.txt", zipOk, 0},
        {"given up: old file stays, next entry written", true, {false}, false, "ALT", zipOk, 1},
        {"without an answer a write fault as before", false, {}, false, "ALT", zipWriteFailed, 0},
    };
    for (const Case& c : cases) {
        TempFolder t;
        const std::wstring a = t.path() + L"a.txt";
        WriteFileBytes(a, "ALT");
        WriteArchive(t.path() + L"neu.zip", {"a.txt", "b.txt"});
        FileHandle holder(CreateFileW(a.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder);
        Events events;
        size_t asked = 0;
        if (c.hook) {
            events.held = [&](const std::wstring& existing, const std::wstring& entry) {
                EXPECT_EQ(existing, a);
                EXPECT_EQ(entry, L"a.txt");
                if (++asked == c.answers.size() && c.releaseFirst) holder.reset();
                const bool retry = asked <= c.answers.size() && c.answers[asked - 1];
                return retry ? ExtractEvents::Held::Retry : ExtractEvents::Held::Leave;
            };
        }
        const ExtractResult r = RunLikeTheInstall(t.path() + L"neu.zip", t.path(), events);
        holder.reset();
        EXPECT_EQ(r.code, c.code) << c.name << ": " << Narrow(r.text);
        EXPECT_EQ(asked, c.answers.size()) << c.name;
        EXPECT_EQ(r.leftInUse, c.left) << c.name;
        std::map<std::wstring, std::string> want{{L"a.txt", c.a}, {L"neu.zip", ""}};
        if (c.code == zipOk) want[L"b.txt"] = "inhalt b.txt";
        auto tree = Tree(t.path());
        tree[L"neu.zip"] = "";
        EXPECT_EQ(tree, want) << c.name << ": no side file left";
    }
}

// A run killed while it writes a new file (here: this program run again,
// ending itself inside the entry's second block) must leave no part of it
// under the name the product would load.
TEST(Zip1, ARunKilledMidEntryLeavesNoPartOfANewFile) {
    wchar_t child[MAX_PATH] = L"";
    if (GetEnvironmentVariableW(L"UTEST_KILL_IN", child, MAX_PATH)) {
        Events events;
        int blocks = 0;
        events.keepAlive = [&] {
            if (++blocks == 3) TerminateProcess(GetCurrentProcess(), 7);
        };
        RunLikeTheInstall(std::wstring(child) + L"neu.zip", child, events);
        return;
    }
    TempFolder t;
    zipbuild::Item big;
    big.name = "Neu/gross.dll";
    big.data = std::string(300000, 'x');
    WriteFileBytes(t.path() + L"neu.zip", zipbuild::Build({big}).bytes);
    const DWORD code =
        RunThisProgramAgain("Zip1.ARunKilledMidEntryLeavesNoPartOfANewFile", L"UTEST_KILL_IN", t.path(), 60000);
    EXPECT_EQ(code, 7u) << "the run was not killed inside the entry";
    std::vector<std::wstring> left;
    for (const auto& [name, bytes] : Tree(t.path())) left.push_back(name);
    EXPECT_EQ(left, (std::vector<std::wstring>{L"Neu\\", L"neu.zip"})) << "the entry's part stayed";
}

TEST(Zip1, AnExceptionOfTheCallbackLeavesTheFileAndReachesTheCaller) {
    TempFolder t;
    CreateDirectoryW((t.path() + L"ordner").c_str(), nullptr);
    WriteFileBytes(t.path() + L"ordner\\ziel.txt", "ALT");
    Events events;
    events.beforeReplace = [](const std::wstring&, const std::wstring&) { throw std::runtime_error("Sicherung"); };
    EXPECT_THROW(RunLikeTheInstall(Fixtures() + L"crc_ok.zip", t.path(), events), std::runtime_error);
    const auto left = Tree(t.path());
    EXPECT_EQ(left.size(), 1u);
    EXPECT_EQ(left.at(L"ordner\\ziel.txt"), "ALT");
}

TEST(Zip1, FaultsAreRecordedAndToldButNeverRaisedNorShown) {
    TempFolder t, made;
    WriteFileBytes(t.path() + L"kein.zip", std::string(5000, 'P'));
    WriteFileBytes(t.path() + L"datei", "x");
    // A small file first, then one that declares 4 EiB: no drive has room
    // for that, and the small one must not be written either.
    zipbuild::Item first, huge;
    first.name = "harmlos.txt";
    first.data = "harmlos\n";
    huge.name = "riesig.bin";
    huge.data = "klein";
    huge.deflate = true;
    huge.zip64 = true;
    huge.declaredSize = uint64_t{1} << 62;
    WriteFileBytes(made.path() + L"riesig.zip", zipbuild::Build({first, huge}).bytes);
    WriteArchive(made.path() + L"sicherung.zip", {"harmlos.txt", "Daten/_history/alt.txt"});
    struct Case {
        std::wstring archive, target;
        int code;
    };
    const std::wstring out = t.path() + L"ziel\\";
    const Case cases[] = {
        {t.path() + L"fehlt.zip", out, zipArchiveMissing},
        {L"", out, zipArchiveMissing},
        {t.path() + L"kein.zip", out, zipArchiveDamaged},
        {Fixtures() + L"traversal.zip", out, zipUnsafeEntry},
        {Fixtures() + L"crc_ok.zip", t.path() + L"datei\\unter", zipTargetFolder},
        {made.path() + L"riesig.zip", out, zipNoSpace},
        {made.path() + L"sicherung.zip", out, zipUnsafeEntry},
    };
    for (const Case& c : cases) {
        Events events;
        BoxAnswerer boxes;
        ExtractResult r;
        r.extracted = -1;
        EXPECT_NO_THROW(r = RunLikeTheInstall(c.archive, c.target, events, L"_History"));
        EXPECT_EQ(r.extracted, 0);
        EXPECT_EQ(r.code, c.code) << Narrow(c.archive);
        EXPECT_FALSE(r.text.empty());
        EXPECT_EQ(events.faults, std::vector<std::wstring>{r.text}) << Narrow(c.archive);
        EXPECT_TRUE(boxes.Seen().empty()) << "the component shows no box of its own";
    }
    // The refused archive wrote nothing, neither inside nor beside the target.
    const auto left = Tree(t.path());
    EXPECT_EQ(left.size(), 2u);
    EXPECT_FALSE(PathExists(t.path() + L"ziel\\harmlos.txt"));
    EXPECT_FALSE(PathExists(t.path() + L"boese.txt"));
}

TEST(Zip1, WithoutOverwriteFilesAnExistingFileStays) {
    TempFolder t;
    CreateDirectoryW((t.path() + L"ordner").c_str(), nullptr);
    WriteFileBytes(t.path() + L"ordner\\ziel.txt", "ALT");
    ExtractRequest request;  // the options as the window has them
    request.archive = Fixtures() + L"crc_ok.zip";
    request.folder = t.path();
    Events events;
    const ExtractResult r = TZipExtractor().Extract(request, events);
    EXPECT_EQ(r.entries, 1);
    EXPECT_EQ(r.extracted, 0);
    EXPECT_EQ(r.code, zipOk);
    std::string bytes;
    ReadFileBytes(t.path() + L"ordner\\ziel.txt", &bytes);
    EXPECT_EQ(bytes, "ALT");
}

TEST(Zip1, NoEntryReachesAProtectedFolderNorItsShortName) {
    TempFolder t;
    const std::wstring backup = t.path() + L"Daten\\_History_2024-01-02";
    CreateDirectoryW((t.path() + L"Daten").c_str(), nullptr);
    CreateDirectoryW(backup.c_str(), nullptr);
    wchar_t shortPath[MAX_PATH] = {};
    GetShortPathNameW(backup.c_str(), shortPath, MAX_PATH);
    const std::wstring alias = std::wstring(shortPath).substr(std::wstring(shortPath).find_last_of(L'\\') + 1);
    if (alias.find(L'~') == std::wstring::npos) GTEST_SKIP() << "no 8.3 names on this drive";

    struct Case {
        std::string name;
        std::wstring prefix;
        bool refused;
    };
    const Case cases[] = {
        {"Daten/" + Narrow(alias) + "/alt.txt", L"_History", true},
        {"Daten/_HISTORY/x.txt", L"_History", true},
        {"_history_neu/", L"_History", true},
        {"Daten/Neu~1/x.txt", L"_History", false},  // a '~' that names nothing yet
        {"Daten/x_History/y.txt", L"_History", false},
        {"Daten/_History/x.txt", L"", false},
    };
    for (const Case& c : cases) {
        WriteArchive(t.path() + L"a.zip", {"gut.txt", c.name});
        Events events;
        const ExtractResult r = RunLikeTheInstall(t.path() + L"a.zip", t.path(), events, c.prefix);
        EXPECT_EQ(r.code, c.refused ? zipUnsafeEntry : zipOk) << c.name;
        EXPECT_EQ(PathExists(t.path() + L"gut.txt"), !c.refused) << c.name;
        DeleteFileW((t.path() + L"gut.txt").c_str());
    }
    EXPECT_TRUE(Tree(backup + L"\\").empty());
}

TEST(Zip1, LeftoversOfAKilledRunGoFromTheFoldersWrittenInto) {
    TempFolder t;
    const std::wstring folder = t.path() + L"ordner\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    // Named as another process's side file would be; never this process's.
    wchar_t stale[40];
    swprintf(stale, 40, L"~zip%lx_0.tmp", GetCurrentProcessId() ^ 0x1234u);
    WriteFileBytes(folder + stale, "halb");
    WriteFileBytes(folder + L"~keep.tmp", "fremd");
    Events events;
    const ExtractResult r = RunLikeTheInstall(Fixtures() + L"crc_ok.zip", t.path(), events);
    EXPECT_EQ(r.code, zipOk) << Narrow(r.text);
    EXPECT_FALSE(PathExists(folder + stale));
    EXPECT_TRUE(PathExists(folder + L"~keep.tmp"));
}

TEST(Zip1, LongTargetWithDotsAndForwardSlashes) {
    TempFolder t;
    const std::wstring part(150, L'd');
    Events events;
    const ExtractResult r = RunLikeTheInstall(Fixtures() + L"crc_ok.zip", t.path() + L"weg/../" + part + L"/" + part,
                                              events);
    EXPECT_EQ(r.code, zipOk) << Narrow(r.text);
    const std::wstring extended = L"\\\\?\\" + t.path();
    std::string bytes;
    EXPECT_TRUE(ReadFileBytes(extended + part + L"\\" + part + L"\\ordner\\ziel.txt", &bytes));
    EXPECT_EQ(bytes, "NEUER INHALT\n");
    EXPECT_FALSE(PathExists(t.path() + L"weg"));
    RemoveTree(extended);  // the fixture's own cleanup stops at MAX_PATH
}

}  // namespace
