#include "internet.h"

#include "Dateien.h"
#include "Variable.h"

// ---- work folder ----

std::wstring GetWorkFolder() {
    std::wstring folder = AppDataRoot + L"talvero\\temp\\";
    if (!FolderExists(folder)) ForceFolderChain(folder);
    return folder;
}

// ---- transfers ----

// ---- update descriptor and target folders ----

// ---- install run and download log ----
