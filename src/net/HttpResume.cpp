#include "net/HttpResume.h"

std::wstring ResumeHeaders(uint64_t from, const std::wstring& validator) {
    if (from == 0 || validator.empty()) return std::wstring();
    return L"Range: bytes=" + std::to_wstring(from) + L"-\r\nIf-Range: " + validator + L"\r\n";
}

bool ParseCount(const std::wstring& text, uint64_t* n) {
    if (text.empty() || text.size() > 19) return false;
    uint64_t value = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        value = value * 10 + static_cast<uint64_t>(c - L'0');
    }
    *n = value;
    return true;
}

bool ParseContentRange(const std::wstring& text, uint64_t* first, uint64_t* total) {
    if (text.compare(0, 6, L"bytes ") != 0) return false;
    const size_t dash = text.find(L'-', 6), slash = text.find(L'/', 6);
    if (dash == std::wstring::npos || slash == std::wstring::npos || dash > slash) return false;
    uint64_t last = 0;
    return ParseCount(text.substr(6, dash - 6), first) && ParseCount(text.substr(dash + 1, slash - dash - 1), &last) &&
           ParseCount(text.substr(slash + 1), total) && *first <= last && last < *total;
}
