#pragma once
// A minimal archive writer for the tests that need bytes no real tool would
// produce: every field can be set or patched afterwards.
#include <zlib.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace zipbuild {

inline void Put16(std::string& s, uint16_t v) {
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>(v >> 8));
}
inline void Put32(std::string& s, uint32_t v) {
    Put16(s, static_cast<uint16_t>(v & 0xFFFF));
    Put16(s, static_cast<uint16_t>(v >> 16));
}
inline void Put64(std::string& s, uint64_t v) {
    Put32(s, static_cast<uint32_t>(v));
    Put32(s, static_cast<uint32_t>(v >> 32));
}
inline void Set16(std::string& s, size_t at, uint16_t v) {
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>(v >> 8);
}
inline void Set32(std::string& s, size_t at, uint32_t v) {
    Set16(s, at, static_cast<uint16_t>(v & 0xFFFF));
    Set16(s, at + 2, static_cast<uint16_t>(v >> 16));
}

inline std::string RawDeflate(const std::string& data) {
    z_stream z{};
    if (deflateInit2(&z, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::runtime_error("zlib");
    std::string out(deflateBound(&z, data.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

inline uint32_t Crc(const std::string& data) {
    return static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

struct Item {
    std::string name;
    std::string data;
    bool deflate = false;
    uint16_t flags = 0;
    std::optional<uint16_t> method;       // default: from deflate
    uint16_t versionMadeBy = 20;          // host 0 (FAT)
    uint32_t externalAttr = 0;
    bool descriptor = false;              // flag bit 3, CRC and sizes after the data
    bool descriptorSignature = true;
    bool zip64 = false;                   // sizes and offset in ZIP64 fields
    std::string localExtra, centralExtra;
    std::optional<uint32_t> crc;          // declared CRC instead of the real one
    std::optional<uint64_t> declaredSize; // declared uncompressed size
};

struct Archive {
    std::string bytes;
    std::vector<size_t> local;    // offset of each local header
    std::vector<size_t> central;  // offset of each central record
    size_t cdOffset = 0, cdSize = 0, end = 0;
};

struct Options {
    std::string comment;
    bool zip64End = false;  // ZIP64 end record and locator, markers in the end record
    uint32_t locatorDisks = 1;
};

inline std::string Zip64Field(uint64_t usize, uint64_t csize, std::optional<uint64_t> offset) {
    std::string f;
    Put16(f, 1);
    Put16(f, static_cast<uint16_t>(offset ? 24 : 16));
    Put64(f, usize);
    Put64(f, csize);
    if (offset) Put64(f, *offset);
    return f;
}

inline Archive Build(const std::vector<Item>& items, const Options& opt = {}) {
    Archive a;
    std::string cd;
    for (const Item& it : items) {
        const std::string payload = it.deflate ? RawDeflate(it.data) : it.data;
        const uint16_t method = it.method ? *it.method : static_cast<uint16_t>(it.deflate ? 8 : 0);
        const uint32_t crc = it.crc ? *it.crc : Crc(it.data);
        const uint64_t usize = it.declaredSize ? *it.declaredSize : it.data.size();
        const uint64_t csize = payload.size();
        const uint16_t flags = static_cast<uint16_t>(it.flags | (it.descriptor ? 8 : 0));
        const size_t offset = a.bytes.size();
        a.local.push_back(offset);

        std::string lh;
        Put32(lh, 0x04034b50);
        Put16(lh, it.zip64 ? 45 : 20);
        Put16(lh, flags);
        Put16(lh, method);
        Put16(lh, 0x2a00);  // 05:16:00
        Put16(lh, 0x5264);  // 2021-03-04
        const bool blank = it.descriptor;
        Put32(lh, blank ? 0 : crc);
        Put32(lh, it.zip64 ? 0xFFFFFFFFu : blank ? 0 : static_cast<uint32_t>(csize));
        Put32(lh, it.zip64 ? 0xFFFFFFFFu : blank ? 0 : static_cast<uint32_t>(usize));
        std::string lextra = it.localExtra;
        if (it.zip64) lextra = Zip64Field(blank ? 0 : usize, blank ? 0 : csize, std::nullopt) + lextra;
        Put16(lh, static_cast<uint16_t>(it.name.size()));
        Put16(lh, static_cast<uint16_t>(lextra.size()));
        a.bytes += lh + it.name + lextra + payload;
        if (it.descriptor) {
            if (it.descriptorSignature) Put32(a.bytes, 0x08074b50);
            Put32(a.bytes, crc);
            if (it.zip64) {
                Put64(a.bytes, csize);
                Put64(a.bytes, usize);
            } else {
                Put32(a.bytes, static_cast<uint32_t>(csize));
                Put32(a.bytes, static_cast<uint32_t>(usize));
            }
        }

        std::string cextra = it.centralExtra;
        if (it.zip64) cextra = Zip64Field(usize, csize, offset) + cextra;
        a.central.push_back(cd.size());
        Put32(cd, 0x02014b50);
        Put16(cd, it.versionMadeBy);
        Put16(cd, it.zip64 ? 45 : 20);
        Put16(cd, flags);
        Put16(cd, method);
        Put16(cd, 0x2a00);
        Put16(cd, 0x5264);
        Put32(cd, crc);
        Put32(cd, it.zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(csize));
        Put32(cd, it.zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(usize));
        Put16(cd, static_cast<uint16_t>(it.name.size()));
        Put16(cd, static_cast<uint16_t>(cextra.size()));
        Put16(cd, 0);  // comment
        Put16(cd, 0);  // disk
        Put16(cd, 0);  // internal attributes
        Put32(cd, it.externalAttr);
        Put32(cd, it.zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(offset));
        cd += it.name + cextra;
    }
    a.cdOffset = a.bytes.size();
    a.cdSize = cd.size();
    for (size_t& c : a.central) c += a.cdOffset;
    a.bytes += cd;
    if (opt.zip64End) {
        const size_t at = a.bytes.size();
        Put32(a.bytes, 0x06064b50);
        Put64(a.bytes, 44);
        Put16(a.bytes, 45);
        Put16(a.bytes, 45);
        Put32(a.bytes, 0);
        Put32(a.bytes, 0);
        Put64(a.bytes, items.size());
        Put64(a.bytes, items.size());
        Put64(a.bytes, a.cdSize);
        Put64(a.bytes, a.cdOffset);
        Put32(a.bytes, 0x07064b50);
        Put32(a.bytes, 0);
        Put64(a.bytes, at);
        Put32(a.bytes, opt.locatorDisks);
    }
    a.end = a.bytes.size();
    Put32(a.bytes, 0x06054b50);
    Put16(a.bytes, 0);
    Put16(a.bytes, 0);
    Put16(a.bytes, opt.zip64End ? 0xFFFF : static_cast<uint16_t>(items.size()));
    Put16(a.bytes, opt.zip64End ? 0xFFFF : static_cast<uint16_t>(items.size()));
    Put32(a.bytes, opt.zip64End ? 0xFFFFFFFFu : static_cast<uint32_t>(a.cdSize));
    Put32(a.bytes, opt.zip64End ? 0xFFFFFFFFu : static_cast<uint32_t>(a.cdOffset));
    Put16(a.bytes, static_cast<uint16_t>(opt.comment.size()));
    a.bytes += opt.comment;
    return a;
}

}  // namespace zipbuild
