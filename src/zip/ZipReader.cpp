// Portable ZIP reader. Every length and offset read from the archive is
// distrusted: arithmetic is 64-bit and each value is checked against the
// room that is really there before it is used.
#include "zip/ZipReader.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <utility>

namespace zipread {
namespace {

constexpr uint32_t kLocalSig = 0x04034b50;
constexpr uint32_t kCentralSig = 0x02014b50;
constexpr uint32_t kEndSig = 0x06054b50;
constexpr uint32_t kZip64EndSig = 0x06064b50;
constexpr uint32_t kZip64LocatorSig = 0x07064b50;
constexpr uint32_t kDescriptorSig = 0x08074b50;
constexpr size_t kEndSize = 22;
constexpr size_t kLocatorSize = 20;
constexpr size_t kZip64EndSize = 56;
constexpr size_t kCentralSize = 46;
constexpr size_t kLocalSize = 30;
constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagDescriptor = 0x0008;
constexpr uint16_t kFlagStrongCrypto = 0x0040;
constexpr uint16_t kFlagUtf8 = 0x0800;
constexpr uint16_t kFlagMaskedDirectory = 0x2000;
constexpr uint16_t kExtraZip64 = 0x0001;
constexpr uint16_t kExtraTimestamp = 0x5455;
constexpr uint16_t kExtraUnicodePath = 0x7075;
constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflate = 8;
constexpr uint16_t kMethodAes = 99;
constexpr uint32_t kMarker32 = 0xFFFFFFFFu;
constexpr uint16_t kMarker16 = 0xFFFFu;

uint16_t Le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
uint64_t Le64(const unsigned char* p) { return Le32(p) | static_cast<uint64_t>(Le32(p + 4)) << 32; }

Status Fail(Fault fault, std::string why, std::u16string entry = {}) {
    Status s;
    s.fault = fault;
    s.why = std::move(why);
    s.entry = std::move(entry);
    return s;
}

// Reads through one buffer so that walking the central directory costs a
// read per 64 KiB instead of two per record.
class Window {
public:
    explicit Window(ByteSource& source) : source_(source), size_(source.Size()) {}

    uint64_t Size() const { return size_; }

