#pragma once
#include <codecvt>
#include <locale>
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
    return std::wstring_convert<std::codecvt_utf8_utf16<char16_t>, char16_t>().to_bytes(s);
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
