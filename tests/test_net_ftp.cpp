// FTP fetch with progress against the local update server: whole files,
// the display while and after a transfer, the messages of each refusal, and
// broken transfers that must leave the earlier file in place.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <regex>

#include "ui/ProgressControls.h"
#include "net/Transfers.h"
#include "run/StepFaults.h"
#include "ui/WindowReporting.h"
#include "support/TestSupport.h"
#include "test_net_server.h"

using namespace testsupport;
using namespace nettest;

namespace {

const wchar_t* const kUser = L"58213_upd";
const wchar_t* const kPassword = L"6184270";

// Everything a control was told, in order: texts set on the labels and
// positions set on the bar.
struct Recorder {
    std::vector<std::wstring> texts;
    std::vector<int> positions;
};

LRESULT CALLBACK RecordProc(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref) {
    auto* rec = reinterpret_cast<Recorder*>(ref);
    if (msg == WM_SETTEXT) rec->texts.push_back(reinterpret_cast<const wchar_t*>(lp));
    if (msg == PBM_SETPOS) rec->positions.push_back(static_cast<int>(wp));
    return DefSubclassProc(h, msg, wp, lp);
}

int timerTicks = 0;
void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) { ++timerTicks; }

std::wstring Text(HWND h) {
    wchar_t buf[1024] = L"";
    GetWindowTextW(h, buf, 1024);
    return buf;
}

bool HasStyle(HWND h, LONG style) { return (GetWindowLongW(h, GWL_STYLE) & style) != 0; }

class FtpTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Server().ok) << Narrow(Server().problem);
        Control("reset=1");
        INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&icc);
        window_ = CreateWindowExW(0, L"STATIC", L"utest", WS_OVERLAPPEDWINDOW, 0, 0, 500, 200, nullptr, nullptr,
                                  nullptr, nullptr);
        bar_ = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD, 8, 8, 400, 16, window_, nullptr, nullptr, nullptr);
        size_ = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 8, 30, 400, 16, window_, nullptr, nullptr, nullptr);
        file_ = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 8, 50, 400, 16, window_, nullptr, nullptr,
                                nullptr);
        SetWindowSubclass(size_, RecordProc, 1, reinterpret_cast<DWORD_PTR>(&sizeRec_));
        SetWindowSubclass(bar_, RecordProc, 1, reinterpret_cast<DWORD_PTR>(&barRec_));
    }
    void TearDown() override {
        Control("reset=1");
        RemoveWindowSubclass(size_, RecordProc, 1);
        RemoveWindowSubclass(bar_, RecordProc, 1);
        DestroyWindow(window_);
    }

    bool Fetch(const std::wstring& remoteFile, const std::wstring& localPath,
               const std::wstring& remoteFolder = L"lupd19/", const std::wstring& host = L"127.0.0.1",
               const std::wstring& password = kPassword) {
        ProgressControls progress(bar_, size_, file_);
        FetchFault fault;
        const bool fetched = FtpDownload(FtpServer{host, kUser, password, Server().ftpPort}, remoteFolder, remoteFile,
                                         localPath, progress, frontend_, fault, limits_);
        TellFault(FetchFailed(fault, std::wstring()), frontend_, nullptr);
        return fetched;
    }

    // As the install run fetches: with the file's HTTP address beside it
    // and the run's route, which the fetch may move on.
    bool FetchRouted(const std::wstring& remoteFile, const std::wstring& localPath, FtpRoute* route,
                     const std::wstring& host = L"127.0.0.1") {
        ProgressControls progress(bar_, size_, file_);
        FetchFault fault;
        const bool fetched =
            FtpDownload(FtpServer{host, kUser, kPassword, Server().ftpPort}, L"lupd19/", remoteFile, localPath, progress,
                        frontend_, fault, limits_, nullptr, route, HttpBase() + L"lupd19/" + remoteFile);
        TellFault(FetchFailed(fault, std::wstring()), frontend_, nullptr);
        return fetched;
    }

    void ExpectArrived(const std::wstring& local, const std::string& bytes) {
        std::string got;
        ASSERT_TRUE(ReadFileBytes(local, &got));
        EXPECT_TRUE(got == bytes) << "got " << got.size() << " bytes";
        EXPECT_EQ(FilesIn(dir_.path()).size(), 1u) << "no side file left behind";
        EXPECT_TRUE(boxes_.Seen().empty()) << Narrow(boxes_.Seen().front().text);
        ExpectDisplayReset();
    }

    void ExpectDisplayReset() {
        EXPECT_EQ(Text(file_), L"   ");
        EXPECT_EQ(Text(size_), L"   ");
        EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_ARROW));
    }

    TempFolder dir_;
    Published published_;
    BoxAnswerer boxes_;
    WindowFrontend frontend_;
    // A silent server is given up on after two seconds here, not thirty,
    // and a broken transfer tried again after a moment.
    TransferLimits limits_{2000, {50, 50}};
    HWND window_ = nullptr, bar_ = nullptr, size_ = nullptr, file_ = nullptr;
    Recorder sizeRec_, barRec_;
};

