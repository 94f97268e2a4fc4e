#pragma once
// The product folder lookups.
#include <windows.h>

#include <string>

#include "run/Session.h"

// The pro product's settings key; whether it exists also decides which
// entries of the update list are offered.
constexpr const wchar_t* kMiradopro19Key = L"\\SOFTWARE\\Talvero\\Miradopro19\\Settings";

// Folder of the running program's own file, with a trailing backslash.
std::wstring ProgramFolder();
// The updater's work folder below appDataRoot; made to exist.
std::wstring GetWorkFolder(const std::wstring& appDataRoot);

// Product program and profile folders, read afresh from the registry below
// the session's root each time; a missing or empty value is stored with its
// default.
std::wstring GetMirado19Folder(const Session& session);
std::wstring GetMiradopro19Folder(const Session& session);
std::wstring GetMirados19Folder(const Session& session);
std::wstring GetNorvix19Folder(const Session& session);
std::wstring GetMirado19IecFolder(const Session& session);
std::wstring GetMiradopro19IecFolder(const Session& session);
std::wstring GetMirado19ProfilesFolder(const Session& session);
std::wstring GetMiradopro19ProfilesFolder(const Session& session);
std::wstring GetMenuFolder(const Session& session);
// Symbol and template folders of the s product.
std::wstring GetSymbolFolder(const Session& session);
std::wstring GetTemplateFolder(const Session& session);
