#pragma once
// String helpers shared by the work layer and the settings: case mapping,
// trimming, and the characters no file name may hold.
#include <cstdint>
#include <string>

// Windows' own case mapping, so names and keywords compare the way the file
// system does.
std::wstring Upper(std::wstring s);
// ASCII letters only: for words that must be typed exactly, where no other
// letter may pass for one of them.
std::wstring AsciiUpper(std::wstring s);

// True when text begins with prefix, compared as Upper() maps both.
bool StartsWithNoCase(const std::wstring& text, const std::wstring& prefix);

// path with every '/' turned into a '\', as Windows paths are compared and
// built.
std::wstring Backslashed(std::wstring path);

// 1 to maxDigits (at most 19) decimal digits and nothing else, no sign, no
// blanks: a count as lists and servers write it. *value is set only on
// success.
bool ParseDecimalDigits(const std::wstring& text, size_t maxDigits, uint64_t* value);

// s without the characters at either end for which isPadding holds.
std::wstring Trimmed(const std::wstring& s, bool (*isPadding)(wchar_t));
// Characters up to code 32 (blanks and control characters): what a field
// or a registered folder may carry around its text.
inline bool IsBlankOrControl(wchar_t c) { return c <= L' '; }
// A blank or a tab: what separates words on a command line and pads the
// keys and values of a list or a header.
inline bool IsBlankOrTab(wchar_t c) { return c == L' ' || c == L'\t'; }

// Control codes and \ / : * ? " < > |: a file name cannot hold them.
bool IsForbiddenInFileName(wchar_t c);
