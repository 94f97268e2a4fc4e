// INI value with stored default, folder chains and the file boundary helpers.
#include <gtest/gtest.h>

#include "sys/Dateien.h"
#include "sys/Ini.h"
#include "run/Variable.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

std::string FileText(const std::wstring& path) {
    std::string s = "<missing>";
    ReadFileBytes(path, &s);
    return s;
}

TEST(IniValue, AbsentKeysGetTheDefaultPresentOnesAreLeftAlone) {
    TempFolder t;
    const std::wstring cfg = t.path() + L"norvix4.cfg";
    EXPECT_EQ(ReadIniValueOrInit(L"Path", L"Catalog_Qon5", L"", cfg), L"");
    const std::string created = FileText(cfg);
    EXPECT_NE(created.find("[Path]"), std::string::npos) << created;
    EXPECT_NE(created.find("Catalog_Qon5="), std::string::npos) << created;

    // Present but empty: nothing is written, whatever the default.
    EXPECT_EQ(ReadIniValueOrInit(L"Path", L"Catalog_Qon5", L"C:\\Kat\\", cfg), L"");
    EXPECT_EQ(FileText(cfg), created);

    WriteFileBytes(cfg, "[Path]\r\nCatalog_QonPage=keinwert\r\nCatalog_Qon5=D:\\Q\\\r\n");
    EXPECT_EQ(ReadIniValueOrInit(L"Path", L"Catalog_QonPage", L"C:\\Seite\\", cfg), L"C:\\Seite\\");
    EXPECT_EQ(ReadIniValueOrInit(L"Path", L"Catalog_QonPage", L"other", cfg), L"C:\\Seite\\");
    EXPECT_EQ(ReadIniValueOrInit(L"path", L"catalog_qon5", L"other", cfg), L"D:\\Q\\");
}

TEST(IniValue, UnwritableFileNamesItInTheError) {
    TempFolder t;
    const std::wstring cfg = t.path() + L"fehlt\\norvix4.cfg";
    try {
        ReadIniValueOrInit(L"Path", L"Catalog_Qon5", L"", cfg);
        ADD_FAILURE() << "no folder, no file";
    } catch (const UpdateError& e) {
        EXPECT_EQ(e.message(), L"In " + cfg + L" kann nicht geschrieben werden");
    }
}

TEST(FolderChain, CreatesEachMissingLevelAndStopsAtTheFirstFailure) {
    TempFolder t;
    EXPECT_TRUE(ForceFolderChain(t.path() + L"A\\B"));
    EXPECT_TRUE(FolderExists(t.path() + L"A\\B\\"));
    EXPECT_TRUE(ForceFolderChain(t.path() + L"A\\B\\C\\"));
    EXPECT_TRUE(FolderExists(t.path() + L"A\\B\\C"));
    EXPECT_TRUE(ForceFolderChain(L"C:\\"));

    EXPECT_FALSE(ForceFolderChain(t.path() + L"X\\bad|name\\Y\\"));
    EXPECT_TRUE(FolderExists(t.path() + L"X\\")) << "levels made before the failure stay";
    WriteFileBytes(t.path() + L"Datei", "x");
    EXPECT_FALSE(ForceFolderChain(t.path() + L"Datei\\Unter\\"));
    // Not a drive path: nothing is made relative to the current folder.
    EXPECT_FALSE(ForceFolderChain(L"qon_rel\\sub\\"));
    EXPECT_FALSE(ForceFolderChain(L""));
    EXPECT_FALSE(PathExists(L"qon_rel"));
}

TEST(FolderChain, FolderAndFileTestsTellTheKindsApart) {
    TempFolder t;
    WriteFileBytes(t.path() + L"f.txt", "x");
    EXPECT_TRUE(FolderExists(t.path()));
    EXPECT_FALSE(FolderExists(t.path() + L"f.txt"));
    EXPECT_FALSE(FolderExists(L""));
    EXPECT_TRUE(FileExists(t.path() + L"f.txt"));
    EXPECT_FALSE(FileExists(t.path()));
    EXPECT_FALSE(FileExists(t.path() + L"nix.txt"));
}

TEST(FileBoundary, PathPartsErrorTextsAndAnsiRoundTrip) {
    EXPECT_EQ(ExtractFilePath(L"C:\\Vorlagen\\norm.dwt"), L"C:\\Vorlagen\\");
    EXPECT_EQ(ExtractFilePath(L"C:norm.dwt"), L"C:");
    EXPECT_EQ(ExtractFilePath(L"norm.dwt"), L"");
    EXPECT_EQ(IoErrorText(ERROR_ACCESS_DENIED), L"Dateizugriff verweigert");
    EXPECT_EQ(IoErrorText(1234), L"E/A-Fehler 1234");
    try {
        RaiseIoError(ERROR_FILE_NOT_FOUND);
    } catch (const UpdateError& e) {
        EXPECT_EQ(e.message(), L"Datei nicht gefunden");
    }
    const std::wstring text = L"Größe: 5 €";
    EXPECT_EQ(FromAnsi(ToAnsi(text)), text);
    if (GetACP() == 1252) {
        EXPECT_EQ(ToAnsi(L"ö€"), "\xF6\x80");
    }
}

}  // namespace
