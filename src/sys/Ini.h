#pragma once
#include <string>

// Reads section/key of an INI file; an absent key is written with the default.
std::wstring ReadIniValueOrInit(const std::wstring& section, const std::wstring& key,
                                const std::wstring& defaultValue, const std::wstring& fileName);
