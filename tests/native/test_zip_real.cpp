// Archives written by real tools (made by make_zip_fixtures.py) must come
// out byte for byte; ZIP64 sizes beyond 4 GiB are read from a synthetic
// source so that no 4 GiB file has to exist.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "ZipBuilder.h"
#include "ZipTestUtil.h"

namespace fs = std::filesystem;
using namespace ziptest;
using zipread::Fault;

namespace {

fs::path Fixtures() {
    const char* dir = std::getenv("ZIP_FIXTURES");
    return dir ? fs::path(dir) : fs::path("fixtures");
}

std::string ReadAll(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

// What the tree on disk says the archive must hold: files with content,
// folders as "<dir>" (only the empty ones are guaranteed as entries).
std::map<std::string, std::string> ExpectedTree() {
    std::map<std::string, std::string> m;
    const fs::path root = Fixtures() / "tree";
    for (const auto& it : fs::recursive_directory_iterator(root)) {
        const std::string rel = fs::relative(it.path(), root).generic_string();
        if (it.is_regular_file()) m[rel] = ReadAll(it.path());
        else if (fs::is_empty(it.path())) m[rel + "/"] = "<dir>";
    }
    return m;
}

class RealArchive : public ::testing::TestWithParam<const char*> {};

TEST_P(RealArchive, ExtractsEveryFileByteForByte) {
    const Unpacked u = UnpackAll(ReadAll(Fixtures() / GetParam()));
    ASSERT_TRUE(u.status.ok()) << u.status.why << " " << Utf8(u.status.entry);
    const auto expected = ExpectedTree();
    ASSERT_GT(expected.size(), 5u);
    for (const auto& [name, data] : expected) {
        auto it = u.files.find(name);
        ASSERT_NE(it, u.files.end()) << name;
        EXPECT_TRUE(it->second == data) << name << ": " << it->second.size() << " bytes instead of " << data.size();
    }
    for (const auto& [name, data] : u.files)
        if (data != "<dir>") EXPECT_TRUE(expected.count(name)) << "unexpected " << name;
}

INSTANTIATE_TEST_SUITE_P(Tools, RealArchive,
                         ::testing::Values("infozip_deflate.zip", "infozip_stored.zip", "infozip_fd.zip",
                                           "infozip_stream.zip", "python_zip64.zip"));

TEST(RealArchiveDetails, DescriptorsTimesAndNamesAsTheToolsWroteThem) {
    const std::string stream = ReadAll(Fixtures() / "infozip_stream.zip");
    zipread::MemorySource src(stream.data(), stream.size());
    zipread::Reader r;
    ASSERT_TRUE(r.Open(src).ok());
    int described = 0;
    for (const auto& e : r.Entries()) {
        described += (e.flags & 8) != 0;
        // Info-ZIP keeps the UTC modification time in its extended field.
        EXPECT_TRUE(e.hasUnixTime) << Utf8(e.name);
        if (!e.isDirectory) EXPECT_EQ(e.unixTime, 1614834368) << Utf8(e.name);
    }
    EXPECT_GT(described, 0);

    // zip reading stdin writes one entry "-" with ZIP64 local fields and a
    // 64-bit data descriptor.
    const Unpacked stdinZip = UnpackAll(ReadAll(Fixtures() / "infozip_stdin.zip"));
    ASSERT_TRUE(stdinZip.status.ok()) << stdinZip.status.why;
    ASSERT_EQ(stdinZip.files.size(), 1u);
    EXPECT_TRUE(stdinZip.files.at("-") == ReadAll(Fixtures() / "tree" / "Daten" / "text.dat"));

    const Unpacked cp850 = UnpackAll(ReadAll(Fixtures() / "cp850.zip"));
    ASSERT_TRUE(cp850.status.ok()) << cp850.status.why;
    ASSERT_EQ(cp850.files.size(), 1u);
    EXPECT_EQ(cp850.files.begin()->first, "\xC3\x84nderung_\xC3\x96l.txt");
    EXPECT_EQ(cp850.files.begin()->second, "cp850\n");
}

TEST(RealArchiveDetails, MoreThan65535EntriesThroughTheZip64EndRecord) {
    const std::string bytes = ReadAll(Fixtures() / "python_many.zip");
    zipread::MemorySource src(bytes.data(), bytes.size());
    zipread::Reader r;
    ASSERT_TRUE(r.Open(src).ok());
    ASSERT_EQ(r.Entries().size(), 70000u);
    const auto& last = r.Entries().back();
    EXPECT_EQ(Utf8(last.name), "d69/f69999.txt");
    StringSink sink;
    ASSERT_TRUE(r.Extract(last, sink).ok());
    EXPECT_EQ(sink.out, "69999\n");
}

// A source that holds a few real byte strings at given offsets and a
// repeating pattern everywhere else: archives of many GiB without the disk.
class SparseSource : public zipread::ByteSource {
public:
    SparseSource(uint64_t size, std::string pattern) : size_(size), pattern_(std::move(pattern)) {}
    void Place(uint64_t at, std::string bytes) { pieces_.push_back({at, std::move(bytes)}); }
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, void* buffer, size_t n) override {
        if (offset > size_ || n > size_ - offset) return false;
        auto* out = static_cast<char*>(buffer);
        for (size_t done = 0; done < n;) {
            const size_t phase = static_cast<size_t>((offset + done) % pattern_.size());
            const size_t k = std::min(n - done, pattern_.size() - phase);
            std::memcpy(out + done, pattern_.data() + phase, k);
            done += k;
        }
        for (const auto& [at, bytes] : pieces_) {
            const uint64_t lo = std::max(at, offset), hi = std::min(at + bytes.size(), offset + n);
            if (lo < hi) std::memcpy(out + (lo - offset), bytes.data() + (lo - at), static_cast<size_t>(hi - lo));
        }
        return true;
    }

private:
    uint64_t size_;
    std::string pattern_;
    std::vector<std::pair<uint64_t, std::string>> pieces_;
};

class CountingSink : public zipread::ByteSink {
public:
    bool Write(const void* data, size_t n) override {
        crc = crc32(crc, static_cast<const Bytef*>(data), static_cast<uInt>(n));
        total += n;
        largest = std::max(largest, n);
        return true;
    }
    uLong crc = crc32(0, Z_NULL, 0);
    uint64_t total = 0;
    size_t largest = 0;
};

TEST(Zip64, StoredEntryOver4GiBAndAnEntryBehindIt) {
    using namespace zipbuild;
    // The pattern's length is prime so that block borders never line up.
    std::string pattern(65521, '\0');
    for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<char>((i * 131) ^ (i >> 7));
    const std::string name = "gross.bin";
    const uint64_t bigSize = (uint64_t{1} << 32) + 12345;
    const uint64_t dataAt = 30 + name.size() + 20;
    // The CRC of the repeated pattern, put together piece by piece.
    uLong crc = crc32(0, Z_NULL, 0);
    const uLong whole = crc32(0, reinterpret_cast<const Bytef*>(pattern.data()), static_cast<uInt>(pattern.size()));
    uint64_t pos = dataAt;
    while (pos < dataAt + bigSize) {
        const size_t phase = static_cast<size_t>(pos % pattern.size());
        const size_t k = static_cast<size_t>(std::min<uint64_t>(pattern.size() - phase, dataAt + bigSize - pos));
        const uLong part = (phase == 0 && k == pattern.size())
                               ? whole
                               : crc32(0, reinterpret_cast<const Bytef*>(pattern.data() + phase), static_cast<uInt>(k));
        crc = crc32_combine(crc, part, static_cast<z_off_t>(k));
        pos += k;
    }

    std::string lh;
    Put32(lh, 0x04034b50); Put16(lh, 45); Put16(lh, 0); Put16(lh, 0); Put16(lh, 0); Put16(lh, 0x5264);
    Put32(lh, static_cast<uint32_t>(crc)); Put32(lh, 0xFFFFFFFFu); Put32(lh, 0xFFFFFFFFu);
    Put16(lh, static_cast<uint16_t>(name.size())); Put16(lh, 20);
    lh += name + Zip64Field(bigSize, bigSize, std::nullopt);

    const std::string smallName = "klein.txt", smallData = "hinter 4 GiB\n";
    const uint64_t smallAt = dataAt + bigSize;
    std::string sh;
    Put32(sh, 0x04034b50); Put16(sh, 20); Put16(sh, 0); Put16(sh, 0); Put16(sh, 0); Put16(sh, 0x5264);
    Put32(sh, Crc(smallData)); Put32(sh, static_cast<uint32_t>(smallData.size()));
    Put32(sh, static_cast<uint32_t>(smallData.size()));
    Put16(sh, static_cast<uint16_t>(smallName.size())); Put16(sh, 0);
    sh += smallName + smallData;

    auto central = [](const std::string& n, uint32_t c, uint64_t size, uint64_t offset, bool big) {
        std::string cd;
        Put32(cd, 0x02014b50); Put16(cd, 45); Put16(cd, 45); Put16(cd, 0); Put16(cd, 0); Put16(cd, 0);
        Put16(cd, 0x5264); Put32(cd, c);
        Put32(cd, big ? 0xFFFFFFFFu : static_cast<uint32_t>(size));
        Put32(cd, big ? 0xFFFFFFFFu : static_cast<uint32_t>(size));
        std::string extra;
        Put16(extra, 1);
        Put16(extra, static_cast<uint16_t>(big ? 24 : 8));
        if (big) { Put64(extra, size); Put64(extra, size); }
        Put64(extra, offset);
        Put16(cd, static_cast<uint16_t>(n.size())); Put16(cd, static_cast<uint16_t>(extra.size()));
        Put16(cd, 0); Put16(cd, 0); Put16(cd, 0); Put32(cd, 0); Put32(cd, 0xFFFFFFFFu);
        return cd + n + extra;
    };
    const std::string cd = central(name, static_cast<uint32_t>(crc), bigSize, 0, true) +
                           central(smallName, Crc(smallData), smallData.size(), smallAt, false);
    const uint64_t cdAt = smallAt + sh.size();
    std::string tail = cd;
    const uint64_t z64At = cdAt + cd.size();
    Put32(tail, 0x06064b50); Put64(tail, 44); Put16(tail, 45); Put16(tail, 45); Put32(tail, 0); Put32(tail, 0);
    Put64(tail, 2); Put64(tail, 2); Put64(tail, cd.size()); Put64(tail, cdAt);
    // A locator that gives 0 disks, as some writers do.
    Put32(tail, 0x07064b50); Put32(tail, 0); Put64(tail, z64At); Put32(tail, 0);
    Put32(tail, 0x06054b50); Put16(tail, 0); Put16(tail, 0); Put16(tail, 2); Put16(tail, 2);
    Put32(tail, 0xFFFFFFFFu); Put32(tail, 0xFFFFFFFFu); Put16(tail, 0);

    SparseSource src(cdAt + tail.size(), pattern);
    src.Place(0, lh);
    src.Place(smallAt, sh);
    src.Place(cdAt, tail);
    zipread::Reader r;
    const zipread::Status s = r.Open(src);
    ASSERT_TRUE(s.ok()) << s.why;
    ASSERT_EQ(r.Entries().size(), 2u);
    EXPECT_EQ(r.Entries()[1].localOffset, smallAt);

    StringSink small;
    ASSERT_TRUE(r.Extract(r.Entries()[1], small).ok());
    EXPECT_EQ(small.out, smallData);

    CountingSink big;
    const zipread::Status x = r.Extract(r.Entries()[0], big);
    ASSERT_TRUE(x.ok()) << x.why;
    EXPECT_EQ(big.total, bigSize);
    EXPECT_EQ(big.crc, crc);
    // Streamed through fixed buffers, never the whole entry at once.
    EXPECT_LE(big.largest, zipread::Reader::kBufferSize);
}

}  // namespace
