#pragma once
// Transfers from the update server, the update descriptor, the install run
// and the download log.
#include <windows.h>
#include <cstdint>
#include <string>

// ---- transfers ----
// ---- update descriptor and target folders ----
// ---- install run and download log ----
