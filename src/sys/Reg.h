#pragma once
// The settings store: string values below a registry root (the one the
// start-up chose, Session::registryRoot).
#include <windows.h>
#include <string>

// Keys used throughout the program (relative to a root, leading backslash).
inline constexpr const wchar_t* kSettingsKey = L"\\SOFTWARE\\Talvero\\CAD\\Settings";

HKEY DetermineRegistryRoot();
void WriteRootKey(const std::wstring& value);
bool RegKeyExists(HKEY root, const std::wstring& key);
std::wstring RegReadString(HKEY root, const std::wstring& key, const std::wstring& name);
std::wstring RegReadStringOrInit(HKEY root, const std::wstring& key, const std::wstring& name,
                                 const std::wstring& defaultValue);
void RegWriteString(HKEY root, const std::wstring& key, const std::wstring& name, const std::wstring& value);

