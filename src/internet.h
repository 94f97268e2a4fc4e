#pragma once
// Transfers from the update server, the update descriptor, the install run
// and the download log.
#include <windows.h>
#include <cstdint>
#include <string>

// ---- work folder ----
// The updater's work folder; made to exist.
std::wstring GetWorkFolder();

// ---- transfers ----
// ---- update descriptor and target folders ----
// ---- install run and download log ----
