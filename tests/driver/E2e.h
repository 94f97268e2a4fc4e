#pragma once
// The frame of every end-to-end scenario: a made-up computer (World), the
// local update server that ctest runs, and the real update.exe worked by the
// driver.
#include <gtest/gtest.h>

#include <memory>

#include "Driver.h"
#include "World.h"
#include "test_net_server.h"

namespace e2e {

using uidriver::Box;
using uidriver::Wizard;
using uidriver::World;

inline const wchar_t kWelcome0[] =
    L" Bevor Sie mit dem Live Update beginnen müssen folgende Punkte erledigt werden: ";
inline const wchar_t kConfirm[] = L"Obige Punkte sind erledigt";
inline const wchar_t kOffered[] = L"Folgende Programmteile werden erneuert";
inline const wchar_t kNothing[] = L"Es sind keine Updates vorhanden";

// build/update.exe as Wine sees it.
inline std::wstring UpdateExe() {
    wchar_t buf[1024];
    const DWORD n = GetEnvironmentVariableW(L"UPDATE_EXE", buf, 1024);
    std::wstring p = n && n < 1024 ? std::wstring(buf, n) : L"update.exe";
    for (wchar_t& c : p)
        if (c == L'/') c = L'\\';
    if (p.size() > 1 && p[0] == L'\\') p = L"Z:" + p;
    return p;
}

class Scenario : public ::testing::Test {
protected:
    std::unique_ptr<World> world_;
    std::unique_ptr<Wizard> wiz_;

    void SetUp() override {
        ASSERT_TRUE(nettest::Server().ok) << testsupport::Narrow(nettest::Server().problem);
        nettest::Control("reset=1");
        world_ = std::make_unique<World>(nettest::Server().httpPort, nettest::Server().ftpPort,
                                         nettest::Server().catalogue);
        world_->HarmlessTextViewer();
    }
    void TearDown() override {
        wiz_.reset();
        nettest::Control("reset=1");
        world_.reset();
    }

    World& world() { return *world_; }
    Wizard& wiz() { return *wiz_; }

    // A computer with the four products, pointed at the local server.
    void Installed() {
        world().InstallProducts();
        world().PointAtServer();
    }

    void Launch() {
        wiz_ = std::make_unique<Wizard>();
        ASSERT_TRUE(wiz_->Start(UpdateExe())) << "the wizard's window did not show";
        ASSERT_TRUE(wiz_->FindControls()) << "controls not where the layout puts them";
    }

    std::vector<std::wstring> Anw() { return wiz().Lines(wiz().lstAnw); }
    std::vector<std::wstring> Upd() { return wiz().Lines(wiz().lstUpd); }

    // State 0 -> 1 with the data already in the edits.
    void PressCustomerPage() {
        ASSERT_TRUE(wiz().Press());
        ASSERT_TRUE(Wizard::WaitFor([&] { return wiz().Place(wiz().panAdr).x == 500; }, 10000))
            << "the customer page stayed";
    }

    // State 1: ticks the confirmation and fetches the list; returns once
    // the press has ended (list shown, nothing to do, or a box is up).
    void ConfirmAndFetch() {
        if (!wiz().Checked(0)) {
            ASSERT_TRUE(wiz().ClickCheck(0));
        }
        ASSERT_TRUE(wiz().Press()) << "button not enabled after the confirmation";
        WaitFetchEnd();
    }

    void WaitFetchEnd() {
        ASSERT_TRUE(Wizard::WaitFor(
            [&] {
                if (!wiz().Boxes().empty()) return true;
                const auto a = Anw();
                return a.size() == 1 && (a[0] == kOffered || a[0] == kNothing) && wiz().Enabled(wiz().cmdnex);
            },
            20000))
            << "the list fetch did not end";
    }

    // Through the customer page and the confirmation to the offered list.
    void ToSelection() {
        Launch();
        wiz().FillAll(L"Muster AG", L"8000 Zürich", L"Hans Muster", L"PC-07", L"044 000 00 00", L"hm@muster.ch");
        PressCustomerPage();
        ConfirmAndFetch();
        ASSERT_EQ(Anw(), std::vector<std::wstring>{kOffered});
    }

    // Presses "Weiter" on the selection and answers boxes with OK until the
    // run has ended ("Beenden"); every box seen is returned.
    std::vector<Box> RunInstall(DWORD timeoutMs = 60000) {
        std::vector<Box> seen;
        DeleteFileW(world().OpenedCopy().c_str());  // from an earlier run today
        EXPECT_TRUE(wiz().PressInstall());
        const bool ended = Wizard::WaitFor(
            [&] {
                for (const Box& b : wiz().Boxes()) {
                    seen.push_back(b);
                    wiz().Answer(b, b.Has(IDOK) ? IDOK : b.Has(IDNO) ? IDNO : IDYES);
                }
                return wiz().Boxes().empty() && wiz().WaitButton(L"Beenden", 0);
            },
            timeoutMs);
        EXPECT_TRUE(ended) << "the install run did not end";
        return seen;
    }

    // The log opened by the text viewer (waits for the copy to land).
    std::string OpenedLog() {
        std::string bytes;
        Wizard::WaitFor([&] { return uidriver::ReadBytes(world().OpenedCopy(), &bytes) && !bytes.empty(); }, 10000);
        return bytes;
    }

    // The last press ends the program with exit code 0.
    void Finish() {
        ASSERT_TRUE(wiz().PressUntil([&] { return !wiz().Running(); }));
        DWORD code = 1;
        ASSERT_TRUE(wiz().WaitExit(15000, &code)) << "the program did not end";
        EXPECT_EQ(code, 0u);
    }
};

inline std::string Ansi(const std::wstring& s) { return uidriver::ToAnsi(s); }
inline std::string Utf8(const std::wstring& s) { return uidriver::ToUtf8(s); }

}  // namespace e2e
