#pragma once
#include <map>
#include <string>

#include "zip/ZipReader.h"

namespace ziptest {

class StringSink : public zipread::ByteSink {
public:
    bool Write(const void* data, size_t n) override {
        largest = std::max(largest, n);
        out.append(static_cast<const char*>(data), n);
        return true;
    }
    std::string out;
    size_t largest = 0;
};

inline std::string Utf8(const std::u16string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        uint32_t c = s[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size()) c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// Opens the bytes and extracts every entry into memory, keyed by UTF-8 name.
// The first fault ends it.
struct Unpacked {
    zipread::Status status;
    std::map<std::string, std::string> files;
};

inline Unpacked UnpackAll(zipread::ByteSource& src) {
    Unpacked u;
    zipread::Reader r;
    u.status = r.Open(src);
    if (!u.status.ok()) return u;
    for (const auto& e : r.Entries()) {
        StringSink sink;
        u.status = r.Extract(e, sink);
        if (!u.status.ok()) return u;
        u.files[Utf8(e.name)] = e.isDirectory ? std::string("<dir>") : sink.out;
    }
    return u;
}

inline Unpacked UnpackAll(const std::string& bytes) {
    zipread::MemorySource src(bytes.data(), bytes.size());
    return UnpackAll(src);
}

}  // namespace ziptest