TEST_F(FtpTest, WholeFileArrivesAndTheDisplayFollowsIt) {
    const std::string bytes = RandomBytes(300000, 1);  // not a multiple of the block size
    published_.Put(L"lupd19\\whole.bin", bytes);
    const std::wstring local = dir_.path() + L"whole.bin";
    WriteFileBytes(local, "the earlier version");

    ASSERT_TRUE(Fetch(L"whole.bin", local));
    std::string got;
    ASSERT_TRUE(ReadFileBytes(local, &got));
    EXPECT_TRUE(got == bytes) << "got " << got.size() << " bytes";
    EXPECT_EQ(FilesIn(dir_.path()), std::vector<std::wstring>{L"whole.bin"}) << "no side file left behind";
    EXPECT_EQ(CacheCopies(L"whole"), 0) << "a copy stays in the web cache";
    EXPECT_TRUE(boxes_.Seen().empty());

    // After the end: bar and size label visible, bar full, both labels blank.
    EXPECT_TRUE(HasStyle(bar_, WS_VISIBLE));
    EXPECT_TRUE(HasStyle(size_, WS_VISIBLE));
    EXPECT_EQ(SendMessageW(bar_, PBM_GETPOS, 0, 0), 100);
    EXPECT_EQ(SendMessageW(bar_, PBM_GETRANGE, FALSE, 0), 100);
    ExpectDisplayReset();

    // While it ran: the preparation text, then sizes and percentage, each
    // text and each position set only when it changed.
    wchar_t sep[8] = L"";
    GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, sep, 8);
    const std::vector<std::wstring>& texts = sizeRec_.texts;
    ASSERT_GE(texts.size(), 4u);
    EXPECT_EQ(texts.front(), L"Download wird vorbereitet...");
    EXPECT_EQ(texts[texts.size() - 2], std::wstring(L"300") + sep + L"00 Kb von 300" + sep + L"00 Kb / 100 %");
    EXPECT_EQ(texts.back(), L"   ");
    const std::wregex line(LR"(^(\d+ bytes|\d+.+\d\d Kb) von 300.+00 Kb / (\d+) %$)");
    int lastPercent = -1;
    for (size_t i = 1; i + 1 < texts.size(); ++i) {
        std::wsmatch m;
        ASSERT_TRUE(std::regex_match(texts[i], m, line)) << Narrow(texts[i]);
        EXPECT_NE(texts[i], texts[i - 1]) << "unchanged text set again";
        const int percent = std::stoi(m[2].str());
        EXPECT_GE(percent, lastPercent);
        lastPercent = percent;
    }
    ASSERT_FALSE(barRec_.positions.empty());
    for (size_t i = 1; i < barRec_.positions.size(); ++i)
        EXPECT_LT(barRec_.positions[i - 1], barRec_.positions[i]) << "unchanged position set again";
    EXPECT_EQ(barRec_.positions.back(), 100);
}

TEST_F(FtpTest, EmptyFileCompletesWithAFullBar) {
    published_.Put(L"lupd19\\empty.bin", "");
    const std::wstring local = dir_.path() + L"empty.bin";
    ASSERT_TRUE(Fetch(L"empty.bin", local));
    std::string got = "x";
    ASSERT_TRUE(ReadFileBytes(local, &got));
    EXPECT_TRUE(got.empty());
    EXPECT_EQ(SendMessageW(bar_, PBM_GETPOS, 0, 0), 100);
    ExpectDisplayReset();
}

TEST_F(FtpTest, WindowMessagesAreProcessedDuringTheTransfer) {
    published_.Put(L"lupd19\\slow.bin", RandomBytes(120000, 2));
    Control("throttle=200000");
    timerTicks = 0;
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, CountTick);
    EXPECT_TRUE(Fetch(L"slow.bin", dir_.path() + L"slow.bin"));
    KillTimer(nullptr, timer);
    EXPECT_GE(timerTicks, 5) << "a 0.6 s transfer should have let the timer tick";
}

