// The creation step: where the application-data root is found, what is
// stored, the folders derived from it and the window's final size.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <memory>

#include "app/CommandLine.h"
#include "run/Variable.h"
#include "ui/main.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

const wchar_t kShellFolders[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const wchar_t kSettings[] = L"SOFTWARE\\Talvero\\CAD\\Settings";
const wchar_t kNoRoot[] =
    L"Applicationspfad wurde nicht gefunden!\r\rFühren Sie das Live-Update mit Administrationsrecht aus!";

// Points the machine's "Common AppData" elsewhere for one test.
class CommonAppDataOverride {
public:
    explicit CommonAppDataOverride(const std::wstring& value) {
        had_ = RegGet(HKEY_LOCAL_MACHINE, kShellFolders, L"Common AppData", &saved_);
        RegSet(HKEY_LOCAL_MACHINE, kShellFolders, L"Common AppData", value);
    }
    ~CommonAppDataOverride() {
        if (had_) RegSet(HKEY_LOCAL_MACHINE, kShellFolders, L"Common AppData", saved_);
    }

private:
    bool had_ = false;
    std::wstring saved_;
};

class Startup : public ::testing::Test {
protected:
    RegTreeGuard talvero_{HKEY_CURRENT_USER, L"SOFTWARE\\Talvero"};
    TempFolder system_;   // the machine's common application-data folder
    TempFolder other_;    // another candidate
    std::unique_ptr<TfrmMain> form_;

    void TearDown() override {
        form_.reset();
        ProcessMessages();
        MSG msg;
        while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
    }

    static void MakeDir(const std::wstring& path) { CreateDirectoryW(path.c_str(), nullptr); }
    static std::wstring NoSlash(std::wstring s) {
        if (!s.empty() && s.back() == L'\\') s.pop_back();
        return s;
    }

    void Start() {
        form_ = std::make_unique<TfrmMain>();
        ASSERT_TRUE(form_->Create(GetModuleHandleW(nullptr)));
    }

    std::wstring StoredRoot() {
        std::wstring v;
        return RegGet(HKEY_CURRENT_USER, kSettings, L"Common AppData", &v) ? v : L"<none>";
    }
};

TEST_F(Startup, SystemFolderWithTalveroIsTakenStoredAndDerived) {
    MakeDir(system_.path() + L"Talvero");
    CommonAppDataOverride machine(NoSlash(system_.path()));
    BoxAnswerer boxes;
    Start();
    EXPECT_TRUE(boxes.Seen().empty());
    EXPECT_FALSE(form_->TerminateRequested());
    EXPECT_EQ(form_->session().registryRoot, HKEY_CURRENT_USER);
    EXPECT_EQ(form_->session().appDataRoot, system_.path());
    EXPECT_EQ(StoredRoot(), system_.path()) << "stored with its trailing backslash";
    EXPECT_EQ(form_->session().proFolder, system_.path() + L"talvero\\Miradopro19\\");
    EXPECT_EQ(form_->session().stdFolder, system_.path() + L"talvero\\Mirados2019\\");
    EXPECT_EQ(form_->session().dataTempFolder, system_.path() + L"talvero\\temp\\");
    EXPECT_EQ(form_->session().workFolder, form_->session().dataTempFolder);
    EXPECT_TRUE(PathExists(form_->session().dataTempFolder));

    RECT outer, client;
    GetWindowRect(form_->Handle(), &outer);
    GetClientRect(form_->Handle(), &client);
    EXPECT_EQ(outer.right - outer.left, 470);
    EXPECT_EQ(client.bottom, 400);
}

TEST_F(Startup, SystemFolderWithoutTalveroStopsWithoutAskingElsewhere) {
    MakeDir(other_.path() + L"Talvero");
    RegSet(HKEY_CURRENT_USER, kSettings, L"Common AppData", other_.path());
    CommonAppDataOverride machine(NoSlash(system_.path()));
    BoxAnswerer boxes;
    Start();
    // No folder browser: the error, then the file error of the temp folder
    // that cannot be made below the unusable root.
    const auto seen = boxes.Seen();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].text, kNoRoot);
    EXPECT_EQ(seen[1].caption, L"Talvero Liveupdate");
    EXPECT_NE(seen[1].text, kNoRoot);
    EXPECT_TRUE(form_->TerminateRequested());
    EXPECT_EQ(form_->session().appDataRoot, system_.path());
    EXPECT_EQ(StoredRoot(), other_.path()) << "the stored root is not overwritten";
}

TEST_F(Startup, StoredRootIsUsedWhenTheSystemFolderIsMissing) {
    MakeDir(other_.path() + L"Talvero");
    RegSet(HKEY_CURRENT_USER, kSettings, L"Common AppData", other_.path());
    CommonAppDataOverride machine(system_.path() + L"fehlt");
    BoxAnswerer boxes;
    Start();
    EXPECT_TRUE(boxes.Seen().empty());
    EXPECT_EQ(form_->session().appDataRoot, other_.path());
    EXPECT_FALSE(form_->TerminateRequested());
}

