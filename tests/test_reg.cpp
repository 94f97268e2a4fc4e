// Settings store: the Rootkey rule, reads that fill in defaults, and the
// errors of a root that cannot be written. HKEY_CURRENT_USER and
// HKEY_LOCAL_MACHINE are redirected into scratch keys so the shared prefix
// keeps its real settings.
#include <gtest/gtest.h>
#include <shlwapi.h>

#include "sys/Reg.h"
#include "sys/UpdateError.h"
#include "run/Variable.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

const std::wstring kScratch = L"Software\\utest_reg";

class RegTest : public ::testing::Test {
protected:
    std::wstring Stored(HKEY root, const std::wstring& key, const std::wstring& name) {
        std::wstring v = L"<missing>";
        RegGet(root, key, name, &v);
        return v;
    }

    RootsRedirect roots_{kScratch};
};

TEST_F(RegTest, RootkeyRuleReadsRepairsAndOnlyTouchesTheUserRoot) {
    EXPECT_EQ(DetermineRegistryRoot(), HKEY_CURRENT_USER);
    EXPECT_FALSE(RegHasKey(HKEY_CURRENT_USER, kSettingsKey)) << "nothing written without the key";

    struct Case { const wchar_t* stored; HKEY root; const wchar_t* after; };
    const Case cases[] = {{L"machine", HKEY_LOCAL_MACHINE, L"machine"}, {L"MaChInE", HKEY_LOCAL_MACHINE, L"MaChInE"},
                          {L"user", HKEY_CURRENT_USER, L"user"},        {L" USER", HKEY_CURRENT_USER, L"USER"},
                          {L"", HKEY_CURRENT_USER, L"USER"},            {L"MACHINE ", HKEY_CURRENT_USER, L"USER"}};
    for (const Case& c : cases) {
        RegSet(HKEY_CURRENT_USER, kSettingsKey, L"Rootkey", c.stored);
        EXPECT_EQ(DetermineRegistryRoot(), c.root) << Narrow(c.stored);
        EXPECT_EQ(Stored(HKEY_CURRENT_USER, kSettingsKey, L"Rootkey"), c.after);
    }
    RegSet(HKEY_CURRENT_USER, kSettingsKey, L"Firma", L"x");
    SHDeleteValueW(HKEY_CURRENT_USER, L"SOFTWARE\\Talvero\\CAD\\Settings", L"Rootkey");
    EXPECT_EQ(DetermineRegistryRoot(), HKEY_CURRENT_USER);
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, kSettingsKey, L"Rootkey"), L"USER");
    EXPECT_FALSE(RegHasKey(HKEY_LOCAL_MACHINE, kSettingsKey)) << "Rootkey never lives under the machine root";
}

TEST_F(RegTest, ReadOrInitStoresTheDefaultForMissingAndEmptyValues) {
    RegSet(HKEY_LOCAL_MACHINE, kSettingsKey, L"FTP Port", L"");
    EXPECT_EQ(RegReadStringOrInit(HKEY_LOCAL_MACHINE, kSettingsKey, L"ftp port", L"21"), L"21");
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, kSettingsKey, L"FTP Port"), L"21");
    EXPECT_EQ(RegReadStringOrInit(HKEY_LOCAL_MACHINE, kSettingsKey, L"FTP Port", L"99"), L"21") << "a stored value wins";

    const std::wstring fresh = L"\\SOFTWARE\\Talvero\\Mirado19\\Settings";
    EXPECT_EQ(RegReadStringOrInit(HKEY_LOCAL_MACHINE, fresh, L"Profiles Dir", L""), L"");
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, fresh, L"Profiles Dir"), L"") << "key and empty value created";
    EXPECT_FALSE(RegHasKey(HKEY_CURRENT_USER, fresh)) << "only the chosen root is written";
}

TEST_F(RegTest, ReadStringCreatesNothingAndChecksTheValueKind) {
    const std::wstring key = L"\\SOFTWARE\\Talvero\\Mirados19\\Settings";
    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, key, L"Symbol Dir"), L"");
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, key));
    RegSet(HKEY_CURRENT_USER, key, L"Symbol Dir", L"C:\\U\\");
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, key)) << "the other root does not count";

    RegSet(HKEY_LOCAL_MACHINE, key, L"Symbol Dir", L"%TEMP%\\Sym\\", REG_EXPAND_SZ);
    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, key, L"symbol dir"), L"%TEMP%\\Sym\\") << "returned as stored";
    // Written by hand without the terminating zero.
    const wchar_t raw[] = {L'a', L'b'};
    HKEY h = nullptr;
    RegOpenKeyExW(roots_.machine(), key.substr(1).c_str(), 0, KEY_ALL_ACCESS, &h);
    RegSetValueExW(h, L"Raw", 0, REG_SZ, reinterpret_cast<const BYTE*>(raw), sizeof(raw));
    const DWORD port = 21;
    RegSetValueExW(h, L"Port", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&port), sizeof(port));
    RegCloseKey(h);
    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, key, L"Raw"), L"ab");
    try {
        RegReadStringOrInit(HKEY_LOCAL_MACHINE, key, L"Port", L"21");
        ADD_FAILURE() << "a number value is not a setting text";
    } catch (const UpdateError& e) {
        EXPECT_EQ(e.message(), L"Ungültiger Datentyp für 'Port'");
    }
}

TEST_F(RegTest, RootThatCannotBeWrittenRaisesTheCreateKeyError) {
    // A handle to a key deleted behind its back refuses every create.
    RegDeleteKeyW(HKEY_CURRENT_USER, (kScratch + L"\\machine").c_str());
    const std::wstring key = L"\\SOFTWARE\\Talvero\\CAD\\Settings";
    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, key, L"Firma"), L"");
    for (int i = 0; i < 2; ++i) {
        try {
            i == 0 ? RegWriteString(HKEY_LOCAL_MACHINE, key, L"Firma", L"x") : (void)RegReadStringOrInit(HKEY_LOCAL_MACHINE, key, L"FTP Port", L"21");
            ADD_FAILURE() << "write " << i << " must fail";
        } catch (const UpdateError& e) {
            EXPECT_EQ(e.message(), L"Erzeugung von Schlüssel \\SOFTWARE\\Talvero\\CAD\\Settings misslungen");
        }
    }
}

}  // namespace
