#pragma once
// The settings store: string values below the registry root chosen at start.
#include <windows.h>
#include <string>

// Keys used throughout the program (relative to a root, leading backslash).
inline constexpr const wchar_t* kSettingsKey = L"\\SOFTWARE\\Talvero\\CAD\\Settings";

HKEY DetermineRegistryRoot();
void WriteRootKey(const std::wstring& value);
bool RegKeyExists(const std::wstring& key);
std::wstring RegReadString(const std::wstring& key, const std::wstring& name);
std::wstring RegReadStringOrInit(const std::wstring& key, const std::wstring& name,
                                 const std::wstring& defaultValue);
void RegWriteString(const std::wstring& key, const std::wstring& name, const std::wstring& value);

// Symbol and template folders of the s product.
std::wstring GetSymbolFolder();
std::wstring GetTemplateFolder();