    // Points *p at n bytes at offset. A range outside the source gives the
    // fault passed in; a failing read gives ReadError.
    Status Get(uint64_t offset, size_t n, const unsigned char** p, Fault outside, const char* what) {
        if (offset > size_ || n > size_ - offset) return Fail(outside, std::string(what) + " outside the file");
        if (offset < start_ || offset - start_ > buffer_.size() || n > buffer_.size() - (offset - start_)) {
            const size_t load = static_cast<size_t>(std::min<uint64_t>(std::max(n, Reader::kBufferSize), size_ - offset));
            buffer_.resize(load);
            start_ = offset;
            if (load > 0 && !source_.ReadAt(offset, buffer_.data(), load)) {
                buffer_.clear();
                return Fail(Fault::ReadError, std::string("cannot read ") + what);
            }
        }
        *p = buffer_.data() + (offset - start_);
        return {};
    }

private:
    ByteSource& source_;
    uint64_t size_;
    uint64_t start_ = 0;
    std::vector<unsigned char> buffer_;
};

struct Span {
    uint64_t begin, end;
    bool operator<(const Span& o) const { return begin != o.begin ? begin < o.begin : end < o.end; }
};

// Calls f(id, data, size) for every sub-block; false when one of them runs
// past the field. A tail shorter than a block header is padding some
// writers leave and is ignored.
template <typename F>
bool ForEachExtra(const unsigned char* p, size_t len, F f) {
    while (len >= 4) {
        const uint16_t id = Le16(p);
        const size_t size = Le16(p + 2);
        if (size > len - 4) return false;
        f(id, p + 4, size);
        p += 4 + size;
        len -= 4 + size;
    }
    return true;
}

bool FindExtra(const unsigned char* p, size_t len, uint16_t wanted, const unsigned char** data, size_t* size) {
    bool found = false;
    ForEachExtra(p, len, [&](uint16_t id, const unsigned char* d, size_t n) {
        if (id == wanted && !found) {
            found = true;
            *data = d;
            *size = n;
        }
    });
    return found;
}

// The values a ZIP64 field replaces appear in a fixed order, each only when
// its short form holds the marker.
struct Zip64Values {
    uint64_t uncompressed, compressed, offset;
    uint32_t disk;
};

bool ReadZip64(const unsigned char* extra, size_t extraLen, Zip64Values* v, bool needU, bool needC, bool needO,
               bool needD) {
    if (!needU && !needC && !needO && !needD) return true;
    const unsigned char* d = nullptr;
    size_t n = 0;
    if (!FindExtra(extra, extraLen, kExtraZip64, &d, &n)) return false;
    const size_t needed = 8u * (needU + needC + needO) + 4u * needD;
    if (n < needed) return false;
    if (needU) { v->uncompressed = Le64(d); d += 8; }
    if (needC) { v->compressed = Le64(d); d += 8; }
    if (needO) { v->offset = Le64(d); d += 8; }
    if (needD) v->disk = Le32(d);
    return true;
}

bool HasHighByte(const std::string& s) {
    return std::any_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// Names without the UTF-8 flag: Info-ZIP on Unix stores the bytes of the
// file system (UTF-8 today) and says so by nothing but the host system;
// anything else without the flag is in the DOS code page, which on German
// Windows is 850 (437 agrees with it on all German letters).
std::u16string DecodeName(const std::string& raw, uint16_t flags, uint16_t versionMadeBy, const unsigned char* extra,
                          size_t extraLen, bool* ok) {
    std::u16string name;
    *ok = true;
    if (flags & kFlagUtf8) {
        *ok = DecodeUtf8(raw, &name);
        return name;
    }
    const unsigned char* d = nullptr;
    size_t n = 0;
    if (FindExtra(extra, extraLen, kExtraUnicodePath, &d, &n) && n > 5 && d[0] == 1) {
        const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(raw.data()), static_cast<uInt>(raw.size()));
        if (static_cast<uint32_t>(crc) == Le32(d + 1) &&
            DecodeUtf8(std::string(reinterpret_cast<const char*>(d + 5), n - 5), &name))
            return name;
        name.clear();
    }
    const unsigned host = versionMadeBy >> 8;
    if ((host == 3 || host == 19) && HasHighByte(raw) && DecodeUtf8(raw, &name)) return name;
    return DecodeCp850(raw);
}

std::u16string FoldedPath(const std::u16string& name) {
    std::u16string p = UpcaseName(name);
    if (!p.empty() && p.back() == u'/') p.pop_back();
    return p;
}

Status CheckEntryKind(const Entry& e) {
    const unsigned host = e.versionMadeBy >> 8;
    if (host == 3 && ((e.externalAttr >> 16) & 0xF000u) == 0xA000u)
        return Fail(Fault::Symlink, "symbolic link", e.name);
    if ((e.flags & (kFlagEncrypted | kFlagStrongCrypto | kFlagMaskedDirectory)) || e.method == kMethodAes)
        return Fail(Fault::Encrypted, "encrypted entry", e.name);
    if (e.method != kMethodStored && e.method != kMethodDeflate)
        return Fail(Fault::Method, "compression method " + std::to_string(e.method), e.name);
    if (e.method == kMethodStored && e.compressedSize != e.uncompressedSize)
        return Fail(Fault::Damaged, "stored entry with two different sizes", e.name);
    if (e.isDirectory && e.uncompressedSize != 0) return Fail(Fault::Damaged, "folder entry with data", e.name);
    return {};
}

// Parses the central record at *pos and advances *pos past it.
Status ParseCentral(Window& w, uint64_t* pos, uint64_t cdEnd, Entry* e) {
    if (cdEnd - *pos < kCentralSize) return Fail(Fault::Damaged, "entry count disagrees with the central directory");
    const unsigned char* p = nullptr;
    Status s = w.Get(*pos, kCentralSize, &p, Fault::Damaged, "central record");
    if (!s.ok()) return s;
    if (Le32(p) != kCentralSig) return Fail(Fault::Damaged, "entry count disagrees with the central directory");
    e->versionMadeBy = Le16(p + 4);
    e->flags = Le16(p + 8);
    e->method = Le16(p + 10);
    e->dosTime = Le16(p + 12);
    e->dosDate = Le16(p + 14);
    e->crc = Le32(p + 16);
    const uint32_t csize = Le32(p + 20), usize = Le32(p + 24);
    const size_t nameLen = Le16(p + 28), extraLen = Le16(p + 30), commentLen = Le16(p + 32);
    const uint16_t disk = Le16(p + 34);
    e->externalAttr = Le32(p + 38);
    const uint32_t offset = Le32(p + 42);
    if (kCentralSize + nameLen + extraLen + commentLen > cdEnd - *pos)
        return Fail(Fault::Damaged, "name, extra field or comment runs past its central record");
    s = w.Get(*pos + kCentralSize, nameLen + extraLen, &p, Fault::Damaged, "central record");
    if (!s.ok()) return s;
    e->rawName.assign(reinterpret_cast<const char*>(p), nameLen);
    const unsigned char* extra = p + nameLen;
    *pos += kCentralSize + nameLen + extraLen + commentLen;

    if (!ForEachExtra(extra, extraLen, [](uint16_t, const unsigned char*, size_t) {}))
        return Fail(Fault::Damaged, "extra block runs past its field");
    Zip64Values v{usize, csize, offset, disk};
    if (!ReadZip64(extra, extraLen, &v, usize == kMarker32, csize == kMarker32, offset == kMarker32,
                   disk == kMarker16))
        return Fail(Fault::Damaged, "ZIP64 marker without a ZIP64 field that holds the value");
    if (v.disk != 0) return Fail(Fault::Damaged, "entry on another disk");
    e->uncompressedSize = v.uncompressed;
    e->compressedSize = v.compressed;
    e->localOffset = v.offset;
    const unsigned char* t = nullptr;
    size_t tn = 0;
    if (FindExtra(extra, extraLen, kExtraTimestamp, &t, &tn) && tn >= 5 && (t[0] & 1)) {
        e->hasUnixTime = true;
        e->unixTime = static_cast<int32_t>(Le32(t + 1));
    }

    if (e->rawName.empty()) return Fail(Fault::UnsafeName, "empty name");
    if (e->rawName.find('\0') != std::string::npos)
        return Fail(Fault::UnsafeName, "NUL in name", DecodeCp850(e->rawName));
    bool decoded = true;
    e->name = DecodeName(e->rawName, e->flags, e->versionMadeBy, extra, extraLen, &decoded);
    std::replace(e->name.begin(), e->name.end(), u'\\', u'/');
    if (!decoded) return Fail(Fault::UnsafeName, "name is no valid UTF-8", DecodeCp850(e->rawName));
    if (const char* why = UnsafeNameReason(e->name)) return Fail(Fault::UnsafeName, why, e->name);
    e->isDirectory = e->name.back() == u'/';
    return CheckEntryKind(*e);
}

// The data descriptor repeats CRC and sizes after the data, with or without
// its signature, with 4- or 8-byte sizes. The form that repeats the
// directory's values is the one the writer used.
Status DescriptorLength(Window& w, const Entry& e, uint64_t end, bool zip64First, uint64_t* len) {
    const size_t avail = static_cast<size_t>(std::min<uint64_t>(24, w.Size() - end));
    const unsigned char* p = nullptr;
    Status s = w.Get(end, avail, &p, Fault::Overlap, "data descriptor");
    if (!s.ok()) return s;
    const bool signed_ = avail >= 4 && Le32(p) == kDescriptorSig;
    for (size_t skip : {signed_ ? size_t{4} : size_t{0}, size_t{0}}) {
        for (int pass = 0; pass < 2; ++pass) {
            const bool wide = (pass == 0) == zip64First;
            const size_t need = skip + (wide ? 20 : 12);
            if (avail < need || Le32(p + skip) != e.crc) continue;
            const uint64_t c = wide ? Le64(p + skip + 4) : Le32(p + skip + 4);
            const uint64_t u = wide ? Le64(p + skip + 12) : Le32(p + skip + 8);
            if (c == e.compressedSize && u == e.uncompressedSize) {
                *len = need;
                return {};
            }
        }
    }
    return Fail(Fault::Damaged, "data descriptor disagrees with the central directory", e.name);
}

// Cross-checks the local header against the central record and yields the
// span the entry occupies: header, data and descriptor.
Status CheckLocal(Window& w, Entry* e, Span* span) {
    const unsigned char* p = nullptr;
    Status s = w.Get(e->localOffset, kLocalSize, &p, Fault::Overlap, "local header");
    if (!s.ok()) return (s.entry = e->name, s);
    if (Le32(p) != kLocalSig) return Fail(Fault::Damaged, "no local header where the directory points", e->name);
    const uint16_t flags = Le16(p + 6), method = Le16(p + 8);
    const uint32_t crc = Le32(p + 14), csize = Le32(p + 18), usize = Le32(p + 22);
    const size_t nameLen = Le16(p + 26), extraLen = Le16(p + 28);
    if (method != e->method || ((flags ^ e->flags) & (kFlagEncrypted | kFlagDescriptor)))
        return Fail(Fault::Damaged, "local header disagrees with the central directory", e->name);
    s = w.Get(e->localOffset + kLocalSize, nameLen + extraLen, &p, Fault::Overlap, "local header");
    if (!s.ok()) return (s.entry = e->name, s);
    if (nameLen != e->rawName.size() || std::memcmp(p, e->rawName.data(), nameLen) != 0)
        return Fail(Fault::Damaged, "local name differs from the central directory", e->name);
    const unsigned char* extra = p + nameLen;
    if (!ForEachExtra(extra, extraLen, [](uint16_t, const unsigned char*, size_t) {}))
        return Fail(Fault::Damaged, "local extra block runs past its field", e->name);
    const unsigned char* d = nullptr;
    size_t dn = 0;
    const bool localZip64 = FindExtra(extra, extraLen, kExtraZip64, &d, &dn);
    if (!(flags & kFlagDescriptor)) {
        Zip64Values v{usize, csize, 0, 0};
        if (!ReadZip64(extra, extraLen, &v, usize == kMarker32, csize == kMarker32, false, false))
            return Fail(Fault::Damaged, "local ZIP64 marker without a ZIP64 field", e->name);
        if (crc != e->crc || v.compressed != e->compressedSize || v.uncompressed != e->uncompressedSize)
            return Fail(Fault::Damaged, "local header disagrees with the central directory", e->name);
    }
    e->dataOffset = e->localOffset + kLocalSize + nameLen + extraLen;
    if (e->compressedSize > w.Size() - e->dataOffset)
        return Fail(Fault::Overlap, "entry data runs past the end of the file", e->name);
    uint64_t end = e->dataOffset + e->compressedSize;
    if (flags & kFlagDescriptor) {
        uint64_t len = 0;
        s = DescriptorLength(w, *e, end, localZip64, &len);
        if (!s.ok()) return s;
        end += len;
    }
    *span = {e->localOffset, end};
    return {};
}

// A path must be unique, and no file may also be the folder of another entry.
class PathRegistry {
public:
    Status Add(const Entry& e) {
        const std::u16string path = FoldedPath(e.name);
        for (size_t k = path.find(u'/'); k != std::u16string::npos; k = path.find(u'/', k + 1)) {
            auto it = kinds_.emplace(path.substr(0, k), Kind::ImpliedFolder).first;
            if (it->second == Kind::File) return Fail(Fault::Duplicate, "a file is also used as a folder", e.name);
        }
        auto [it, fresh] = kinds_.emplace(path, e.isDirectory ? Kind::Folder : Kind::File);
        if (fresh) return {};
        if (it->second == Kind::ImpliedFolder && e.isDirectory) {
            it->second = Kind::Folder;
            return {};
        }
        return Fail(Fault::Duplicate,
                    it->second == Kind::ImpliedFolder ? "a file is also used as a folder" : "duplicate name", e.name);
    }

private:
    enum class Kind { File, Folder, ImpliedFolder };
    std::unordered_map<std::u16string, Kind> kinds_;
};

struct EndRecords {
    uint64_t count = 0, cdSize = 0, cdOffset = 0;
    uint64_t begin = 0;  // first byte of the end records
};

Status FindEndRecord(Window& w, uint64_t* endPos) {
    const uint64_t size = w.Size();
    if (size < kEndSize) return Fail(Fault::NotAnArchive, "shorter than an end record");
    const size_t tail = static_cast<size_t>(std::min<uint64_t>(size, kEndSize + 0xFFFF));
    const unsigned char* t = nullptr;
    Status s = w.Get(size - tail, tail, &t, Fault::NotAnArchive, "end record");
    if (!s.ok()) return s;
    int seen = 0, fitting = 0;
    for (size_t i = tail - kEndSize + 1; i-- > 0;) {
        if (Le32(t + i) != kEndSig) continue;
        ++seen;
        // Only a record whose comment ends exactly at the end of the file is
        // the real one; a signature inside the comment must not win.
        if (kEndSize + Le16(t + i + 20) == tail - i && fitting++ == 0) *endPos = size - tail + i;
    }
    if (seen == 0) return Fail(Fault::NotAnArchive, "no end record");
    if (fitting == 0) return Fail(Fault::Damaged, "end record comment does not end with the file");
    if (fitting > 1) return Fail(Fault::Damaged, "more than one end record");
    return {};
}

bool Agrees(uint64_t shortForm, uint64_t full, uint64_t marker) {
    return shortForm == marker || shortForm == (full & marker);
}

Status ReadZip64End(Window& w, uint64_t endPos, const unsigned char* end, EndRecords* r, std::vector<Span>* spans) {
    const uint64_t loc = endPos - kLocatorSize;
    const unsigned char* p = nullptr;
    Status s = w.Get(loc, kLocatorSize, &p, Fault::Damaged, "ZIP64 locator");
    if (!s.ok()) return s;
    const uint32_t diskOfRecord = Le32(p + 4), disks = Le32(p + 16);
    const uint64_t at = Le64(p + 8);
    // Some writers put 0 into the disk count; both 0 and 1 mean one disk.
    if (diskOfRecord != 0 || disks > 1) return Fail(Fault::Damaged, "archive spans several disks");
    if (at > loc || loc - at < kZip64EndSize) return Fail(Fault::Damaged, "ZIP64 end record outside its room");
    s = w.Get(at, kZip64EndSize, &p, Fault::Damaged, "ZIP64 end record");
    if (!s.ok()) return s;
    const uint64_t recordSize = Le64(p + 4);
    if (Le32(p) != kZip64EndSig || recordSize < kZip64EndSize - 12 || recordSize > loc - at - 12)
        return Fail(Fault::Damaged, "no valid ZIP64 end record where the locator points");
    if (Le32(p + 16) != 0 || Le32(p + 20) != 0) return Fail(Fault::Damaged, "archive spans several disks");
    const uint64_t countHere = Le64(p + 24);
    r->count = Le64(p + 32);
    r->cdSize = Le64(p + 40);
    r->cdOffset = Le64(p + 48);
    if (countHere != r->count || !Agrees(Le16(end + 8), countHere, kMarker16) ||
        !Agrees(Le16(end + 10), r->count, kMarker16) || !Agrees(Le32(end + 12), r->cdSize, kMarker32) ||
        !Agrees(Le32(end + 16), r->cdOffset, kMarker32))
        return Fail(Fault::Damaged, "end record and ZIP64 end record disagree");
    r->begin = at;
    spans->push_back({at, at + 12 + recordSize});
    spans->push_back({loc, endPos});
    return {};
}

Status ReadEndRecords(Window& w, EndRecords* r, std::vector<Span>* spans) {
    uint64_t endPos = 0;
    Status s = FindEndRecord(w, &endPos);
    if (!s.ok()) return s;
    const unsigned char* p = nullptr;
    s = w.Get(endPos, kEndSize, &p, Fault::Damaged, "end record");
    if (!s.ok()) return s;
    unsigned char end[kEndSize];
    std::memcpy(end, p, kEndSize);
    spans->push_back({endPos, w.Size()});
    bool locator = false;
    if (endPos >= kLocatorSize) {
        s = w.Get(endPos - kLocatorSize, 4, &p, Fault::Damaged, "ZIP64 locator");
        if (!s.ok()) return s;
        locator = Le32(p) == kZip64LocatorSig;
    }
    if (locator) {
        s = ReadZip64End(w, endPos, end, r, spans);
        if (!s.ok()) return s;
    } else {
        if (Le16(end + 4) == kMarker16 || Le16(end + 6) == kMarker16 || Le16(end + 8) == kMarker16 ||
            Le16(end + 10) == kMarker16 || Le32(end + 12) == kMarker32 || Le32(end + 16) == kMarker32)
            return Fail(Fault::Damaged, "ZIP64 markers without a ZIP64 end record");
        if (Le16(end + 4) != 0 || Le16(end + 6) != 0) return Fail(Fault::Damaged, "archive spans several disks");
        if (Le16(end + 8) != Le16(end + 10)) return Fail(Fault::Damaged, "entry counts of the end record disagree");
        r->count = Le16(end + 10);
        r->cdSize = Le32(end + 12);
        r->cdOffset = Le32(end + 16);
        r->begin = endPos;
    }
    if (r->cdOffset > r->begin || r->cdSize > r->begin - r->cdOffset)
        return Fail(Fault::Damaged, "central directory does not lie before the end record");
    if (r->count > r->cdSize / kCentralSize)
        return Fail(Fault::Damaged, "entry count disagrees with the central directory");
    spans->push_back({r->cdOffset, r->cdOffset + r->cdSize});
    return {};
}

}  // namespace

bool MemorySource::ReadAt(uint64_t offset, void* buffer, size_t n) {
    if (offset > size_ || n > size_ - offset) return false;
    if (n > 0) std::memcpy(buffer, data_ + offset, n);
    return true;
}

struct Reader::Inflater {
    z_stream z{};
    bool ready = false;
    ~Inflater() {
        if (ready) inflateEnd(&z);
    }
};

Reader::Reader() : inflater_(new Inflater) {}
Reader::~Reader() = default;

Status Reader::Open(ByteSource& source) {
    entries_.clear();
    source_ = &source;
    Window w(source);
    EndRecords r;
    std::vector<Span> spans;
    Status s = ReadEndRecords(w, &r, &spans);
    if (!s.ok()) return s;

    std::vector<Entry> entries;
    entries.reserve(static_cast<size_t>(r.count));
    PathRegistry paths;
    uint64_t pos = r.cdOffset;
    const uint64_t cdEnd = r.cdOffset + r.cdSize;
    for (uint64_t i = 0; i < r.count; ++i) {
        Entry e;
        s = ParseCentral(w, &pos, cdEnd, &e);
        if (!s.ok()) return s;
        s = paths.Add(e);
        if (!s.ok()) return s;
        entries.push_back(std::move(e));
    }
    if (pos != cdEnd) return Fail(Fault::Damaged, "entry count disagrees with the central directory");
    for (Entry& e : entries) {
        Span span{};
        s = CheckLocal(w, &e, &span);
        if (!s.ok()) return s;
        spans.push_back(span);
    }
    // Two entries sharing bytes is how overlapping-file bombs multiply a
    // small archive; every structure must own its bytes alone.
    std::sort(spans.begin(), spans.end());
    for (size_t i = 1; i < spans.size(); ++i)
        if (spans[i].begin < spans[i - 1].end) return Fail(Fault::Overlap, "byte spans of the archive overlap");
    entries_ = std::move(entries);
    return {};
}

Status Reader::Extract(const Entry& entry, ByteSink& sink) {
    if (entry.isDirectory) return {};
    if (!source_) return Fail(Fault::ReadError, "no archive open", entry.name);
    in_.resize(kBufferSize);
    out_.resize(kBufferSize);
    return entry.method == kMethodStored ? Copy(entry, sink) : Inflate(entry, sink);
}

Status Reader::Copy(const Entry& entry, ByteSink& sink) {
    uLong crc = crc32(0, Z_NULL, 0);
    uint64_t left = entry.compressedSize, at = entry.dataOffset;
    while (left > 0) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(left, kBufferSize));
        if (!source_->ReadAt(at, in_.data(), n)) return Fail(Fault::ReadError, "cannot read entry data", entry.name);
        crc = crc32(crc, in_.data(), static_cast<uInt>(n));
        if (!sink.Write(in_.data(), n)) return Fail(Fault::WriteError, "cannot write", entry.name);
        left -= n;
        at += n;
    }
    if (static_cast<uint32_t>(crc) != entry.crc) return Fail(Fault::Crc, "CRC-32 mismatch", entry.name);
    return {};
}

