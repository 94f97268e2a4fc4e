// HTTP fetch against the local update server: files into new folder
// chains, error answers that must not land as files, the open question,
// a locked destination, and where the server is looked for.
#include <gtest/gtest.h>
#include <windows.h>
#include <ole2.h>

#include "sys/Reg.h"
#include "run/Variable.h"
#include "net/Transfers.h"
#include "ui/WindowReporting.h"
#include "support/TestSupport.h"
#include "test_net_server.h"

using namespace testsupport;
using namespace nettest;

namespace {

// A broken fetch is tried again after a moment here, not after 1 s and 5 s.
const TransferLimits kQuick{kDefaultStallMs, {50, 50}};

class HttpTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Server().ok) << Narrow(Server().problem);
        Control("reset=1");
        OleInitialize(nullptr);
    }
    void TearDown() override {
        Control("reset=1");
        OleUninitialize();
    }

    // Exactly one box was shown: the error box naming dest.
    void ExpectOnlyErrorBox(const std::wstring& dest) {
        const std::vector<SeenBox> seen = boxes_.Seen();
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].text, dest);
        EXPECT_EQ(seen[0].caption, L"Talvero Liveupdate");
        EXPECT_EQ(seen[0].buttons.size(), 1u);
    }

    TempFolder dir_;
    Published published_;
    BoxAnswerer boxes_;
};

TEST_F(HttpTest, FetchesIntoANewFolderChain) {
    const std::string bytes = RandomBytes(150000, 11);
    published_.Put(L"lupd19\\chain.bin", bytes);
    const std::wstring folder = dir_.path() + L"a\\b\\c\\";
    ASSERT_TRUE(HttpDownload(HttpBase() + L"lupd19/chain.bin", folder + L"chain.bin", false, kQuick));
    std::string got;
    ASSERT_TRUE(ReadFileBytes(folder + L"chain.bin", &got));
    EXPECT_TRUE(got == bytes) << got.size() << " bytes";
    EXPECT_EQ(FilesIn(folder), std::vector<std::wstring>{L"chain.bin"});
    EXPECT_EQ(CacheCopies(L"chain"), 0) << "a copy stays in the web cache";
    EXPECT_TRUE(boxes_.Seen().empty());
}

