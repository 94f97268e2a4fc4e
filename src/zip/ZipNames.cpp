// Entry names: their decoding (UTF-8, CP850), the case folding Windows
// compares them with, and the rules that keep a name inside its target.
// Portable: nothing here knows about files.
#include <algorithm>
#include <cstdint>
#include <string>

#include "zip/ZipReader.h"

namespace zipread {
namespace {

struct UpcaseRun {
    uint16_t first, last, delta, step;
};
#include "zip/UpcaseTable.inc"

// NTFS compares names through its upcase table, which maps each UTF-16 code
// unit on its own to its simple uppercase form; a narrower folding lets two
// entries through that land on one file, the second overwriting the first.
char16_t FoldCase(char16_t c) {
    if (c < 0x80) return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
    const UpcaseRun* end = kUpcaseRuns + sizeof kUpcaseRuns / sizeof kUpcaseRuns[0];
    const UpcaseRun* r =
        std::lower_bound(kUpcaseRuns, end, c, [](const UpcaseRun& run, char16_t v) { return run.last < v; });
    if (r == end || c < r->first || (c - r->first) % r->step != 0) return c;
    return static_cast<char16_t>(c + r->delta);
}

bool IsForbiddenChar(char16_t c) {
    return c < 0x20 || c == u'<' || c == u'>' || c == u'"' || c == u'|' || c == u'?' || c == u'*';
}

const char16_t kCp850High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x00C1, 0x00C2, 0x00C0, 0x00A9, 0x2563, 0x2551, 0x2557, 0x255D, 0x00A2, 0x00A5, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x00A4, 0x00F0, 0x00D0, 0x00CA, 0x00CB, 0x00C8, 0x0131, 0x00CD, 0x00CE, 0x00CF, 0x2518, 0x250C,
    0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580, 0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE,
    0x00DE, 0x00DA, 0x00DB, 0x00D9, 0x00FD, 0x00DD, 0x00AF, 0x00B4, 0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6,
    0x00A7, 0x00F7, 0x00B8, 0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0,
};

}  // namespace

std::u16string DecodeCp850(const std::string& raw) {
    std::u16string out;
    out.reserve(raw.size());
    for (char ch : raw) {
        const unsigned char c = static_cast<unsigned char>(ch);
        out.push_back(c < 0x80 ? static_cast<char16_t>(c) : kCp850High[c - 0x80]);
    }
    return out;
}

bool DecodeUtf8(const std::string& raw, std::u16string* out) {
    out->clear();
    out->reserve(raw.size());
    for (size_t i = 0; i < raw.size();) {
        const unsigned char c = static_cast<unsigned char>(raw[i]);
        size_t len = 0;
        uint32_t cp = 0, min = 0;
        if (c < 0x80) { len = 1; cp = c; }
        else if (c >= 0xC2 && c <= 0xDF) { len = 2; cp = c & 0x1Fu; min = 0x80; }
        else if (c >= 0xE0 && c <= 0xEF) { len = 3; cp = c & 0x0Fu; min = 0x800; }
        else if (c >= 0xF0 && c <= 0xF4) { len = 4; cp = c & 0x07u; min = 0x10000; }
        else return false;
        if (len > raw.size() - i) return false;
        for (size_t k = 1; k < len; ++k) {
            const unsigned char cc = static_cast<unsigned char>(raw[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3Fu);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out->push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out->push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out->push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return true;
}

std::u16string UpcaseName(std::u16string name) {
    for (auto& c : name) c = FoldCase(c);
    return name;
}

bool IsDeviceName(const std::u16string& segment) {
    std::u16string base = segment.substr(0, segment.find(u'.'));
    while (!base.empty() && base.back() == u' ') base.pop_back();
    for (auto& c : base) c = FoldCase(c);
    static const char16_t* const plain[] = {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$"};
    for (const char16_t* p : plain)
        if (base == p) return true;
    if (base.size() == 4 && (base.compare(0, 3, u"COM") == 0 || base.compare(0, 3, u"LPT") == 0)) {
        const char16_t d = base[3];
        return (d >= u'1' && d <= u'9') || d == 0xB9 || d == 0xB2 || d == 0xB3;
    }
    return false;
}

const char* UnsafeNameReason(const std::u16string& original) {
    if (original.empty()) return "empty name";
    std::u16string name = original;
    std::replace(name.begin(), name.end(), u'\\', u'/');
    if (name[0] == u'/') return "absolute path";
    if (name.back() == u'/') name.pop_back();  // marks a folder entry
    if (name.empty()) return "empty name";
    for (char16_t c : name) {
        if (c == u':') return "colon (drive letter or alternate data stream)";
        if (IsForbiddenChar(c)) return "character not allowed in Windows names";
    }
    size_t start = 0;
    while (start <= name.size()) {
        size_t stop = name.find(u'/', start);
        if (stop == std::u16string::npos) stop = name.size();
        const std::u16string segment = name.substr(start, stop - start);
        if (segment.empty()) return "empty path segment";
        if (segment == u"..") return "parent folder reference";
        if (segment.back() == u'.' || segment.back() == u' ') return "segment ends with a dot or blank";
        if (IsDeviceName(segment)) return "reserved device name";
        start = stop + 1;
    }
    return nullptr;
}

}  // namespace zipread