TEST_F(FtpTest, RefusalsShowTheirMessageAndFetchNothing) {
    published_.Put(L"lupd19\\here.bin", "data");
    const std::wstring local = dir_.path() + L"here.bin";
    struct Case {
        const char* what;
        const char* control;
        std::wstring folder, file, password, host, message;
    };
    const Case cases[] = {
        {"missing folder", "", L"lupd99/", L"here.bin", kPassword, L"127.0.0.1",
         L"Kann Verzeichnis nicht setzen lupd99/."},
        {"missing file", "", L"lupd19/", L"fehlt.bin", kPassword, L"127.0.0.1", L"Kann Datei nicht finden fehlt.bin."},
        {"refused login", "refuse_login=1", L"lupd19/", L"here.bin", kPassword, L"127.0.0.1",
         L"Host \"127.0.0.1\" ist nicht verfügbar"},
        {"wrong password", "", L"lupd19/", L"here.bin", L"falsch", L"127.0.0.1",
         L"Host \"127.0.0.1\" ist nicht verfügbar"},
        // Takes the connection and then never says a word.
        {"silent server", "ftp_silent=1", L"lupd19/", L"here.bin", kPassword, L"127.0.0.1",
         L"Host \"127.0.0.1\" ist nicht verfügbar"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Control(std::string("reset=1&") + c.control);
        boxes_.Clear();
        EXPECT_FALSE(Fetch(c.file, local, c.folder, c.host, c.password));
        const std::vector<SeenBox> seen = boxes_.Seen();
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].text, c.message);
        EXPECT_EQ(seen[0].caption, L"Talvero Liveupdate");
        EXPECT_EQ(seen[0].buttons.size(), 1u);
        EXPECT_FALSE(PathExists(local));
        ExpectDisplayReset();
    }
}

TEST_F(FtpTest, MissingLocalFolderFailsSilently) {
    published_.Put(L"lupd19\\here.bin", "data");
    const std::wstring local = dir_.path() + L"nicht\\da\\here.bin";
    EXPECT_FALSE(Fetch(L"here.bin", local));
    EXPECT_TRUE(boxes_.Seen().empty());
    EXPECT_FALSE(PathExists(dir_.path() + L"nicht"));
    ExpectDisplayReset();
    // The connection was given back: the next transfer works.
    EXPECT_TRUE(Fetch(L"here.bin", dir_.path() + L"here.bin"));
}

TEST_F(FtpTest, BrokenTransferKeepsTheEarlierFile) {
    published_.Put(L"lupd19\\cut.bin", RandomBytes(100000, 3));
    const std::wstring local = dir_.path() + L"cut.bin";
    // An orderly close looks like the end of the file; a reset is a failed
    // read; a server may go silent in the middle, or send more than its
    // listing said, or trickle along below the least rate (here over 0.7 s).
    // The silent and trickling servers come last: their reads, left behind,
    // keep their cache copies.
    limits_.slowWindowMs = 700;
    for (const char* mode : {"ftp_cut=10000", "ftp_cut=10000&ftp_cut_rst=1", "ftp_cut=1", "ftp_size_delta=-100",
                             "ftp_size_delta=-99000", "throttle=400", "ftp_stall=10000"}) {
        SCOPED_TRACE(mode);
        Control(std::string("reset=1&") + mode);
        WriteFileBytes(local, "the earlier version");
        const int cached = CacheCopies(L"cut");
        {
            AnswerProbe probe(window_, 1000);
            EXPECT_FALSE(Fetch(L"cut.bin", local));
            probe.Stop();
            EXPECT_EQ(probe.unanswered(), 0) << "the window did not answer within a second";
        }
        std::string got;
        ASSERT_TRUE(ReadFileBytes(local, &got));
        EXPECT_EQ(got, "the earlier version");
        EXPECT_EQ(FilesIn(dir_.path()), std::vector<std::wstring>{L"cut.bin"}) << "no side file left behind";
        // A read left behind on a silent server may still hold its cache copy.
        if (std::string(mode).find("stall") == std::string::npos &&
            std::string(mode).find("throttle") == std::string::npos) {
            EXPECT_EQ(CacheCopies(L"cut"), cached);
        }
        EXPECT_TRUE(boxes_.Seen().empty());
        ExpectDisplayReset();
    }
    // Without an earlier file nothing is left either.
    DeleteFileW(local.c_str());
    EXPECT_FALSE(Fetch(L"cut.bin", local));
    EXPECT_TRUE(FilesIn(dir_.path()).empty());
}

