// Product folder lookups and the target folder of a descriptor file entry,
// against a real (Wine) registry and real folders.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sys/Reg.h"
#include "run/Variable.h"
#include "run/Descriptor.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

const std::wstring kCad = L"\\SOFTWARE\\Talvero\\CAD\\Settings";
const std::wstring kM19 = L"\\SOFTWARE\\Talvero\\Mirado19\\Settings";
const std::wstring kPro = L"\\SOFTWARE\\Talvero\\Miradopro19\\Settings";
const std::wstring kS19 = L"\\SOFTWARE\\Talvero\\Mirados19\\Settings";

void MakeFolders(const std::wstring& path) {
    for (size_t i = 3; i <= path.size(); ++i)
        if (i == path.size() || path[i] == L'\\') CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
}

std::wstring Stored(const std::wstring& key, const std::wstring& name) {
    std::wstring v = L"<missing>";
    RegGet(HKEY_CURRENT_USER, key, name, &v);
    return v;
}

class FolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        s_.registryRoot = HKEY_CURRENT_USER;
        s_.dataTempFolder = tmp_.path() + L"temp\\";
        s_.proFolder = tmp_.path() + L"pro data\\";
        s_.stdFolder = tmp_.path() + L"std data\\";
        MakeFolders(s_.dataTempFolder);
    }
    std::wstring Folder(const std::wstring& relative, bool create = true) {
        const std::wstring p = tmp_.path() + relative;
        if (create) MakeFolders(p);
        return p;
    }

    RegTreeGuard guard_{HKEY_CURRENT_USER, L"\\SOFTWARE\\Talvero"};
    TempFolder tmp_;
    Session s_;
};

TEST_F(FolderTest, FreshRegistryStoresEachDefault) {
    const std::wstring prog = ProgramFolder();
    ASSERT_FALSE(prog.empty());
    EXPECT_EQ(L'\\', prog.back());

    EXPECT_EQ(prog, GetMirado19Folder(s_));
    EXPECT_EQ(prog, Stored(kCad, L"Mirado19 Dir"));
    EXPECT_EQ(L"", GetMiradopro19Folder(s_));
    EXPECT_EQ(L"", Stored(kCad, L"Miradopro19 Dir"));
    EXPECT_EQ(prog, GetMirados19Folder(s_));
    EXPECT_EQ(prog, Stored(kCad, L"Mirados19 Dir"));
    EXPECT_EQ(prog, GetNorvix19Folder(s_));
    EXPECT_EQ(prog, Stored(kCad, L"norvix19 Dir"));

    EXPECT_EQ(s_.dataTempFolder + L"Profiles\\qon_schema\\Symbole\\", GetSymbolFolder(s_));
    EXPECT_EQ(s_.dataTempFolder + L"Profiles\\qon_schema\\Symbole\\", Stored(kS19, L"Symbol Dir"));
    // The stored template default names a folder that is not there.
    EXPECT_EQ(s_.dataTempFolder + L"template\\", GetTemplateFolder(s_));
    EXPECT_EQ(s_.dataTempFolder + L"Profiles\\qon_schema\\template\\", Stored(kS19, L"Vorlage Dir"));
}

TEST_F(FolderTest, ProfilesAndIecReadersShareOneValue) {
    // Profiles reader first: it stores an empty value and falls back to the
    // data folder's "Profiles\" when that is there.
    EXPECT_EQ(L"", GetMirado19ProfilesFolder(s_));
    EXPECT_EQ(L"", Stored(kM19, L"Profiles Dir"));
    const std::wstring shared = Folder(L"temp\\Profiles\\");
    EXPECT_EQ(shared, GetMirado19ProfilesFolder(s_));
    EXPECT_EQ(shared, GetMiradopro19ProfilesFolder(s_));
    EXPECT_EQ(L"", Stored(kPro, L"Profiles Dir"));

    // The stored empty value counts as missing for the IEC reader.
    EXPECT_EQ(ProgramFolder() + L"qon_iec\\", GetMirado19IecFolder(s_));
    EXPECT_EQ(ProgramFolder(), Stored(kM19, L"Profiles Dir"));

    // A registered folder is used as stored when it exists ...
    const std::wstring own = Folder(L"pro profiles\\");
    RegSet(HKEY_CURRENT_USER, kPro, L"Profiles Dir", own);
    EXPECT_EQ(own, GetMiradopro19ProfilesFolder(s_));
    EXPECT_EQ(own + L"qon_iec\\", GetMiradopro19IecFolder(s_));
    // ... and replaced by the shared one when it does not.
    RegSet(HKEY_CURRENT_USER, kPro, L"Profiles Dir", tmp_.path() + L"gone\\");
    EXPECT_EQ(shared, GetMiradopro19ProfilesFolder(s_));
    RemoveTree(shared);
    EXPECT_EQ(L"", GetMiradopro19ProfilesFolder(s_));
}

