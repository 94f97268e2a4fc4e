#pragma once
#include <windows.h>
#include <cstdint>
#include <string>

std::wstring GetSpecialFolder(uint8_t index);
std::wstring GetWindowsVersionName();
// The naming rule alone, for the numbers the platform reports.
std::wstring WindowsVersionName(DWORD platformId, DWORD major, DWORD minor);

// Last three characters of a file name, ASCII letters lower-cased.
std::wstring FileTypeSuffix(const std::wstring& name);