// Behind NAT or a firewall the server's connection back never arrives.
TEST_F(FtpTest, ActiveModeThatFailsGoesPassiveWithoutAWordAndStaysSo) {
    const std::string bytes = RandomBytes(50000, 11);
    published_.Put(L"lupd19\\nat.bin", bytes);
    const std::wstring local = dir_.path() + L"nat.bin";
    struct Case {
        const char* what;
        const char* control;
        FtpRoute::Way after;
        DWORD stallMs;
    };
    const Case cases[] = {
        {"active mode works: the commands of old", "", FtpRoute::Way::Active, limits_.stallMs},
        {"PORT and EPRT refused", "ftp_active=1", FtpRoute::Way::Passive, limits_.stallMs},
        {"425 for the listing", "ftp_active=2", FtpRoute::Way::Passive, limits_.stallMs},
        {"no connection within the stall limit", "ftp_active=3", FtpRoute::Way::Passive, limits_.stallMs},
        // WinInet gives up waiting for the connection after 30 s on its
        // own, as the program's 30 s limit may; the listing then fails
        // after the server's positive reply to PORT.
        {"no connection within WinInet's own wait", "ftp_active=3", FtpRoute::Way::Passive, 45000},
    };
    const TransferLimits kept = limits_;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Control(std::string("reset=1&") + c.control);
        boxes_.Clear();
        limits_.stallMs = c.stallMs;
        FtpRoute route;
        ASSERT_TRUE(FetchRouted(L"nat.bin", local, &route));
        ExpectArrived(local, bytes);
        EXPECT_EQ(route.way, c.after);
        const std::string log = FtpLog();
        EXPECT_NE(log.find("\"PORT "), std::string::npos) << "active mode comes first: " << log;
        EXPECT_EQ(log.find("\"REST"), std::string::npos) << "a whole transfer resumes nothing: " << log;
        EXPECT_EQ(log.find("\"PASV\"") != std::string::npos || log.find("\"EPSV") != std::string::npos,
                  c.after == FtpRoute::Way::Passive)
            << log;
        EXPECT_EQ(HttpLog().find("nat.bin"), std::string::npos) << "no HTTP fetch";
        // The next file of the run goes straight the way this one found.
        Control("clear_log=1");
        ASSERT_TRUE(FetchRouted(L"nat.bin", local, &route));
        EXPECT_EQ(FtpLog().find("\"PORT ") != std::string::npos, c.after == FtpRoute::Way::Active) << FtpLog();
    }
    limits_ = kept;
}