TEST_F(Startup, DefaultFolderIsTriedAfterTheStoredRoot) {
    // Wine reports Windows 7 to this program, so the default is C:\ProgrammData\.
    const std::wstring fallback = L"C:\\ProgrammData\\";
    const bool existed = PathExists(fallback);
    MakeDir(fallback);
    MakeDir(fallback + L"Talvero");
    RegSet(HKEY_CURRENT_USER, kSettings, L"Common AppData", other_.path() + L"nirgends\\");
    CommonAppDataOverride machine(system_.path() + L"fehlt");
    BoxAnswerer boxes;
    Start();
    EXPECT_EQ(form_->session().appDataRoot, fallback);
    EXPECT_EQ(StoredRoot(), fallback);
    form_.reset();
    if (!existed) RemoveTree(fallback);
}

// A lambda would not do here: on i686 it converts only to a cdecl pointer,
// and the enumeration calls back with stdcall.
static BOOL CALLBACK FindTree(HWND h, LPARAM out) {
    wchar_t cls[64] = L"";
    GetClassNameW(h, cls, 64);
    if (_wcsicmp(cls, WC_TREEVIEWW) != 0) return TRUE;
    *reinterpret_cast<HWND*>(out) = h;
    return FALSE;
}

// The text of the selected item in a dialog's folder tree.
static std::wstring SelectedTreeItem(HWND dialog) {
    HWND tree = nullptr;
    EnumChildWindows(dialog, FindTree, reinterpret_cast<LPARAM>(&tree));
    if (!tree) return L"";
    TVITEMW item{};
    item.mask = TVIF_TEXT;
    item.hItem = TreeView_GetSelection(tree);
    wchar_t text[MAX_PATH] = L"";
    item.pszText = text;
    item.cchTextMax = MAX_PATH;
    if (!item.hItem || !TreeView_GetItem(tree, &item)) return L"";
    return text;
}

// The folder browser comes up preset to the current folder; whether the user
// confirms it or cancels, that folder (with a backslash) is the answer.
class FolderBrowser : public Startup, public ::testing::WithParamInterface<int> {};

TEST_P(FolderBrowser, AnswerBecomesTheRootWithABackslash) {
    RegSet(HKEY_CURRENT_USER, kSettings, L"Common AppData", L"C:\\nirgends\\");
    MakeDir(other_.path() + L"Talvero");
    CommonAppDataOverride machine(system_.path() + L"fehlt");
    wchar_t saved[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, saved);
    SetCurrentDirectoryW(NoSlash(other_.path()).c_str());
    BoxAnswerer boxes;
    boxes.Queue(GetParam());
    // Wine's browser comes up on the desktop and moves to the preset once
    // it has read the drives, or now and then not at all; the user answers
    // only once the preset folder shows, and picks it again where it does not.
    const std::wstring preset = NoSlash(other_.path());
    const std::wstring presetName = PathFindFileNameW(preset.c_str());
    int looks = 0;
    boxes.AnswerWhen([&](HWND box) {
        if (SelectedTreeItem(box) == presetName) return true;
        if (++looks % 25 == 0) SendMessageW(box, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(preset.c_str()));
        return false;
    });
    Start();
    SetCurrentDirectoryW(saved);
    const auto seen = boxes.Seen();
    ASSERT_EQ(seen.size(), 1u);
    // Wine's browser shows the prompt's line breaks as nothing; compare without them.
    bool prompt = false;
    for (std::wstring t : seen[0].statics) {
        t.erase(std::remove(t.begin(), t.end(), L'\r'), t.end());
        prompt = prompt || t == L"Wo befindet sich das Applicationsverzeichnis?Normalerweise: C:\\ProgrammData\\";
    }
    EXPECT_TRUE(prompt);
    EXPECT_EQ(form_->session().appDataRoot, other_.path());
    EXPECT_EQ(StoredRoot(), other_.path());
}

INSTANTIATE_TEST_SUITE_P(OkAndCancel, FolderBrowser, ::testing::Values(IDOK, IDCANCEL));

TEST_F(Startup, TempFolderThatCannotBeMadeShowsAFileErrorAndKeepsTheDesignSize) {
    MakeDir(system_.path() + L"Talvero");
    WriteFileBytes(system_.path() + L"Talvero\\temp", "a file where the folder belongs");
    CommonAppDataOverride machine(NoSlash(system_.path()));
    BoxAnswerer boxes;
    Start();
    const auto seen = boxes.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].caption, L"Talvero Liveupdate");
    EXPECT_FALSE(seen[0].text.empty());
    EXPECT_TRUE(form_->session().workFolder.empty());
    RECT client;
    GetClientRect(form_->Handle(), &client);
    EXPECT_EQ(client.right, 972);
    EXPECT_EQ(client.bottom, 663);
}

}  // namespace

