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
