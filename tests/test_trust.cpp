// Digests and list signatures under the real CryptoAPI (Wine's rsaenh and
// crypt32), checked against what tools/publish_catalogue.py made at test
// time (ctest fixture trust_fixtures, tests/make_trust_fixtures.py): the
// digests it wrote into a catalogue's list and signatures by keys of
// several sizes. Besides those, only the published SHA-256 test vectors.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "Trust.h"
#include "support/TestSupport.h"

using namespace testsupport;

namespace {

// A Unix path from the environment as Wine sees it through drive Z:.
std::wstring WinePath(const char* variable) {
    const char* value = std::getenv(variable);
    if (!value || !*value) return std::wstring();
    std::wstring path = L"Z:" + Widen(value);
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

std::wstring Fixtures() { return WinePath("TRUST_FIXTURES") + L"\\"; }

std::string Fixture(const std::wstring& name) {
    std::string bytes;
    EXPECT_TRUE(ReadFileBytes(Fixtures() + name, &bytes)) << Narrow(Fixtures() + name);
    return bytes;
}

class Trust : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(WinePath("TRUST_FIXTURES").empty()) << "TRUST_FIXTURES is not set (run through ctest)";
    }
};

const std::wstring kAbc = L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
const std::wstring kEmpty = L"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

std::wstring Upper(std::wstring s) {
    for (wchar_t& c : s) c = static_cast<wchar_t>(towupper(c));
    return s;
}

TEST(Digest, OnlySha256AndSixtyFourHexDigitsParse) {
    Sha256Digest lower{}, upper{};
    ASSERT_TRUE(ParseDigest(L"sha256:" + kAbc, &lower));
    ASSERT_TRUE(ParseDigest(L"sha256:" + Upper(kAbc), &upper));
    EXPECT_EQ(lower, upper);
    EXPECT_EQ(lower[0], 0xba);
    EXPECT_EQ(lower[31], 0xad);
    const std::wstring bad[] = {
        L"",
        L"sha256:",
        kAbc,                                     // no prefix
        L"SHA256:" + kAbc,                        // prefix in another case
        L"sha-256:" + kAbc,
        L"sha1:" + kAbc,
        L"sha256:" + kAbc.substr(1),              // 63 digits
        L"sha256:" + kAbc + L"0",                 // 65 digits
        L"sha256:" + kAbc.substr(0, 63) + L"g",  // not hex
        L"sha256: " + kAbc.substr(1),
        L" sha256:" + kAbc,
        L"sha256:" + kAbc + L" ",
        L"sha256:" + kAbc.substr(0, 32) + std::wstring(1, L'\0') + kAbc.substr(33),
        L"sha256:" + kAbc.substr(0, 63) + L"\xFF10",  // fullwidth digit
    };
    for (const std::wstring& value : bad) {
        Sha256Digest out{};
        out.fill(0x5A);
        EXPECT_FALSE(ParseDigest(value, &out)) << Narrow(value);
        EXPECT_EQ(out[0], 0x5A) << "a refused value leaves the output alone: " << Narrow(value);
    }
}

TEST(Digest, FileSha256MatchesThePublishedVectors) {
    TempFolder dir;
    const struct {
        std::string content;
        std::wstring hex;
    } rows[] = {{"", kEmpty}, {"abc", kAbc}};
    for (const auto& row : rows) {
        WriteFileBytes(dir.path() + L"f", row.content);
        Sha256Digest expected{}, actual{};
        ASSERT_TRUE(ParseDigest(L"sha256:" + row.hex, &expected));
        ASSERT_TRUE(FileSha256(dir.path() + L"f", &actual)) << row.content;
        EXPECT_EQ(actual, expected) << row.content;
    }
    Sha256Digest out{};
    EXPECT_FALSE(FileSha256(dir.path() + L"missing", &out));
    EXPECT_FALSE(FileSha256(dir.path(), &out)) << "a folder is no file";
}

// Every entry of the published list: the digest the tool wrote beside it is
// the one FileSha256 finds, for sizes on both sides of a read block.
TEST_F(Trust, FileSha256AgreesWithTheToolsDigests) {
    const std::wstring list = Fixtures() + L"catalogue\\update19.txt";
    int entries = 0;
    for (int n = 1;; ++n) {
        wchar_t nnn[8], file[MAX_PATH], hash[128];
        swprintf(nnn, 8, L"%03d", n);
        GetPrivateProfileStringW(L"1", (std::wstring(L"File") + nnn).c_str(), L"", file, MAX_PATH, list.c_str());
        if (!*file) break;
        GetPrivateProfileStringW(L"1", (std::wstring(L"Hash") + nnn).c_str(), L"", hash, 128, list.c_str());
        Sha256Digest expected{}, actual{};
        ASSERT_TRUE(ParseDigest(hash, &expected)) << Narrow(hash);
        ASSERT_TRUE(FileSha256(Fixtures() + L"catalogue\\lupd19\\" + file, &actual)) << Narrow(file);
        EXPECT_EQ(actual, expected) << Narrow(file);
        ++entries;
    }
    EXPECT_EQ(entries, 5);
}

TEST_F(Trust, OnlyTheListAsSignedByAStrongEnoughKeyPasses) {
    const std::string list = Fixture(L"catalogue\\update19.txt");
    const std::string good = Fixture(L"good.sig");
    const std::string goodKey = Fixture(L"good.pub.pem");
    std::string flipped = good;
    flipped.back() = static_cast<char>(flipped.back() ^ 0x01);
    const struct {
        const char* what;
        std::string list, signature, key;
        bool valid;
    } rows[] = {
        {"as published", list, good, goodKey, true},
        {"4096-bit key", list, Fixture(L"big.sig"), Fixture(L"big.pub.pem"), true},
        {"signature beside the list", list, Fixture(L"catalogue\\update19.txt.sig"), goodKey, true},
        {"another key's public half", list, good, Fixture(L"other.pub.pem"), false},
        {"signed by another key", list, Fixture(L"other.sig"), goodKey, false},
        {"no signature", list, "", goodKey, false},
        {"signature one byte short", list, good.substr(1), goodKey, false},
        {"signature with a bit changed", list, flipped, goodKey, false},
        {"list changed after signing", Fixture(L"changed.txt"), good, goodKey, false},
        {"list cut by a byte", list.substr(0, list.size() - 1), good, goodKey, false},
        {"2048-bit key", list, Fixture(L"weak.sig"), Fixture(L"weak.pub.pem"), false},
        {"no key", list, good, "", false},
        {"private key instead", list, good, Fixture(L"good.key.pem"), false},
        {"PEM that is no key", list, good, "-----BEGIN PUBLIC KEY-----\r\nTWlyYWRv\r\n-----END PUBLIC KEY-----\r\n",
         false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(VerifyListSignature(row.list, row.signature, row.key), row.valid) << row.what;
}

// The test program embeds a key through the same template as the product.
TEST(EmbeddedKey, IsThePemTheBuildWasGiven) {
    std::string pem;
    ASSERT_TRUE(ReadFileBytes(WinePath("TRUST_EMBEDDED"), &pem)) << "TRUST_EMBEDDED";
    EXPECT_EQ(EmbeddedListKey(), pem);
}

}  // namespace