// ---- the Windows version gate ----
// Wine reports the version set for a program name at its start, so each case
// runs this test program again as a child with the version set for it.

namespace {

const wchar_t kWineAppDefaults[] = L"Software\\Wine\\AppDefaults\\test_startup.exe";

bool IsGateChild() {
    wchar_t v[8];
    return GetEnvironmentVariableW(L"UPDATE_GATE_CHILD", v, 8) > 0;
}

DWORD RunChildWithVersion(const wchar_t* version, const char* filter) {
    RegTreeGuard appDefaults(HKEY_CURRENT_USER, kWineAppDefaults);
    RegSet(HKEY_CURRENT_USER, kWineAppDefaults, L"Version", version);
    return RunThisProgramAgain(filter, L"UPDATE_GATE_CHILD", L"1", 120000);
}

}  // namespace

TEST_F(Startup, VistaIsRefusedAfterTheRestOfTheCreationStep) {
    if (!IsGateChild()) {
        EXPECT_EQ(RunChildWithVersion(L"vista", "Startup.VistaIsRefusedAfterTheRestOfTheCreationStep"), 0u);
        return;
    }
    MakeDir(system_.path() + L"Talvero");
    CommonAppDataOverride machine(NoSlash(system_.path()));
    BoxAnswerer boxes;
    Start();
    const auto seen = boxes.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, L"Ihr Betriebssystem ist nicht für Mirado 2019 geeignet.");
    EXPECT_TRUE(form_->TerminateRequested());
    // The later steps still ran.
    EXPECT_EQ(form_->session().appDataRoot, system_.path());
    EXPECT_EQ(StoredRoot(), system_.path());
    EXPECT_EQ(form_->session().workFolder, system_.path() + L"talvero\\temp\\");
}

TEST_F(Startup, WindowsXpPassesWithItsOwnDefaultFolder) {
    if (!IsGateChild()) {
        EXPECT_EQ(RunChildWithVersion(L"winxp", "Startup.WindowsXpPassesWithItsOwnDefaultFolder"), 0u);
        return;
    }
    const std::wstring xpDefault = L"C:\\Dokumente und Einstellungen\\All Users\\Anwendungsdaten\\";
    const bool existed = PathExists(L"C:\\Dokumente und Einstellungen");
    CreateDirectoryW(L"C:\\Dokumente und Einstellungen", nullptr);
    CreateDirectoryW(L"C:\\Dokumente und Einstellungen\\All Users", nullptr);
    MakeDir(xpDefault);
    MakeDir(xpDefault + L"Talvero");
    CommonAppDataOverride machine(system_.path() + L"fehlt");
    BoxAnswerer boxes;
    Start();
    EXPECT_TRUE(boxes.Seen().empty());
    EXPECT_FALSE(form_->TerminateRequested());
    EXPECT_EQ(form_->session().appDataRoot, xpDefault);
    form_.reset();
    if (!existed) RemoveTree(L"C:\\Dokumente und Einstellungen");
}

// The command line: nothing opens the wizard; "/unattended" in any case
// runs without a window; "/?" asks for the usage; anything else is named,
// and next to "/unattended" never leads to a box.
TEST(CommandLineTest, SwitchesAndWhatIsNotUnderstood) {
    using Mode = CommandLine::Mode;
    const struct {
        const wchar_t* line;
        Mode mode;
        const wchar_t* unknown;
        bool unattended;
    } rows[] = {
        {L"update.exe", Mode::Wizard, L"", false},
        {L"\"C:\\Program Files\\update.exe\"   ", Mode::Wizard, L"", false},
        {L"update.exe /UNATTENDED", Mode::Unattended, L"", true},
        {L"\"C:\\a b\\update.exe\" /unattended", Mode::Unattended, L"", true},
        {L"update.exe /?", Mode::Usage, L"", false},
        {L"update.exe /sofort", Mode::NotUnderstood, L"/sofort", false},
        {L"update.exe /unattended \"C:\\x y\"", Mode::NotUnderstood, L"C:\\x y", true},
        {L"update.exe /unattended /?", Mode::NotUnderstood, L"/?", true},
        {L"update.exe unattended", Mode::NotUnderstood, L"unattended", false},
    };
    for (const auto& row : rows) {
        const CommandLine c = ParseCommandLine(row.line);
        EXPECT_EQ(row.mode, c.mode) << Narrow(row.line);
        EXPECT_EQ(row.unknown, c.unknown) << Narrow(row.line);
        EXPECT_EQ(row.unattended, c.unattended) << Narrow(row.line);
    }
    EXPECT_EQ(0u, UsageText(L"/sofort").find(L"Unbekannte Angabe in der Befehlszeile: /sofort\r\n"));
    EXPECT_NE(std::wstring::npos, UsageText(L"").find(L"/unattended"));
}