TEST_F(FolderTest, TemplateFolderIsTheFolderPartOfTheValue) {
    const std::wstring vorlagen = Folder(L"Vorlagen\\");
    RegSet(HKEY_CURRENT_USER, kS19, L"Vorlage Dir", vorlagen + L"norm.dwt");
    EXPECT_EQ(vorlagen, GetTemplateFolder(s_));

    // Without its trailing backslash a folder reads as a file: its parent
    // is what gets tested.
    Folder(L"Vorlagen\\Sub\\");
    RegSet(HKEY_CURRENT_USER, kS19, L"Vorlage Dir", vorlagen + L"Sub");
    EXPECT_EQ(vorlagen, GetTemplateFolder(s_));
    RegSet(HKEY_CURRENT_USER, kS19, L"Vorlage Dir", tmp_.path() + L"nowhere\\Sub");
    EXPECT_EQ(s_.dataTempFolder + L"template\\", GetTemplateFolder(s_));
    RegSet(HKEY_CURRENT_USER, kS19, L"Vorlage Dir", L"norm.dwt");
    EXPECT_EQ(s_.dataTempFolder + L"template\\", GetTemplateFolder(s_));
}

TEST_F(FolderTest, MenuFolderIsBesideTheProgramFolder) {
    const std::wstring m19 = Folder(L"Programme\\Mirado19\\");
    const std::wstring s19 = Folder(L"Andere\\Mirados19\\");
    RegSet(HKEY_CURRENT_USER, kCad, L"Mirado19 Dir", m19);
    RegSet(HKEY_CURRENT_USER, kCad, L"Mirados19 Dir", s19);
    EXPECT_EQ(tmp_.path() + L"Programme\\AutoCADMenu\\", GetMenuFolder(s_));
    RegSet(HKEY_CURRENT_USER, kCad, L"Mirado19 Dir", tmp_.path() + L"Programme\\Mirado19");
    EXPECT_EQ(tmp_.path() + L"Programme\\AutoCADMenu\\", GetMenuFolder(s_));

    // The standard product not on disk: the s product's folder decides.
    RegSet(HKEY_CURRENT_USER, kCad, L"Mirado19 Dir", tmp_.path() + L"Programme\\Fehlt\\");
    EXPECT_EQ(tmp_.path() + L"Andere\\AutoCADMenu\\", GetMenuFolder(s_));
    RegSet(HKEY_CURRENT_USER, kCad, L"Mirados19 Dir", L"X");
    EXPECT_EQ(L"AutoCADMenu\\", GetMenuFolder(s_));
}

