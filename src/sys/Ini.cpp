#include "sys/Ini.h"

#include <windows.h>

#include "sys/UpdateError.h"

namespace {

// What the platform hands back for an absent key. A value that really is
// this word counts as absent too, which is harmless: no setting uses it.
constexpr const wchar_t* kAbsent = L"keinwert";
// The profile functions give at most this many characters minus the zero.
constexpr DWORD kValueBuffer = 2048;

}  // namespace

std::wstring ReadIniValueOrInit(const std::wstring& section, const std::wstring& key,
                                const std::wstring& defaultValue, const std::wstring& fileName) {
    wchar_t buf[kValueBuffer];
    const DWORD n =
        GetPrivateProfileStringW(section.c_str(), key.c_str(), kAbsent, buf, kValueBuffer, fileName.c_str());
    std::wstring value(buf, n);
    if (value != kAbsent) return value;
    // Writing the default makes the file show which settings it may carry.
    if (!WritePrivateProfileStringW(section.c_str(), key.c_str(), defaultValue.c_str(), fileName.c_str()))
        throw UpdateError(L"In " + fileName + L" kann nicht geschrieben werden");
    return defaultValue;
}