TEST_F(FtpTest, FtpOutOfReachIsLeftForHttpWithTheSameDisplay) {
    const std::string bytes = RandomBytes(60000, 12);
    published_.Put(L"lupd19\\web.bin", bytes);
    const std::wstring local = dir_.path() + L"web.bin";
    struct Case {
        const char* what;
        const char* control;
        std::wstring host;
    };
    const Case cases[] = {
        {"connection refused", "ftp_off=1", L"127.0.0.1"},
        {"host name unknown", "", L"ftp.nirgends.invalid"},
        {"no answer within the connect time", "ftp_silent=1", L"127.0.0.1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Control(std::string("reset=1&") + c.control);
        boxes_.Clear();
        sizeRec_.texts.clear();
        FtpRoute route;
        ASSERT_TRUE(FetchRouted(L"web.bin", local, &route, c.host)) << ServerLog();
        ExpectArrived(local, bytes);
        EXPECT_EQ(route.way, FtpRoute::Way::Http);
        EXPECT_NE(HttpLog().find("lupd19/web.bin"), std::string::npos);
        ASSERT_GE(sizeRec_.texts.size(), 3u);
        EXPECT_EQ(sizeRec_.texts.front(), L"Download wird vorbereitet...");
        EXPECT_NE(sizeRec_.texts[sizeRec_.texts.size() - 2].find(L"/ 100 %"), std::string::npos);
        // The rest of the run waits on FTP no more, even once it is back.
        Control("reset=1");
        ASSERT_TRUE(FetchRouted(L"web.bin", local, &route, c.host));
        EXPECT_EQ(FtpLog().find("USER"), std::string::npos) << FtpLog();
    }
    // Where HTTP fails as well, the file fails as over FTP alone.
    Control("reset=1&ftp_off=1&http_status=404");
    WriteFileBytes(local, "the earlier version");
    FtpRoute route;
    EXPECT_FALSE(FetchRouted(L"web.bin", local, &route));
    std::string got;
    ASSERT_TRUE(ReadFileBytes(local, &got));
    EXPECT_EQ(got, "the earlier version");
    ASSERT_EQ(boxes_.Seen().size(), 1u);
    EXPECT_EQ(boxes_.Seen()[0].text, L"Host \"127.0.0.1\" ist nicht verfügbar");
    ExpectDisplayReset();
}

TEST_F(FtpTest, RefusalsOfAServerThatAnsweredAreNotTakenToHttp) {
    published_.Put(L"lupd19\\here.bin", "data");
    const std::wstring local = dir_.path() + L"here.bin";
    const std::pair<const char*, std::wstring> cases[] = {
        {"refuse_login=1", L"Host \"127.0.0.1\" ist nicht verfügbar"},
        {"", L"Kann Datei nicht finden fehlt.bin."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        Control(std::string("reset=1&") + c.first);
        boxes_.Clear();
        FtpRoute route;
        EXPECT_FALSE(FetchRouted(*c.first ? L"here.bin" : L"fehlt.bin", local, &route));
        ASSERT_EQ(boxes_.Seen().size(), 1u);
        EXPECT_EQ(boxes_.Seen()[0].text, c.second);
        EXPECT_EQ(HttpLog().find("lupd19/"), std::string::npos) << HttpLog();
        EXPECT_EQ(route.way, FtpRoute::Way::Active);
        EXPECT_FALSE(PathExists(local));
    }
}

// A line that drops once mid-file costs the file nothing: the next try goes
// on after the bytes that came, where the server allows it.
TEST_F(FtpTest, ACutOrStallOnceIsTriedAgainAndResumed) {
    const std::string bytes = RandomBytes(120000, 13);
    published_.Put(L"lupd19\\flaky.bin", bytes);
    const std::wstring local = dir_.path() + L"flaky.bin";
    struct Case {
        const char* what;
        const char* control;
        const char* resumed;  // what the log must hold of the retry
    };
    const Case cases[] = {
        {"ftp cut", "ftp_cut=40000", "\"REST 40000\""},
        {"ftp reset", "ftp_cut=40000&ftp_cut_rst=1", "\"REST "},
        {"ftp stall", "ftp_stall=40000", "\"REST 40000\""},
        {"ftp without REST", "ftp_cut=40000&ftp_rest=0", "\"REST 40000\""},
        {"http cut", "ftp_off=1&http_cut=40000", "\"range\": \"bytes=40000-\""},
        // WinInet hands on an HTTP block only once it is full.
        {"http stall", "ftp_off=1&http_stall=40000", "\"range\": \"bytes="},
        {"http without ranges", "ftp_off=1&http_cut=40000&http_range=0", "\"status\": 200"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Control(std::string("reset=1&fault_once=1&") + c.control);
        boxes_.Clear();
        barRec_.positions.clear();
        FtpRoute route;
        AnswerProbe probe(window_, 1000);
        ASSERT_TRUE(FetchRouted(L"flaky.bin", local, &route));
        probe.Stop();
        EXPECT_EQ(probe.unanswered(), 0);
        ExpectArrived(local, bytes);
        EXPECT_NE(ServerLog().find(c.resumed), std::string::npos) << ServerLog();
        EXPECT_EQ(barRec_.positions.back(), 100);
    }
}

// The user holds the window (its title bar, its system menu) for longer than
// the stall limit: the thread sits in a modal loop and takes nothing, while
// the line is healthy. A timer on the test's thread, which is the window's,
// plays the modal loop.
struct HeldWindow {
    static inline DWORD ms = 0;
    static inline bool held = false;
    static VOID CALLBACK Hold(HWND, UINT, UINT_PTR id, DWORD) {
        KillTimer(nullptr, id);
        held = true;
        const DWORD end = GetTickCount() + ms;
        while (static_cast<LONG>(end - GetTickCount()) > 0) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
            Sleep(10);
        }
    }
};

TEST_F(FtpTest, AWindowHeldLongerThanTheStallLimitIsNoDeadServer) {
    const std::string bytes = RandomBytes(300000, 14);
    published_.Put(L"lupd19\\held.bin", bytes);
    const std::wstring local = dir_.path() + L"held.bin";
    struct Case {
        const char* what;
        const char* control;
        UINT holdAfterMs;
        const char* fetched;  // in the server's log once, not twice
    };
    const Case cases[] = {
        {"while the connection opens", "", 1, "\"RETR held.bin\""},
        // 128 KiB fill the read-ahead while the window is held.
        {"mid-transfer over FTP", "throttle=200000", 400, "\"RETR held.bin\""},
        {"mid-transfer over HTTP", "ftp_off=1&throttle=200000", 400, "lupd19/held.bin"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Control(std::string("reset=1&") + c.control);
        boxes_.Clear();
        HeldWindow::ms = limits_.stallMs + 1500;
        HeldWindow::held = false;
        ASSERT_NE(SetTimer(nullptr, 0, c.holdAfterMs, HeldWindow::Hold), 0u);
        FtpRoute route;
        ASSERT_TRUE(FetchRouted(L"held.bin", local, &route));
        EXPECT_TRUE(HeldWindow::held);
        ExpectArrived(local, bytes);
        const std::string log = ServerLog();
        const size_t first = log.find(c.fetched);
        ASSERT_NE(first, std::string::npos) << log;
        EXPECT_EQ(log.find(c.fetched, first + 1), std::string::npos) << "tried again as if stalled: " << log;
    }
}

TEST_F(FtpTest, SizeComesFromTheServerEveryTime) {
    // A listing remembered from the first fetch would fail the second.
    const std::wstring local = dir_.path() + L"grows.bin";
    published_.Put(L"lupd19\\grows.bin", RandomBytes(5000, 7));
    ASSERT_TRUE(Fetch(L"grows.bin", local));
    const std::string bigger = RandomBytes(9000, 8);
    published_.Put(L"lupd19\\grows.bin", bigger);
    ASSERT_TRUE(Fetch(L"grows.bin", local));
    std::string got;
    ASSERT_TRUE(ReadFileBytes(local, &got));
    EXPECT_TRUE(got == bigger) << got.size() << " bytes";
}

TEST(ProgressPercent, RoundsHalvesToEvenWithinBounds) {
    EXPECT_EQ(ProgressPercent(0, 1000), 0);
    EXPECT_EQ(ProgressPercent(1, 200), 0);    // 0.5
    EXPECT_EQ(ProgressPercent(3, 200), 2);    // 1.5
    EXPECT_EQ(ProgressPercent(5, 200), 2);    // 2.5
    EXPECT_EQ(ProgressPercent(1, 3), 33);
    EXPECT_EQ(ProgressPercent(2, 3), 67);
    EXPECT_EQ(ProgressPercent(199, 200), 100);  // 99.5
    EXPECT_EQ(ProgressPercent(7, 5), 100);      // more than listed
    EXPECT_EQ(ProgressPercent(0, 0), 100);
    const uint64_t sixGiB = 6ull << 30;  // beyond 32 bits
    EXPECT_EQ(ProgressPercent(sixGiB / 2, sixGiB), 50);
    EXPECT_EQ(ProgressPercent(1ull << 32, sixGiB), 67);
}

// The user's decimal separator, whatever it is set to; restored afterwards.
class SizeTextTest : public ::testing::Test {
protected:
    void SetUp() override { GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, saved_, 8); }
    void TearDown() override { SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, saved_); }
    wchar_t saved_[8] = L"";
};

TEST_F(SizeTextTest, DecimalStepsWithTheUsersSeparator) {
    for (const wchar_t* sep : {L"", L",", L"."}) {
        if (*sep) {
            ASSERT_TRUE(SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, sep));
        }
        const std::wstring s = *sep ? sep : saved_;
        SCOPED_TRACE(Narrow(s));
        EXPECT_EQ(SizeText(0), L"0 bytes");
        EXPECT_EQ(SizeText(-5), L"-5 bytes");
        EXPECT_EQ(SizeText(999), L"999 bytes");
        EXPECT_EQ(SizeText(1000), L"1" + s + L"00 Kb");
        EXPECT_EQ(SizeText(4096), L"4" + s + L"10 Kb");
        EXPECT_EQ(SizeText(999999), L"1000" + s + L"00 Kb");
        EXPECT_EQ(SizeText(1000000), L"1" + s + L"00 Mb");
        EXPECT_EQ(SizeText(1500000), L"1" + s + L"50 Mb");
        EXPECT_EQ(SizeText(5000000000LL), L"5000" + s + L"00 Mb");
    }
}

}  // namespace
