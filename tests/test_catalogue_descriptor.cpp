// Reading the file entries of the update descriptor.
#include <gtest/gtest.h>

#include <string>

#include "run/Descriptor.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

class DescriptorTest : public ::testing::Test {
protected:
    // Each test its own file: the profile functions keep recently read files.
    UpdateDescriptor Write(const std::string& content, bool digestsRequired = false) {
        const std::wstring path = tmp_.path() + L"update" + std::to_wstring(++count_) + L".cfg";
        WriteFileBytes(path, content);
        return UpdateDescriptor(path, digestsRequired);
    }
    TempFolder tmp_;
    int count_ = 0;
};

TEST_F(DescriptorTest, EntriesRunUpToTheFirstEmptyFile) {
    const UpdateDescriptor d = Write(
        "[1]\r\nPrg=miradoPro19\r\nText=Symbole\r\ncek=0\r\n"
        "File001=symbols.zip\r\nName001=symbols.zip\r\nPath001=SYMBOLE\r\n"
        "Repl002=0\r\nPath002=X64\r\nFile002=tool.prg\r\nName002=tool.exe\r\nOpen002=1\r\n"
        "File004=never.txt\r\nName004=never.txt\r\n"
        "[2]\r\nPrg=MIRADO19\r\nFile002=only2.txt\r\n"
        "[3]\nPrg=MIRADO19\nFile001=a.txt\nFile002=\nFile003=c.txt\n");
    EXPECT_EQ(L"MIRADOPRO19", d.Product(L"1"));
    const std::vector<FileEntry> e = d.Entries(L"1");
    ASSERT_EQ(2u, e.size());
    EXPECT_EQ(1, e[0].number);
    EXPECT_EQ(L"symbols.zip", e[0].F);
    EXPECT_EQ(L"symbols.zip", e[0].FtpName);
    EXPECT_EQ(L"SYMBOLE", e[0].Path);
    EXPECT_TRUE(e[0].R);
    EXPECT_FALSE(e[0].O);
    EXPECT_EQ(L"tool.prg", e[1].F);
    EXPECT_EQ(L"tool.EXE", e[1].FtpName);
    EXPECT_EQ(L"tool.exe", e[1].N);
    EXPECT_EQ(L"X64", e[1].Path);
    EXPECT_FALSE(e[1].R);
    EXPECT_TRUE(e[1].O);
    EXPECT_FALSE(e[1].refused());

    EXPECT_TRUE(d.Entries(L"2").empty());
    EXPECT_EQ(1u, d.Entries(L"3").size());  // bare LF lines, empty File002
    EXPECT_TRUE(d.Entries(L"9").empty());
    EXPECT_EQ(L"", d.Product(L"9"));
}

TEST_F(DescriptorTest, NumbersHaveThreeDigitsAndStopAt999) {
    std::string text = "[A]\r\nPrg=NORVIX19\r\n";
    for (int n = 1; n <= 1000; ++n) {
        char line[64];
        snprintf(line, sizeof line, "File%03d=f%d.dat\r\nName%03d=n%d.dat\r\n", n, n, n, n);
        text += line;
    }
    // Unpadded keys are other keys and must not be picked up.
    text += "File10=wrong\r\n";
    const UpdateDescriptor d = Write(text);
    const std::vector<FileEntry> e = d.Entries(L"a");
    ASSERT_EQ(999u, e.size());
    EXPECT_EQ(L"f10.dat", e[9].F);
    EXPECT_EQ(L"n10.dat", e[9].N);
    EXPECT_EQ(999, e[998].number);
    EXPECT_EQ(L"f999.dat", e[998].F);
    EXPECT_EQ(L"010", EntryNumberText(10));
    EXPECT_EQ(L"001", EntryNumberText(1));
}

TEST_F(DescriptorTest, FlagsTakeIntegersAndFallBackToTheirDefault) {
    struct Case {
        const char* value;
        bool repl;
        bool open;
    } cases[] = {
        {"0", false, false},   {"1", true, true},     {"-3", true, true},      {"  7  ", true, true},
        {"", true, false},     {"ja", true, false},   {"1x", true, false},     {"0.0", true, false},
        {"-", true, false},    {"99999999999", true, false},                   {"-0", false, false},
    };
    std::string text = "[1]\r\nPrg=MIRADO19\r\n";
    int n = 0;
    for (const Case& c : cases) {
        char line[160];
        ++n;
        snprintf(line, sizeof line, "File%03d=f\r\nName%03d=f\r\nRepl%03d=%s\r\nOpen%03d=%s\r\n", n, n, n, c.value, n,
                 c.value);
        text += line;
    }
    text += "File012=f\r\n";  // neither key: the defaults
    const std::vector<FileEntry> e = Write(text).Entries(L"1");
    ASSERT_EQ(12u, e.size());
    for (size_t i = 0; i < 11; ++i) {
        SCOPED_TRACE(cases[i].value);
        EXPECT_EQ(cases[i].repl, e[i].R);
        EXPECT_EQ(cases[i].open, e[i].O);
    }
    EXPECT_TRUE(e[11].R);
    EXPECT_FALSE(e[11].O);
}

TEST(FtpName, ClosingPrgOfAnyCaseBecomesExe) {
    EXPECT_EQ(L"tool.EXE", FtpFileName(L"tool.prg"));
    EXPECT_EQ(L"TOOL.EXE", FtpFileName(L"TOOL.PRG"));
    EXPECT_EQ(L"xEXE", FtpFileName(L"xPrG"));
    EXPECT_EQ(L"EXE", FtpFileName(L"prg"));
    EXPECT_EQ(L"rg", FtpFileName(L"rg"));
    EXPECT_EQ(L"tool.prg.zip", FtpFileName(L"tool.prg.zip"));
    EXPECT_EQ(L"", FtpFileName(L""));
}

