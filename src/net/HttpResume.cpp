#include "net/HttpResume.h"

#include "sys/Text.h"

std::wstring ResumeHeaders(uint64_t from, const std::wstring& validator) {
    if (from == 0 || validator.empty()) return std::wstring();
    return L"Range: bytes=" + std::to_wstring(from) + L"-\r\nIf-Range: " + validator + L"\r\n";
}

bool ParseContentRange(const std::wstring& text, uint64_t* first, uint64_t* total) {
    if (text.compare(0, 6, L"bytes ") != 0) return false;
    const size_t dash = text.find(L'-', 6), slash = text.find(L'/', 6);
    if (dash == std::wstring::npos || slash == std::wstring::npos || dash > slash) return false;
    uint64_t last = 0;
    return ParseDecimalDigits(text.substr(6, dash - 6), 19, first) &&
           ParseDecimalDigits(text.substr(dash + 1, slash - dash - 1), 19, &last) &&
           ParseDecimalDigits(text.substr(slash + 1), 19, total) && *first <= last && last < *total;
}
