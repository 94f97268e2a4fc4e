#pragma once
// Folder helpers, file-error texts and the ANSI boundary of text files.
#include <windows.h>
#include <string>

#include "sys/UpdateError.h"

bool ForceFolderChain(const std::wstring& path);
bool FolderExists(const std::wstring& path);
bool FileExists(const std::wstring& path);

// German text for a system error code of a file operation.
std::wstring IoErrorText(DWORD code);
// Raises UpdateError with IoErrorText(code).
[[noreturn]] void RaiseIoError(DWORD code);

// Writes all size bytes at the file's position. ERROR_SUCCESS, or the
// system's error code; a write that takes nothing counts as a full disk.
DWORD WriteAll(HANDLE file, const void* data, size_t size);

// The folder part of a path: up to and including its last '\' or ':'.
std::wstring ExtractFilePath(const std::wstring& path);

// Conversions at the file boundary (system ANSI code page).
std::string ToAnsi(const std::wstring& text);
std::wstring FromAnsi(const std::string& text);