// Every row of the four product tables, with all folders registered.
class TargetFolderTest : public FolderTest {
protected:
    void SetUp() override {
        FolderTest::SetUp();
        m19 = Folder(L"m19\\Mirado19\\");
        pro = Folder(L"pro\\");
        s19 = Folder(L"s19\\");
        nvx = Folder(L"nvx\\");
        m19Prof = Folder(L"m19 profiles\\");
        proProf = Folder(L"pro profiles\\");
        sym = Folder(L"sym\\", false);
        vorl = Folder(L"vorl\\");
        RegSet(HKEY_CURRENT_USER, kCad, L"Mirado19 Dir", m19);
        RegSet(HKEY_CURRENT_USER, kCad, L"Miradopro19 Dir", pro);
        RegSet(HKEY_CURRENT_USER, kCad, L"Mirados19 Dir", s19);
        RegSet(HKEY_CURRENT_USER, kCad, L"norvix19 Dir", nvx);
        RegSet(HKEY_CURRENT_USER, kM19, L"Profiles Dir", m19Prof);
        RegSet(HKEY_CURRENT_USER, kPro, L"Profiles Dir", proProf);
        RegSet(HKEY_CURRENT_USER, kS19, L"Symbol Dir", sym);
        RegSet(HKEY_CURRENT_USER, kS19, L"Vorlage Dir", vorl + L"norm.dwt");
        WriteFileBytes(nvx + L"norvix4.cfg", "[Path]\r\nCatalog_Qon5=D:\\Q5\\\r\nCatalog_QonPage=D:\\QP\\\r\n");
    }
    std::wstring m19, pro, s19, nvx, m19Prof, proProf, sym, vorl;
};

struct Row {
    const wchar_t* product;
    const wchar_t* path;
    std::wstring expected;
};

std::wstring Lower(std::wstring s) {
    CharLowerBuffW(&s[0], static_cast<DWORD>(s.size()));
    return s;
}