TEST(PlainFileName, RefusesEverythingThatLeavesTheTargetFolder) {
    for (const wchar_t* bad :
         {L"", L".", L"..", L"..\\x.dll", L"a\\b.txt", L"a/b.txt", L"/etc", L"C:x.txt", L"x:", L"name.",
          L"name ", L"name. .", L"CON", L"con", L"NUL.txt", L"nul.tar.gz", L"Aux", L"PRN.log", L"COM1", L"com9.txt",
          L"LPT1", L"lpt5.dat", L"CON .txt", L"CONIN$", L"a*b", L"a?b", L"a<b", L"a>b", L"a|b", L"a\"b", L"tab\there",
          L"\\\\server\\share\\x"}) {
        SCOPED_TRACE(Narrow(bad));
        EXPECT_FALSE(IsPlainFileName(bad));
    }
    for (const wchar_t* good : {L"tool.exe", L"symbols.zip", L"CONFIG.SYS", L"console.dll", L"COM10", L"COM0",
                                L"LPT", L"nul_data.txt", L".hidden", L"a..b", L"Übersicht Ä.pdf", L" lead"}) {
        SCOPED_TRACE(Narrow(good));
        EXPECT_TRUE(IsPlainFileName(good));
    }
}

TEST_F(DescriptorTest, UnsafeNamesAreMarkedRefused) {
    const std::vector<FileEntry> e = Write(
                                         "[1]\r\nPrg=MIRADO19\r\n"
                                         "File001=a.dll\r\nName001=..\\..\\Windows\\a.dll\r\n"
                                         "File002=b.dll\r\n"
                                         "File003=c.dll\r\nName003=NUL\r\n"
                                         "File004=d.dll\r\nName004=d.dll\r\n")
                                         .Entries(L"1");
    ASSERT_EQ(4u, e.size());
    EXPECT_TRUE(e[0].refused());
    EXPECT_TRUE(e[1].refused());  // no "Name" at all
    EXPECT_TRUE(e[2].refused());
    EXPECT_FALSE(e[3].refused());
}

// The digest of "abc", and the refusal each kind of "Hash" and "Size" value
// gets in an unsigned list and in a signed one (which needs both on every
// entry).
TEST_F(DescriptorTest, HashValuesGiveTheDigestOrARefusal) {
    const std::string abc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    std::string upper = abc;
    for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    const struct {
        const char* what;
        std::string hashLine;  // after "Name001=a.dat\r\n"
        bool signedList;
        EntryRefusal refusal;
        bool hasDigest;
    } rows[] = {
        {"lower case", "Hash001=sha256:" + abc, false, EntryRefusal::None, true},
        {"upper-case digits, blanks around", "Hash001 = sha256:" + upper + " ", false, EntryRefusal::None, true},
        {"in quotes", "Hash001=\"sha256:" + abc + "\"\r\nSize001=3", true, EntryRefusal::None, true},
        {"signed, no size", "Hash001=sha256:" + abc, true, EntryRefusal::NoSize, true},
        {"signed, a size that is no number", "Hash001=sha256:" + abc + "\r\nSize001=3 KB", true,
         EntryRefusal::BadSize, true},
        {"unsigned, a negative size", "Size001=-3", false, EntryRefusal::BadSize, false},
        {"none, unsigned list", "", false, EntryRefusal::None, false},
        {"none, signed list", "", true, EntryRefusal::NoDigest, false},
        {"empty value", "Hash001=", false, EntryRefusal::BadDigest, false},
        {"empty value, signed list", "Hash001=", true, EntryRefusal::BadDigest, false},
        {"63 digits (the digest syntax itself: test_trust)", "Hash001=sha256:" + abc.substr(1), false,
         EntryRefusal::BadDigest, false},
        {"another entry's number", "Hash002=sha256:" + abc, true, EntryRefusal::NoDigest, false},
    };
    for (const auto& row : rows) {
        const std::vector<FileEntry> e =
            Write("[1]\r\nPrg=MIRADO19\r\nFile001=a.dat\r\nName001=a.dat\r\n" + row.hashLine + "\r\n",
                  row.signedList)
                .Entries(L"1");
        ASSERT_EQ(1u, e.size()) << row.what;
        EXPECT_EQ(row.refusal, e[0].refusal) << row.what;
        EXPECT_EQ(row.hasDigest, e[0].hasDigest) << row.what;
        if (row.hasDigest) {
            EXPECT_EQ(0xBA, e[0].digest[0]) << row.what;
            EXPECT_EQ(0xAD, e[0].digest[31]) << row.what;
        }
    }
    // An unsafe name is named first, whatever its digest.
    const std::vector<FileEntry> bad =
        Write("[1]\r\nPrg=MIRADO19\r\nFile001=a.dat\r\nName001=..\\a.dat\r\nHash001=x\r\n", true).Entries(L"1");
    ASSERT_EQ(1u, bad.size());
    EXPECT_EQ(EntryRefusal::UnsafeName, bad[0].refusal);
}

TEST_F(DescriptorTest, LongValuesAreReadWhole) {
    const std::string longName(5000, 'n');
    const UpdateDescriptor d = Write("[1]\r\nPrg=MIRADO19\r\nFile001=" + longName + "\r\n");
    const std::vector<FileEntry> e = d.Entries(L"1");
    ASSERT_EQ(1u, e.size());
    EXPECT_EQ(5000u, e[0].F.size());
    EXPECT_EQ(L"fallback", d.ReadText(L"1", L"Missing", L"fallback"));
}

}  // namespace
