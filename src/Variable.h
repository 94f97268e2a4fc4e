#pragma once
// Program-wide values and the product folder lookups.
#include <windows.h>
#include <cstdint>
#include <string>

extern std::wstring UpdateBaseUrl;
extern HKEY RegistryRoot;
extern std::wstring AppDataRoot;
extern std::wstring DataTempFolder;
extern std::wstring ProFolder;
extern std::wstring StdFolder;
extern std::wstring WorkFolder;
// One section id per entry of lstUpd, in list order.
extern std::wstring SelectedSections;

// Folder of the running program's own file, with a trailing backslash.
std::wstring ProgramFolder();
// The updater's work folder below AppDataRoot; made to exist.
std::wstring GetWorkFolder();

// Product program and profile folders, read afresh from the registry each
// time; a missing or empty value is stored with its default.
std::wstring GetMirado19Folder();
std::wstring GetMiradopro19Folder();
std::wstring GetMirados19Folder();
std::wstring GetNorvix19Folder();
std::wstring GetMirado19IecFolder();
std::wstring GetMiradopro19IecFolder();
std::wstring GetMirado19ProfilesFolder();
std::wstring GetMiradopro19ProfilesFolder();
std::wstring GetMenuFolder();
