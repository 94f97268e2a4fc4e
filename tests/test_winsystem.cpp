// Windows facts: well-known folders (from scratch registry roots), the
// version naming rule, the file-type suffix, and the system DLLs loaded on
// first use.
#include <gtest/gtest.h>

#include "sys/LazyDlls.h"
#include "sys/WinSystem.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

const std::wstring kScratch = L"Software\\utest_winsystem";
const std::wstring kShellFolders = L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const std::wstring kVersionKey = L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

class SpecialFolderTest : public ::testing::Test {
protected:
    RootsRedirect roots_{kScratch};
};

// Each value holds its own index, so a misspelt or shifted name shows up.
TEST_F(SpecialFolderTest, EveryRegistryIndexReadsItsOwnValueWithOneBackslash) {
    const wchar_t* user[] = {L"Desktop", L"Start Menu", L"Programs",  L"Startup",  L"Personal",  L"AppData",
                             L"Fonts",   L"SendTo",     L"Recent",    L"Favorites", L"Cache",    L"Cookies",
                             L"History", L"NetHood",    L"PrintHood", L"Templates", L"Local AppData"};
    const wchar_t* machine[] = {L"ProgramFilesDir", L"CommonFilesDir", L"ConfigPath",
                                L"DevicePath",      L"MediaPath",      L"WallPaperDir"};
    for (int i = 1; i < 17; ++i) RegSet(HKEY_CURRENT_USER, kShellFolders, user[i], L"C:\\" + std::to_wstring(i));
    for (int i = 0; i < 6; ++i) RegSet(HKEY_LOCAL_MACHINE, kVersionKey, machine[i], L"C:\\" + std::to_wstring(21 + i));
    RegSet(HKEY_LOCAL_MACHINE, kVersionKey, L"ProgramFilesDir", L"C:\\21\\");
    RegSet(HKEY_LOCAL_MACHINE, kVersionKey, L"WallPaperDir", L"%SystemRoot%\\26", REG_EXPAND_SZ);
    RegSet(HKEY_LOCAL_MACHINE, kShellFolders, L"Common AppData", L"C:\\ProgramData");
    for (int i : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 21, 22, 23, 24, 25})
        EXPECT_EQ(GetSpecialFolder(static_cast<uint8_t>(i)), L"C:\\" + std::to_wstring(i) + L"\\");
    EXPECT_EQ(GetSpecialFolder(26), L"%SystemRoot%\\26\\") << "not expanded";
    EXPECT_EQ(GetSpecialFolder(27), L"C:\\ProgramData\\");
    EXPECT_EQ(GetSpecialFolder(0), L"") << "a missing value stays empty";
    EXPECT_EQ(GetSpecialFolder(28), L"");
    EXPECT_EQ(GetSpecialFolder(255), L"");
}

TEST_F(SpecialFolderTest, MachineKeysThatCannotBeOpenedGiveEmptyTexts) {
    // A handle to a key deleted behind its back refuses every open.
    RegDeleteKeyW(HKEY_CURRENT_USER, (kScratch + L"\\machine").c_str());
    EXPECT_EQ(GetSpecialFolder(27), L"");
    EXPECT_EQ(GetSpecialFolder(21), L"");
}

TEST(SystemFolders, ComeFromTheSystemCallsWithOneBackslash) {
    wchar_t sys[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryW(sys, MAX_PATH), 2u);
    EXPECT_EQ(GetSpecialFolder(20), std::wstring(sys, 2) + L"\\");
    for (uint8_t i : {17, 18, 19}) {
        const std::wstring s = GetSpecialFolder(i);
        ASSERT_GE(s.size(), 4u) << int(i);
        EXPECT_EQ(s.substr(1, 2), L":\\") << Narrow(s);
        EXPECT_EQ(s.back(), L'\\');
        EXPECT_NE(s[s.size() - 2], L'\\') << Narrow(s);
    }
}