TEST_F(HttpTest, ErrorAnswersLeaveTheDestinationAlone) {
    published_.Put(L"lupd19\\there.txt", "new content");
    const std::wstring dest = dir_.path() + L"there.txt";
    struct Case {
        const char* what;
        const char* control;
        std::wstring url;
    };
    const Case cases[] = {
        // The firewall hint belongs to exceptions only, not to a plain failure.
        {"missing file", "", HttpBase() + L"update.htm"},
        {"404 answer", "http_status=404&http_match=there", HttpBase() + L"lupd19/there.txt"},
        {"500 answer", "http_status=500", HttpBase() + L"lupd19/there.txt"},
        {"no server", "", L"http://127.0.0.1:1/talveroupdate/files/lupd19/there.txt"},
        // A body that ends before its announced length is no file.
        {"body cut short", "http_cut=3", HttpBase() + L"lupd19/there.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Control(std::string("reset=1&") + c.control);
        WriteFileBytes(dest, "earlier content");
        boxes_.Clear();
        EXPECT_FALSE(HttpDownload(c.url, dest, true, kQuick));  // no question after a failure
        ExpectOnlyErrorBox(dest);
        std::string got;
        ASSERT_TRUE(ReadFileBytes(dest, &got));
        EXPECT_EQ(got, "earlier content");
        EXPECT_EQ(FilesIn(dir_.path()), std::vector<std::wstring>{L"there.txt"}) << "no error page left";
    }
    // Nothing at all is written where there was nothing.
    DeleteFileW(dest.c_str());
    boxes_.Clear();
    EXPECT_FALSE(HttpDownload(HttpBase() + L"lupd19/fehlt.txt", dest, false, kQuick));
    EXPECT_TRUE(FilesIn(dir_.path()).empty());
}

// The list and the keep path: a body cut once is fetched on from where it
// broke where the server takes ranges, whole again where it does not or
// where the line went silent (the download service then kept nothing).
TEST_F(HttpTest, ABodyCutOrStalledOnceIsTriedAgain) {
    const std::string bytes = RandomBytes(90000, 21);
    published_.Put(L"lupd19\\flaky.bin", bytes);
    const std::wstring dest = dir_.path() + L"flaky.bin";
    struct Case {
        const char* what;
        const char* control;
        const char* retry;  // in the log of the second request
    };
    const Case cases[] = {
        {"cut, ranges taken", "http_cut=30000", "\"range\": \"bytes=30000-\""},
        {"cut, no ranges", "http_cut=30000&http_range=0", "\"status\": 200}]"},
        {"stalled", "http_stall=30000", "\"range\": null, \"status\": 200}]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Control(std::string("reset=1&fault_once=1&") + c.control);
        boxes_.Clear();
        WriteFileBytes(dest, "earlier content");
        ASSERT_TRUE(HttpDownload(HttpBase() + L"lupd19/flaky.bin", dest, false, TransferLimits{2000, {50, 50}}));
        std::string got;
        ASSERT_TRUE(ReadFileBytes(dest, &got));
        EXPECT_TRUE(got == bytes) << got.size() << " bytes";
        EXPECT_TRUE(boxes_.Seen().empty());
        const std::string log = HttpLog();
        EXPECT_NE(log.find(c.retry), std::string::npos) << log;
        for (const std::wstring& name : FilesIn(dir_.path()))
            EXPECT_TRUE(name == L"flaky.bin" || (std::string(c.what) == "stalled" && name.rfind(L"~upd", 0) == 0))
                << Narrow(name);
    }
}

TEST_F(HttpTest, ASilentServerFailsTheFetchWhileTheWindowAnswers) {
    published_.Put(L"lupd19\\silent.bin", RandomBytes(50000, 12));
    const std::wstring dest = dir_.path() + L"silent.bin";
    WriteFileBytes(dest, "earlier content");
    Control("http_stall=1000");
    HWND window = CreateWindowExW(0, L"STATIC", L"utest", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    AnswerProbe probe(window, 1000);
    EXPECT_FALSE(HttpDownload(HttpBase() + L"lupd19/silent.bin", dest, true, TransferLimits{2000, {50, 50}}));
    probe.Stop();
    DestroyWindow(window);
    EXPECT_EQ(probe.unanswered(), 0) << "the window did not answer within a second";
    EXPECT_GT(probe.answered(), 10);
    ExpectOnlyErrorBox(dest);
    std::string got;
    ASSERT_TRUE(ReadFileBytes(dest, &got));
    EXPECT_EQ(got, "earlier content");
    // The call left behind may still hold its side file; the next run that
    // writes into this folder removes it.
    for (const std::wstring& name : FilesIn(dir_.path()))
        EXPECT_TRUE(name == L"silent.bin" || name.rfind(L"~upd", 0) == 0) << Narrow(name);
}

TEST_F(HttpTest, LockedDestinationFailsAndKeepsItsContent) {
    published_.Put(L"lupd19\\locked.txt", "new content");
    const std::wstring dest = dir_.path() + L"locked.txt";
    WriteFileBytes(dest, "in use");
    HANDLE lock = CreateFileW(dest.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(HttpDownload(HttpBase() + L"lupd19/locked.txt", dest, false, kQuick));
    CloseHandle(lock);
    ExpectOnlyErrorBox(dest);
    std::string got;
    ASSERT_TRUE(ReadFileBytes(dest, &got));
    EXPECT_EQ(got, "in use");
    EXPECT_EQ(FilesIn(dir_.path()), std::vector<std::wstring>{L"locked.txt"});
}

// A file type of the test's own whose "open" copies the file to a marker.
class OpenAssociation {
public:
    explicit OpenAssociation(const std::wstring& marker) {
        RegSet(HKEY_CLASSES_ROOT, L".utestnet", L"", L"utestnet.file");
        RegSet(HKEY_CLASSES_ROOT, L"utestnet.file\\shell\\open\\command", L"",
               L"cmd.exe /c copy \"%1\" \"" + marker + L"\"");
    }
    ~OpenAssociation() = default;

private:
    RegTreeGuard ext_{HKEY_CLASSES_ROOT, L".utestnet"};
    RegTreeGuard type_{HKEY_CLASSES_ROOT, L"utestnet.file"};
};

bool WaitFor(const std::wstring& path, DWORD ms) {
    for (DWORD waited = 0; waited < ms; waited += 100) {
        if (PathExists(path)) return true;
        Sleep(100);
    }
    return PathExists(path);
}

TEST_F(HttpTest, OpensTheFileOnlyWhenTheUserSaysYes) {
    published_.Put(L"lupd19\\note.utestnet", "read me");
    const std::wstring marker = dir_.path() + L"opened.txt";
    OpenAssociation association(marker);
    const std::wstring dest = dir_.path() + L"Updates\\note.utestnet";
    const std::wstring url = HttpBase() + L"lupd19/note.utestnet";

    boxes_.Queue(IDYES);
    const DWORD start = GetTickCount();
    ASSERT_TRUE(HttpDownload(url, dest, true, kQuick));
    ASSERT_TRUE(WaitFor(marker, 20000)) << "the associated program was not started";
    const DWORD openTime = GetTickCount() - start;
    std::string got;
    ASSERT_TRUE(ReadFileBytes(marker, &got));
    EXPECT_EQ(got, "read me");
    std::vector<SeenBox> seen = boxes_.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].caption, L"Bestätigung");
    EXPECT_EQ(seen[0].text, L"Soll " + dest + L" geöffnet werden?");
    EXPECT_EQ(seen[0].buttons.size(), 2u);

    DeleteFileW(marker.c_str());
    boxes_.Clear();
    boxes_.Queue(IDNO);
    EXPECT_TRUE(HttpDownload(url, dest, true, kQuick));
    EXPECT_EQ(boxes_.Seen().size(), 1u);
    EXPECT_FALSE(WaitFor(marker, 2 * openTime + 1000)) << "opened although the answer was No";
    EXPECT_TRUE(PathExists(dest));

    boxes_.Clear();
    EXPECT_TRUE(HttpDownload(url, dest, false, kQuick));
    EXPECT_TRUE(boxes_.Seen().empty()) << "asked although not requested";
}

// The server's hosts come from the settings when present, and are only read.
class HostTest : public HttpTest {
protected:
    void SetUp() override {
        HttpTest::SetUp();
        RegCreateKeyExW(HKEY_CURRENT_USER, kScratch, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root_, nullptr);
    }
    void TearDown() override {
        RegCloseKey(root_);
        HttpTest::TearDown();
    }
    static constexpr const wchar_t* kScratch = L"Software\\utest_net_http";
    RegTreeGuard guard_{HKEY_CURRENT_USER, kScratch};
    HKEY root_ = nullptr;
};

TEST_F(HostTest, SettingsOverrideTheBuiltInHosts) {
    EXPECT_EQ(UpdateHttpHost(root_), UPDATE_HTTP_HOST);
    EXPECT_EQ(UpdateFtpHost(root_), UPDATE_FTP_HOST);
    EXPECT_EQ(MakeUpdateBaseUrl(root_), std::wstring(L"http://") + UPDATE_HTTP_HOST + L"/talveroupdate/files/");
    EXPECT_FALSE(RegHasKey(root_, kSettingsKey)) << "reading must not create settings";

    RegSet(root_, kSettingsKey, L"FTP Host", L"ftp.example.test");
    EXPECT_EQ(UpdateFtpHost(root_), L"ftp.example.test");
    EXPECT_EQ(UpdateHttpHost(root_), UPDATE_HTTP_HOST) << "an empty or missing value keeps the built-in host";

    const std::wstring host = L"127.0.0.1:" + std::to_wstring(Server().httpPort);
    RegSet(root_, kSettingsKey, L"Update Host", host);
    EXPECT_EQ(MakeUpdateBaseUrl(root_), L"http://" + host + L"/talveroupdate/files/");
    published_.Put(L"lupd19\\hosttest.txt", "via the setting");
    const std::wstring dest = dir_.path() + L"hosttest.txt";
    ASSERT_TRUE(HttpDownload(MakeUpdateBaseUrl(root_) + L"lupd19/hosttest.txt", dest, false, kQuick));
    std::string got;
    ASSERT_TRUE(ReadFileBytes(dest, &got));
    EXPECT_EQ(got, "via the setting");
}

}  // namespace
