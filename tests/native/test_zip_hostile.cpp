// Damaged and hostile archives: each must be refused with the right kind of
// fault, never crash, and never hand out data that did not pass its checks.
#include <gtest/gtest.h>

#include "ZipBuilder.h"
#include "ZipTestUtil.h"

using namespace ziptest;
using namespace zipbuild;
using zipread::Fault;

namespace {

Archive TwoFiles(const Options& opt = {}) {
    Item a;
    a.name = "ordner/eins.txt";
    a.data = std::string(300, 'x') + "ende";
    a.deflate = true;
    Item b;
    b.name = "zwei.txt";
    b.data = "zweite Datei\n";
    return Build({a, b}, opt);
}

Fault OpenFault(const std::string& bytes) {
    zipread::MemorySource src(bytes.data(), bytes.size());
    zipread::Reader r;
    return r.Open(src).fault;
}

TEST(Hostile, EveryTruncationIsRefusedWithoutCrashing) {
    for (const Options& opt : {Options{}, Options{"Kommentar", false, 1}, Options{"", true, 1}}) {
        const std::string full = TwoFiles(opt).bytes;
        ASSERT_EQ(OpenFault(full), Fault::None);
        for (size_t len = 0; len < full.size(); ++len)
            EXPECT_NE(OpenFault(full.substr(0, len)), Fault::None) << "length " << len;
        EXPECT_NE(OpenFault(full + "x"), Fault::None) << "byte after the end record";
    }
}

TEST(Hostile, EndRecordAndItsComment) {
    Archive a = TwoFiles(Options{"abc", false, 1});
    std::string longer = a.bytes;
    Set16(longer, a.end + 20, 4);  // comment runs one byte past the end
    EXPECT_EQ(OpenFault(longer), Fault::Damaged);

    // A fake end record inside the comment that does not fit is ignored...
    std::string fake;
    Put32(fake, 0x06054b50);
    fake += std::string(16, '\0');
    Put16(fake, 0x4000);
    Archive b = TwoFiles(Options{"vorher " + fake + " nachher", false, 1});
    EXPECT_TRUE(UnpackAll(b.bytes).status.ok());
    // ...one that fits exactly makes the archive ambiguous.
    fake.resize(20);
    Put16(fake, 0);
    Archive c = TwoFiles(Options{"vorher " + fake, false, 1});
    EXPECT_EQ(OpenFault(c.bytes), Fault::Damaged);

    EXPECT_EQ(OpenFault(std::string(100, 'P')), Fault::NotAnArchive);
    EXPECT_EQ(OpenFault(""), Fault::NotAnArchive);
}

// One mutation of a valid archive and the fault it must give.
struct Mutation {
    const char* what;
    void (*apply)(Archive&);
    Fault expected;
};
void PrintTo(const Mutation& m, std::ostream* os) { *os << m.what; }

const Mutation kStructure[] = {
    {"central directory offset past the end",
     [](Archive& a) { Set32(a.bytes, a.end + 16, static_cast<uint32_t>(a.bytes.size() + 10)); }, Fault::Damaged},
    {"central directory size past the end record",
     [](Archive& a) { Set32(a.bytes, a.end + 12, static_cast<uint32_t>(a.cdSize + 30)); }, Fault::Damaged},
    {"offset plus size wrapping 2^32",
     [](Archive& a) {
         Set32(a.bytes, a.end + 16, 0xFFFFFF00u);
         Set32(a.bytes, a.end + 12, 0x200);
     },
     Fault::Damaged},
    {"more entries counted than recorded",
     [](Archive& a) { Set16(a.bytes, a.end + 8, 3); Set16(a.bytes, a.end + 10, 3); }, Fault::Damaged},
    {"fewer entries counted than recorded",
     [](Archive& a) { Set16(a.bytes, a.end + 8, 1); Set16(a.bytes, a.end + 10, 1); }, Fault::Damaged},
    {"entry counts of the end record disagree", [](Archive& a) { Set16(a.bytes, a.end + 8, 1); }, Fault::Damaged},
    {"second disk", [](Archive& a) { Set16(a.bytes, a.end + 4, 1); }, Fault::Damaged},
    {"name length past its record", [](Archive& a) { Set16(a.bytes, a.central[1] + 28, 200); }, Fault::Damaged},
    {"extra length past its record", [](Archive& a) { Set16(a.bytes, a.central[1] + 30, 9); }, Fault::Damaged},
    {"central signature broken", [](Archive& a) { a.bytes[a.central[1]] = 'X'; }, Fault::Damaged},
    {"ZIP64 markers in the end record without a ZIP64 end record",
     [](Archive& a) { Set32(a.bytes, a.end + 16, 0xFFFFFFFFu); }, Fault::Damaged},
    {"ZIP64 size marker without a ZIP64 field",
     [](Archive& a) { Set32(a.bytes, a.central[0] + 24, 0xFFFFFFFFu); }, Fault::Damaged},
    {"ZIP64 offset marker without a ZIP64 field",
     [](Archive& a) { Set32(a.bytes, a.central[1] + 42, 0xFFFFFFFFu); }, Fault::Damaged},
    {"local header method differs", [](Archive& a) { Set16(a.bytes, a.local[0] + 8, 0); }, Fault::Damaged},
    {"local header CRC differs", [](Archive& a) { a.bytes[a.local[1] + 14] ^= 1; }, Fault::Damaged},
    {"local header size differs", [](Archive& a) { a.bytes[a.local[1] + 22] ^= 1; }, Fault::Damaged},
    {"local name differs", [](Archive& a) { a.bytes[a.local[1] + 30] = 'Z'; }, Fault::Damaged},
    {"local header flags encryption", [](Archive& a) { a.bytes[a.local[1] + 6] |= 1; }, Fault::Damaged},
    {"directory points between headers", [](Archive& a) { Set32(a.bytes, a.central[1] + 42, 5); }, Fault::Damaged},
    {"local offset past the end",
     [](Archive& a) { Set32(a.bytes, a.central[1] + 42, static_cast<uint32_t>(a.bytes.size() - 4)); },
     Fault::Overlap},
    {"local header overlapping the previous entry's data",
     [](Archive& a) {
         // The first entry's data grows over the second entry's header.
         const uint32_t grown = static_cast<uint32_t>(a.local[1] - a.local[0] - 30 - 15 + 10);
         Set32(a.bytes, a.local[0] + 18, grown);
         Set32(a.bytes, a.central[0] + 20, grown);
     },
     Fault::Overlap},
    {"entry data running into the central directory",
     [](Archive& a) {
         const uint32_t grown = static_cast<uint32_t>(a.cdOffset - a.local[1] - 30 - 8 + 1);
         Set32(a.bytes, a.local[1] + 18, grown);
         Set32(a.bytes, a.local[1] + 22, grown);
         Set32(a.bytes, a.central[1] + 20, grown);
         Set32(a.bytes, a.central[1] + 24, grown);
     },
     Fault::Overlap},
};

class Structure : public ::testing::TestWithParam<Mutation> {};

TEST_P(Structure, IsRefused) {
    Archive a = TwoFiles();
    GetParam().apply(a);
    EXPECT_EQ(OpenFault(a.bytes), GetParam().expected) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(Mutations, Structure, ::testing::ValuesIn(kStructure));

TEST(Hostile, OverlappingEntriesAreRefused) {
    // Full overlap: a second central record for the first local header. Its
    // name either repeats the first one or disagrees with that header.
    Item x;
    x.name = "a.txt";
    x.data = std::string(1000, 'a');
    x.deflate = true;
    Archive a = Build({x, x});
    const size_t rec = a.central[1];
    Set32(a.bytes, rec + 42, 0);
    EXPECT_NE(OpenFault(a.bytes), Fault::None);

    // Quoted overlap: the first entry's stored data quote the second entry's
    // local header and data, so the spans nest.
    Item inner;
    inner.name = "innen.bin";
    inner.data = std::string(500, 'i');
    Item outer;
    outer.name = "aussen.bin";
    outer.data = "";
    Archive q = Build({outer, inner});
    const uint32_t quoted = static_cast<uint32_t>(q.cdOffset - q.local[0] - 30 - outer.name.size());
    const uint32_t crc = Crc(q.bytes.substr(q.local[1], quoted));
    for (size_t at : {q.local[0] + 14, q.central[0] + 16}) Set32(q.bytes, at, crc);
    for (size_t at : {q.local[0] + 18, q.local[0] + 22, q.central[0] + 20, q.central[0] + 24})
        Set32(q.bytes, at, quoted);
    EXPECT_EQ(OpenFault(q.bytes), Fault::Overlap);
}

TEST(Hostile, ExtraFieldsStayInsideTheirRecord) {
    Item a;
    a.name = "x.txt";
    a.data = "x";
    std::string extra;
    Put16(extra, 0x5455);
    Put16(extra, 20);  // sub-block longer than the field
    Put32(extra, 0);
    a.centralExtra = extra;
    EXPECT_EQ(OpenFault(Build({a}).bytes), Fault::Damaged);
    a.centralExtra.clear();
    a.localExtra = extra;
    EXPECT_EQ(OpenFault(Build({a}).bytes), Fault::Damaged);

    // A ZIP64 field that cannot hold the values its markers promise.
    Item z;
    z.name = "z.txt";
    z.data = "z";
    z.zip64 = true;
    Archive b = Build({z});
    Set16(b.bytes, b.central[0] + 46 + 5 + 2, 16);  // field says 16 instead of 24 bytes
    EXPECT_EQ(OpenFault(b.bytes), Fault::Damaged);
}

TEST(Hostile, ZipEndRecordsAndDescriptorsOfWellFormedArchives) {
    // The good forms of what the mutations above break: ZIP64 end records
    // (locator with 0 or 1 disks), ZIP64 and 32-bit descriptors with and
    // without signature.
    for (uint32_t disks : {0u, 1u}) {
        Item z;
        z.name = "z.txt";
        z.data = "zip64";
        z.zip64 = true;
        z.descriptor = true;
        Item d;
        d.name = "d.txt";
        d.data = std::string(5000, 'd');
        d.deflate = true;
        d.descriptor = true;
        d.descriptorSignature = false;
        const Unpacked u = UnpackAll(Build({z, d}, Options{"", true, disks}).bytes);
        ASSERT_TRUE(u.status.ok()) << u.status.why;
        EXPECT_EQ(u.files.at("z.txt"), "zip64");
        EXPECT_EQ(u.files.at("d.txt"), std::string(5000, 'd'));
    }
    Options twoDisks{"", true, 2};
    EXPECT_EQ(OpenFault(TwoFiles(twoDisks).bytes), Fault::Damaged);

    Item d;
    d.name = "d.txt";
    d.data = "abc";
    d.descriptor = true;
    Archive a = Build({d});
    a.bytes[a.cdOffset - 12] ^= 1;  // descriptor CRC differs from the directory
    EXPECT_EQ(OpenFault(a.bytes), Fault::Damaged);
}

TEST(Hostile, DataThatDoesNotMatchItsDeclaration) {
    struct Case {
        const char* what;
        Item item;
        Fault expected;
    };
    Item base;
    base.name = "daten.txt";
    base.data = std::string(200000, 'q') + "schluss";
    base.deflate = true;
    std::vector<Case> cases;
    {
        Case c{"flipped CRC", base, Fault::Crc};
        c.item.crc = Crc(base.data) ^ 0x100;
        cases.push_back(c);
    }
    {
        Case c{"longer than declared", base, Fault::TooLong};
        c.item.declaredSize = 1000;
        cases.push_back(c);
    }
    {
        Case c{"shorter than declared", base, Fault::Size};
        c.item.declaredSize = base.data.size() + 1;
        cases.push_back(c);
    }
    {
        Case c{"stored with flipped CRC", base, Fault::Crc};
        c.item.deflate = false;
        c.item.crc = 1;
        cases.push_back(c);
    }
    for (const Case& c : cases) {
        Archive a = Build({c.item});
        zipread::MemorySource src(a.bytes.data(), a.bytes.size());
        zipread::Reader r;
        ASSERT_TRUE(r.Open(src).ok()) << c.what;
        StringSink sink;
        EXPECT_EQ(r.Extract(r.Entries()[0], sink).fault, c.expected) << c.what;
        EXPECT_LE(sink.out.size(), r.Entries()[0].uncompressedSize) << c.what;
    }

    // Deflate data cut short or garbled.
    Archive a = Build({base});
    const size_t dataAt = a.local[0] + 30 + base.name.size();
    std::string cut = a.bytes;
    cut[dataAt] = static_cast<char>(0xFF);  // reserved block type
    zipread::MemorySource src(cut.data(), cut.size());
    zipread::Reader r;
    ASSERT_TRUE(r.Open(src).ok());
    StringSink sink;
    EXPECT_EQ(r.Extract(r.Entries()[0], sink).fault, Fault::Damaged);

    Item tiny = base;
    tiny.data = "abc";
    Archive t = Build({tiny});
    const std::string payload = RawDeflate(tiny.data);
    Set32(t.bytes, t.local[0] + 18, static_cast<uint32_t>(payload.size() - 2));
    Set32(t.bytes, t.central[0] + 20, static_cast<uint32_t>(payload.size() - 2));
    EXPECT_NE(UnpackAll(t.bytes).status.fault, Fault::None) << "deflate stream cut short";
}

TEST(Hostile, EncryptedEntriesAndOtherMethods) {
    struct Case {
        uint16_t flags, method;
        Fault expected;
    };
    for (const Case& c : {Case{1, 8, Fault::Encrypted}, Case{0x41, 8, Fault::Encrypted},
                          Case{0, 99, Fault::Encrypted}, Case{0, 12, Fault::Method}, Case{0, 14, Fault::Method},
                          Case{0, 1, Fault::Method}}) {
        Item e;
        e.name = "geheim.txt";
        e.data = "geheim";
        e.flags = c.flags;
        e.method = c.method;
        EXPECT_EQ(OpenFault(Build({e}).bytes), c.expected) << c.flags << "/" << c.method;
    }
}

TEST(Hostile, SymbolicLinkEntry) {
    Item link;
    link.name = "verweis";
    link.data = "/etc/passwd";
    link.versionMadeBy = 0x031E;  // Unix
    link.externalAttr = 0120777u << 16;
    EXPECT_EQ(OpenFault(Build({link}).bytes), Fault::Symlink);
    link.externalAttr = 0100644u << 16;  // a plain Unix file is fine
    EXPECT_EQ(OpenFault(Build({link}).bytes), Fault::None);
}

std::string ArchiveNamed(const std::string& name) {
    Item e;
    e.name = name;
    e.data = name.back() == '/' ? "" : "inhalt";
    e.flags = 0x800;
    return Build({e}).bytes;
}

class UnsafeName : public ::testing::TestWithParam<std::string> {};

TEST_P(UnsafeName, RefusesTheWholeArchive) {
    // The bad name comes second: nothing may be accepted before it.
    Item good;
    good.name = "gut.txt";
    good.data = "gut";
    Item bad;
    bad.name = GetParam();
    bad.data = "boese";
    bad.flags = 0x800;
    const Unpacked u = UnpackAll(Build({good, bad}).bytes);
    EXPECT_EQ(u.status.fault, Fault::UnsafeName) << GetParam();
    EXPECT_TRUE(u.files.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Names, UnsafeName,
    ::testing::Values("../x", "a/../../x", "..\\x", "a\\..\\x", "/x", "\\x", "C:\\x", "C:x", "C:/x", "\\\\srv\\s\\x",
                      "//srv/s/x", "\\\\?\\C:\\x", "a:b", "x.txt:stream", "CON", "con", "nul.txt", "COM1.log",
                      "lpt9", "a/AUX/b", "CON .txt", "CONOUT$", "COM\xC2\xB9", "x. ", "x.", "a/x /b", "a//b", "./x",
                      "a/./b", "a<b", "a|b", "a\x01" "b", std::string("a\0b", 3), std::string()));

TEST(Names, UsualNamesStaySafe) {
    for (const char* name : {"a/b/c.txt", "CONFIG.SYS", "COM10", "console.txt", "nul-x.txt", ".hidden",
                             "a b/c d.txt", "\xC3\x9C" "bersicht/Gr\xC3\xBC\xC3\x9F" "e.txt", "ordner/", "..a",
                             "a..b"}) {
        EXPECT_EQ(OpenFault(ArchiveNamed(name)), Fault::None) << name;
    }
}

TEST(Names, Decoding) {
    // UTF-8 flag with bytes that are no UTF-8: refused rather than guessed.
    EXPECT_EQ(OpenFault(ArchiveNamed("Gr\x81\xE1" "e.txt")), Fault::UnsafeName);
    EXPECT_EQ(OpenFault(ArchiveNamed("\xC0\xAF.txt")), Fault::UnsafeName);  // overlong '/'

    Item dos;
    dos.name = "Gr\x81\xE1" "e.txt";  // code page 850, no flag
    dos.data = "x";
    zipread::Reader r;
    std::string bytes = Build({dos}).bytes;
    zipread::MemorySource src(bytes.data(), bytes.size());
    ASSERT_TRUE(r.Open(src).ok());
    EXPECT_EQ(r.Entries()[0].name, u"Gr\u00fc\u00dfe.txt");

    // Info-ZIP's Unicode path field wins over the DOS name when its CRC
    // matches the stored name.
    Item up;
    up.name = "Gr?e.txt";
    up.data = "x";
    std::string field;
    const std::string utf8 = "Gr\xC3\xBC\xC3\x9F" "e.txt";
    Put16(field, 0x7075);
    Put16(field, static_cast<uint16_t>(5 + utf8.size()));
    field.push_back(1);
    Put32(field, Crc(up.name));
    field += utf8;
    up.centralExtra = field;
    bytes = Build({up}).bytes;
    zipread::MemorySource src2(bytes.data(), bytes.size());
    ASSERT_TRUE(r.Open(src2).ok());
    EXPECT_EQ(r.Entries()[0].name, u"Gr\u00fc\u00dfe.txt");

    EXPECT_EQ(zipread::DecodeCp850("\x8E\x99\x9A\xE1\x84\x94\x81"), u"\u00c4\u00d6\u00dc\u00df\u00e4\u00f6\u00fc");
}

TEST(Names, DuplicatesAndFilesUsedAsFolders) {
    struct Case {
        std::vector<std::string> names;
        Fault expected;
    };
    const Case cases[] = {
        {{"a", "a/b"}, Fault::Duplicate},          {{"a/b", "a"}, Fault::Duplicate},
        {{"a", "A/b/c"}, Fault::Duplicate},        {{"x.txt", "X.TXT"}, Fault::Duplicate},
        {{"d/", "d/"}, Fault::Duplicate},          {{"d/", "d"}, Fault::Duplicate},
        {{"\xC3\xA4.txt", "\xC3\x84.txt"}, Fault::Duplicate},
        // Beyond Latin-1, as NTFS's upcase table sees them: fullwidth a/A,
        // sigma (final and medial) and the dz digraph in all three cases.
        {{"\xEF\xBD\x81", "\xEF\xBC\xA1"}, Fault::Duplicate},
        {{"\xCF\x83", "\xCE\xA3"}, Fault::Duplicate},    {{"\xCF\x82", "\xCE\xA3"}, Fault::Duplicate},
        {{"\xC7\x86", "\xC7\x84"}, Fault::Duplicate},
        {{"\xC7\x85/x", "\xC7\x86/x"}, Fault::Duplicate}, {{"\xC7\x86", "\xC7\x85/x"}, Fault::Duplicate},
        // Folding is by single code unit to upper case: no "SS" for sharp s,
        // and the Kelvin sign, whose lower case is 'k', stays apart from it.
        {{"\xC3\x9F", "SS"}, Fault::None},       {{"\xE2\x84\xAA", "k"}, Fault::None},
        {{"\xC7\x85/x", "\xC7\x86/y"}, Fault::None},
        {{"d/", "d/f"}, Fault::None},              {{"d/f", "d/"}, Fault::None},
        {{"d/f", "d/g", "d/e/"}, Fault::None},
    };
    for (const Case& c : cases) {
        std::vector<Item> items;
        for (const std::string& n : c.names) {
            Item it;
            it.name = n;
            it.flags = 0x800;
            if (n.back() != '/') it.data = n;
            items.push_back(it);
        }
        EXPECT_EQ(OpenFault(Build(items).bytes), c.expected) << c.names[0] << " + " << c.names[1];
    }
}

TEST(Hostile, FolderEntryWithDataAndStoredSizesThatDisagree) {
    Item dir;
    dir.name = "ordner/";
    dir.data = "daten";
    EXPECT_EQ(OpenFault(Build({dir}).bytes), Fault::Damaged);
    Item stored;
    stored.name = "s.txt";
    stored.data = "abc";
    stored.declaredSize = 4;
    EXPECT_EQ(OpenFault(Build({stored}).bytes), Fault::Damaged);
}

}  // namespace
