// Digests and list signatures under Wine's CryptoAPI, against what
// tools/publish_catalogue.py made at test time (tests/make_trust_fixtures.py):
// the digests in a catalogue's list and signatures by keys of several sizes.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "sys/Trust.h"
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

// The published SHA-256 of "abc".
const std::wstring kAbc = L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

TEST(Digest, OnlySha256AndSixtyFourHexDigitsParse) {
    std::wstring upper = kAbc;
    for (wchar_t& c : upper) c = static_cast<wchar_t>(towupper(c));
    Sha256Digest a{}, b{};
    ASSERT_TRUE(ParseDigest(L"sha256:" + kAbc, &a));
    ASSERT_TRUE(ParseDigest(L"sha256:" + upper, &b));
    EXPECT_EQ(a, b);
    const std::wstring bad[] = {
        L"sha256:", kAbc, L"SHA256:" + kAbc, L"sha1:" + kAbc,
        L"sha256:" + kAbc.substr(1), L"sha256:" + kAbc + L"0",  // 63 and 65 digits
        L"sha256:" + kAbc.substr(0, 63) + L"g", L"sha256:" + kAbc.substr(0, 63) + L"\xFF10",  // fullwidth 0
        L"sha256: " + kAbc.substr(1), L"sha256:" + kAbc + L" ",
        L"sha256:" + kAbc.substr(0, 32) + std::wstring(1, L'\0') + kAbc.substr(33),
    };
    for (const std::wstring& value : bad) {
        Sha256Digest out{};
        out.fill(0x5A);
        EXPECT_FALSE(ParseDigest(value, &out)) << Narrow(value);
        EXPECT_EQ(out[0], 0x5A) << "a refused value leaves the output alone: " << Narrow(value);
    }
}

// Every entry of the published list: the digest the tool wrote beside it is
// the one FileSha256 finds, for sizes on both sides of a read block.
TEST(Trust, FileSha256AgreesWithTheToolsDigests) {
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
    Sha256Digest out{};
    EXPECT_FALSE(FileSha256(Fixtures() + L"catalogue\\lupd19\\missing.bin", &out));
    EXPECT_FALSE(FileSha256(Fixtures() + L"catalogue\\lupd19", &out)) << "a folder";
}

TEST(Trust, OnlyTheListAsSignedByAStrongEnoughKeyPasses) {
    const std::string list = Fixture(L"catalogue\\update19.txt");
    const std::string good = Fixture(L"catalogue\\update19.txt.sig");
    const std::string goodKey = Fixture(L"good.pub.pem");
    const struct {
        const char* what;
        std::string list, signature, key;
        bool valid;
    } rows[] = {
        {"as published", list, good, goodKey, true},
        {"4096-bit key", list, Fixture(L"big.sig"), Fixture(L"big.pub.pem"), true},
        {"another key's public half", list, good, Fixture(L"other.pub.pem"), false},
        {"no signature", list, "", goodKey, false},
        {"signature one byte short", list, good.substr(1), goodKey, false},
        {"list changed after signing", Fixture(L"changed.txt"), good, goodKey, false},
        {"2048-bit key", list, Fixture(L"weak.sig"), Fixture(L"weak.pub.pem"), false},
        {"private key instead", list, good, Fixture(L"good.key.pem"), false},
        {"no key", list, good, "-----BEGIN PUBLIC KEY-----\r\nTWlyYWRv\r\n-----END PUBLIC KEY-----\r\n", false},
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