TEST_F(TargetFolderTest, EveryKeywordOfEveryProduct) {
    const std::vector<Row> rows = {
        {L"MIRADO19", L"", m19},
        {L"MIRADO19", L"PROFIL", m19Prof + L"qon_iec\\"},
        {L"MIRADO19", L"PROFILES", m19Prof},
        {L"MIRADO19", L"SYMBOLE", m19Prof + L"qon_iec\\Symbole\\"},
        {L"MIRADO19", L"TEMPLATE", m19Prof + L"qon_iec\\Template\\"},
        {L"MIRADO19", L"BMP", m19Prof + L"qon_iec\\BMP\\"},
        {L"MIRADO19", L"LAYERS", m19Prof + L"qon_iec\\Layers\\"},
        {L"MIRADO19", L"DAT", s_.dataTempFolder + L"Dat\\"},
        {L"MIRADO19", L"HELP", s_.dataTempFolder + L"Help\\"},
        {L"MIRADO19", L"DIALOG", s_.dataTempFolder + L"dialog\\"},
        {L"MIRADO19", L"APPDATA", s_.dataTempFolder},
        {L"MIRADO19", L"MENU", tmp_.path() + L"m19\\AutoCADMenu\\"},
        {L"MIRADO19", L"X64", L"X64"},

        {L"MIRADOPRO19", L"", pro},
        {L"MIRADOPRO19", L"X86", pro + L"X86\\"},
        {L"MIRADOPRO19", L"X64", pro + L"X64\\"},
        {L"MIRADOPRO19", L"PROFIL", proProf + L"qon_iec\\"},
        {L"MIRADOPRO19", L"PROFILES", proProf},
        {L"MIRADOPRO19", L"SYMBOLE", proProf + L"qon_iec\\Symbole\\"},
        {L"MIRADOPRO19", L"TEMPLATE", proProf + L"qon_iec\\Template\\"},
        {L"MIRADOPRO19", L"BMP", proProf + L"qon_iec\\BMP\\"},
        {L"MIRADOPRO19", L"LAYERS", proProf + L"qon_iec\\Layers\\"},
        {L"MIRADOPRO19", L"DAT", s_.proFolder + L"Dat\\"},
        {L"MIRADOPRO19", L"HELP", s_.proFolder + L"Help\\"},
        {L"MIRADOPRO19", L"DIALOG", s_.proFolder + L"dialog\\"},
        {L"MIRADOPRO19", L"APPDATA", s_.proFolder},
        {L"MIRADOPRO19", L"MENU", L"MENU"},

        {L"MIRADOS19", L"", s19},
        {L"MIRADOS19", L"SYMBOLE", sym},
        {L"MIRADOS19", L"BMP", s19 + L"BMP\\"},
        {L"MIRADOS19", L"TEMPLATE", vorl},
        {L"MIRADOS19", L"HELP", s19 + L"Help\\"},
        {L"MIRADOS19", L"DIALOG", s19 + L"dialog\\"},
        {L"MIRADOS19", L"APPDATA", s_.stdFolder},
        {L"MIRADOS19", L"LAYERS", L"LAYERS"},
        {L"MIRADOS19", L"DAT", L"DAT"},

        {L"NORVIX19", L"", nvx},
        {L"NORVIX19", L"BMP", nvx + L"BMP\\"},
        {L"NORVIX19", L"Catalog_Qon5", L"D:\\Q5\\"},
        {L"NORVIX19", L"Catalog_Qon5_Block", L"D:\\Q5\\Block\\"},
        {L"NORVIX19", L"Catalog_Qon5_Device", L"D:\\Q5\\Device\\"},
        {L"NORVIX19", L"Catalog_Qon5_Macro", L"D:\\Q5\\Macro\\"},
        {L"NORVIX19", L"Catalog_Qon5_WMF", L"D:\\Q5\\WMF\\"},
        {L"NORVIX19", L"Catalog_QonPage", L"D:\\QP\\"},
        {L"NORVIX19", L"Catalog_QonPage_Block", L"D:\\QP\\Block\\"},
        {L"NORVIX19", L"Catalog_QonPage_Device", L"D:\\QP\\Device\\"},
        {L"NORVIX19", L"Catalog_QonPage_Macro", L"D:\\QP\\Macro\\"},
        {L"NORVIX19", L"Catalog_QonPage_WMF", L"D:\\QP\\WMF\\"},
        {L"NORVIX19", L"SYMBOLE", L"SYMBOLE"},

        // No table: the value itself, in upper case; empty stays empty.
        {L"AUTOCAD", L"c:\\Acad\\Menu\\", L"C:\\ACAD\\MENU\\"},
        {L"AUTOCAD", L"", L""},
        {L"MIRADOPROII", L"SYMBOLE", L"SYMBOLE"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(Narrow(std::wstring(r.product) + L" / " + r.path));
        EXPECT_EQ(r.expected, ResolveTargetFolder(s_, r.product, r.path));
        EXPECT_EQ(r.expected, ResolveTargetFolder(s_, r.product, Lower(r.path)));
    }
    // The install run upper-cases "Prg" itself, but a lower-case product
    // key must not fall through to the literal rule either.
    EXPECT_EQ(m19, ResolveTargetFolder(s_, L"mirado19", L""));
    EXPECT_EQ(pro + L"X64\\", ResolveTargetFolder(s_, L"Miradopro19", L"x64"));
}

TEST_F(TargetFolderTest, LookupsAreMadeAfreshForEveryEntry) {
    EXPECT_EQ(m19, ResolveTargetFolder(s_, L"MIRADO19", L""));
    const std::wstring moved = Folder(L"moved\\");
    RegSet(HKEY_CURRENT_USER, kCad, L"Mirado19 Dir", moved);
    EXPECT_EQ(moved, ResolveTargetFolder(s_, L"MIRADO19", L""));

    WriteFileBytes(nvx + L"norvix4.cfg", "[Path]\r\nCatalog_Qon5=E:\\Neu\\\r\n");
    EXPECT_EQ(L"E:\\Neu\\Macro\\", ResolveTargetFolder(s_, L"NORVIX19", L"CATALOG_QON5_MACRO"));
}

TEST_F(TargetFolderTest, MissingCatalogueKeyIsAddedEmpty) {
    WriteFileBytes(nvx + L"norvix4.cfg", "[Path]\r\nCatalog_Qon5=D:\\Q5\\\r\n");
    EXPECT_EQ(L"Block\\", ResolveTargetFolder(s_, L"NORVIX19", L"catalog_qonpage_block"));
    wchar_t buf[64] = L"";
    EXPECT_EQ(0u, GetPrivateProfileStringW(L"Path", L"Catalog_QonPage", L"absent", buf, 64,
                                           (nvx + L"norvix4.cfg").c_str()));
    EXPECT_EQ(L"D:\\Q5\\", ResolveTargetFolder(s_, L"NORVIX19", L"Catalog_Qon5"));
}

}  // namespace
