#include "sys/Text.h"

#include <windows.h>

#include <string_view>

std::wstring Upper(std::wstring s) {
    if (!s.empty()) CharUpperBuffW(&s[0], static_cast<DWORD>(s.size()));
    return s;
}

std::wstring AsciiUpper(std::wstring s) {
    for (wchar_t& c : s)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    return s;
}

std::wstring Backslashed(std::wstring path) {
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

bool ParseDecimalDigits(const std::wstring& text, size_t maxDigits, uint64_t* value) {
    if (text.empty() || text.size() > maxDigits || maxDigits > 19) return false;
    uint64_t n = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        n = n * 10 + static_cast<uint64_t>(c - L'0');
    }
    *value = n;
    return true;
}

std::wstring Trimmed(const std::wstring& s, bool (*isPadding)(wchar_t)) {
    size_t first = 0, end = s.size();
    while (first < end && isPadding(s[first])) ++first;
    while (end > first && isPadding(s[end - 1])) --end;
    return s.substr(first, end - first);
}

bool IsForbiddenInFileName(wchar_t c) {
    return c < 0x20 || std::wstring_view(L"\\/:*?\"<>|").find(c) != std::wstring_view::npos;
}

bool StartsWithNoCase(const std::wstring& text, const std::wstring& prefix) {
    return text.size() >= prefix.size() && Upper(text.substr(0, prefix.size())) == Upper(prefix);
}
