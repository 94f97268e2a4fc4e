// The install run with no window at all: report, selection, progress and
// frontend held in memory, against the local update server.
#include <gtest/gtest.h>

#include "run/InstallRun.h"
#include "sys/Reg.h"
#include "run/Variable.h"
#include "support/MemoryReporting.h"
#include "support/TestSupport.h"
#include "test_net_server.h"

using namespace testsupport;

namespace {

TEST(InstallAlone, TheRunNeedsNothingButItsInterfaces) {
    ASSERT_TRUE(nettest::Server().ok) << Narrow(nettest::Server().problem);
    nettest::Control("reset=1");
    RegTreeGuard talvero(HKEY_CURRENT_USER, L"SOFTWARE\\Talvero");
    TempFolder root;
    const std::wstring cad = L"\\SOFTWARE\\Talvero\\CAD\\Settings", product = root.path() + L"Mirado19\\";
    const std::wstring work = root.path() + L"work\\", updates = work + L"Updates\\";
    CreateDirectoryW(product.c_str(), nullptr);
    CreateDirectoryW(work.c_str(), nullptr);
    RegSet(HKEY_CURRENT_USER, cad, L"Mirado19 Dir", product);
    RegSet(HKEY_CURRENT_USER, cad, L"FTP Host", L"127.0.0.1");
    RegSet(HKEY_CURRENT_USER, cad, L"FTP Port", std::to_wstring(nettest::Server().ftpPort));
    nettest::Published server;
    server.Put(L"lupd19\\ut12a.dat", "new a");
    server.Put(L"lupd19\\ut12b.dat", "parked b");
    server.Put(L"lupd19\\ut12c.dat", "c");
    WriteFileBytes(product + L"b.dat", "installed b");
    WriteFileBytes(work + L"update.cfg", "[1]\r\nPrg=MIRADO19\r\nFile001=ut12a.dat\r\nName001=a.dat\r\n"
                                         "File002=ut12b.dat\r\nName002=b.dat\r\nRepl002=0\r\nOpen002=1\r\n"
                                         "[2]\r\nPrg=MIRADO19\r\nFile001=ut12c.dat\r\nName001=c.dat\r\n");
    MemoryReport report;
    MemorySelection selection({true, false}, {L"1", L"2"});
    CountingProgress progress;
    RecordingFrontend frontend;
    frontend.answers.push_back(IDNO);
    TZipExtractor zip;
    Session session;
    session.registryRoot = HKEY_CURRENT_USER;
    session.workFolder = work;
    session.updateBaseUrl = nettest::HttpBase();
    RunRecord record;
    record.ShowIn(&report);
    InstallUpdates({record, selection, progress, frontend, zip}, session);

    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(product + L"a.dat", &bytes));
    EXPECT_EQ("new a", bytes);
    ASSERT_TRUE(ReadFileBytes(updates + L"b.dat", &bytes));
    EXPECT_EQ("parked b", bytes);
    EXPECT_FALSE(PathExists(product + L"c.dat"));
    EXPECT_EQ((std::vector<int>{0, 1}), selection.asked);
    EXPECT_TRUE(selection.checked.empty());
    EXPECT_EQ(1, progress.prepared) << "one FTP transfer; the parked file came over HTTP";
    EXPECT_EQ(1, progress.resets);
    EXPECT_EQ((std::vector<bool>{true, false}), frontend.busy);
    EXPECT_EQ(std::vector<std::wstring>{L"Soll " + updates + L"b.dat geöffnet werden?"}, frontend.boxes);

    EXPECT_EQ(record.Lines(), report.lines) << "what is shown is what the run recorded";
    ASSERT_EQ(3u, report.lines.size());
    const std::wstring log = report.lines[1].substr(1);
    EXPECT_EQ(0u, log.rfind(updates + L"Download ", 0)) << Narrow(log);
    EXPECT_EQ((std::vector<std::pair<std::wstring, int>>{{log, SW_SHOWMAXIMIZED}}), frontend.opened);
    ASSERT_TRUE(ReadFileBytes(log, &bytes));
    EXPECT_EQ(0u, bytes.find("Erneuerte Dateien\r\n\r\nDownload von: A.DAT\r\n")) << bytes;
}

}  // namespace