Status Reader::Inflate(const Entry& entry, ByteSink& sink) {
    z_stream& z = inflater_->z;
    if (!inflater_->ready) {
        if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return Fail(Fault::ReadError, "zlib unavailable", entry.name);
        inflater_->ready = true;
    } else if (inflateReset(&z) != Z_OK) {
        return Fail(Fault::ReadError, "zlib unavailable", entry.name);
    }
    z.avail_in = 0;
    uLong crc = crc32(0, Z_NULL, 0);
    uint64_t left = entry.compressedSize, at = entry.dataOffset, produced = 0;
    int ret = Z_OK;
    while (ret != Z_STREAM_END) {
        if (z.avail_in == 0 && left > 0) {
            const size_t n = static_cast<size_t>(std::min<uint64_t>(left, kBufferSize));
            if (!source_->ReadAt(at, in_.data(), n))
                return Fail(Fault::ReadError, "cannot read entry data", entry.name);
            z.next_in = in_.data();
            z.avail_in = static_cast<uInt>(n);
            left -= n;
            at += n;
        }
        z.next_out = out_.data();
        z.avail_out = static_cast<uInt>(kBufferSize);
        ret = inflate(&z, Z_NO_FLUSH);
        if (ret != Z_OK && ret != Z_STREAM_END && ret != Z_BUF_ERROR)
            return Fail(Fault::Damaged, "deflate data damaged", entry.name);
        const size_t have = kBufferSize - z.avail_out;
        if (have > entry.uncompressedSize - produced)
            return Fail(Fault::TooLong, "data longer than declared", entry.name);
        if (have > 0) {
            crc = crc32(crc, out_.data(), static_cast<uInt>(have));
            if (!sink.Write(out_.data(), have)) return Fail(Fault::WriteError, "cannot write", entry.name);
            produced += have;
        }
        if (ret == Z_BUF_ERROR && z.avail_in == 0 && left == 0)
            return Fail(Fault::Size, "compressed data ends before the end of its stream", entry.name);
    }
    if (z.avail_in != 0 || left != 0) return Fail(Fault::Damaged, "data after the end of the deflate stream", entry.name);
    if (produced != entry.uncompressedSize) return Fail(Fault::Size, "data shorter than declared", entry.name);
    if (static_cast<uint32_t>(crc) != entry.crc) return Fail(Fault::Crc, "CRC-32 mismatch", entry.name);
    return {};
}

}  // namespace zipread