TEST(VersionName, FollowsTheNamingRule) {
    struct Case { DWORD platform, major, minor; const wchar_t* name; };
    const Case cases[] = {
        {2, 4, 0, L"Windows NT 4"}, {2, 3, 51, L"Windows NT 3"}, {2, 5, 0, L"Windows 2000"},
        {2, 5, 1, L"Windows XP"},   {2, 5, 2, L"Windows XP"},    {2, 6, 0, L"Windows Vista"},
        {2, 6, 1, L"Windows 7"},    {2, 6, 2, L"Windows 8"},     {2, 6, 3, L"Win32s"},
        {2, 10, 0, L"Windows 10"},  {2, 10, 1, L"Win32s"},       {2, 11, 0, L"Win32s"},
        {1, 4, 0, L"Windows 95"},   {1, 3, 95, L"Windows 95"},   {1, 4, 3, L"Windows 98"},    {1, 4, 10, L"Windows 98"},
        {1, 4, 90, L"Windows ME"},  {0, 3, 10, L"Win32s"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WindowsVersionName(c.platform, c.major, c.minor), c.name)
            << c.platform << " " << c.major << "." << c.minor;
    const std::wstring actual = GetWindowsVersionName();
    EXPECT_TRUE(actual.rfind(L"Windows ", 0) == 0 || actual == L"Win32s") << Narrow(actual);
}

TEST(FileTypeSuffix, LastThreeCharactersWithAsciiLowerCase) {
    EXPECT_EQ(FileTypeSuffix(L"UPDATE.ZIP"), L"zip");
    EXPECT_EQ(FileTypeSuffix(L"Symbole.Zip"), L"zip");
    EXPECT_EQ(FileTypeSuffix(L"AB"), L"ab");
    EXPECT_EQ(FileTypeSuffix(L""), L"");
    EXPECT_EQ(FileTypeSuffix(L"liste.TÄX"), L"tÄx");
}

}  // namespace

// The DLLs the program loads on first use: every function it takes from
// them is found under its name, and one call into each DLL comes back with
// the system's answer. A pointer of the wrong calling convention or
// parameter list would unbalance the stack of the 32-bit build here.
TEST(LazyDlls, EveryFunctionIsFoundAndEachDllAnswers) {
    std::wstring missing;
    EXPECT_TRUE(lazy::ResolveAll(&missing)) << missing;

    const HRESULT com = lazy::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    EXPECT_TRUE(SUCCEEDED(com)) << std::hex << com;
    if (SUCCEEDED(com)) lazy::CoUninitialize();

    const USHORT desktop = 0;  // the empty item list names the desktop
    wchar_t path[MAX_PATH] = L"";
    EXPECT_TRUE(lazy::SHGetPathFromIDListW(reinterpret_cast<PCIDLIST_ABSOLUTE>(&desktop), path));
    EXPECT_NE(std::wstring(path), L"");

    HINTERNET session = lazy::InternetOpenW(L"utest", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    EXPECT_NE(session, nullptr);
    if (session) {
        EXPECT_TRUE(lazy::InternetCloseHandle(session));
    }

    BYTE decoded[8] = {};
    DWORD size = sizeof decoded;
    EXPECT_TRUE(lazy::CryptStringToBinaryA("QUJD", 4, CRYPT_STRING_BASE64, decoded, &size, nullptr, nullptr));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(decoded), size), "ABC");

    // urlmon copies a local file through its file: protocol.
    TempFolder dir;
    const std::wstring source = dir.path() + L"quelle.txt", copy = dir.path() + L"kopie.txt";
    WriteFileBytes(source, "Inhalt");
    EXPECT_EQ(lazy::URLDownloadToFileW(nullptr, (L"file:///" + source).c_str(), copy.c_str(), 0, nullptr), S_OK);
    std::string copied;
    EXPECT_TRUE(ReadFileBytes(copy, &copied));
    EXPECT_EQ(copied, "Inhalt");

    // The Restart Manager opens a session; it names nobody for a file no
    // one holds.
    DWORD rm = 0;
    WCHAR key[CCH_RM_SESSION_KEY + 1] = L"";
    EXPECT_EQ(lazy::RmStartSession(&rm, 0, key), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(lazy::RmEndSession(rm), static_cast<DWORD>(ERROR_SUCCESS));
}
