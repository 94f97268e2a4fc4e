#pragma once
// What the start-up found, for the rest of the run. The window holds the
// one session; every other part gets what it needs of it passed in.
#include <windows.h>

#include <string>

#include "net/TransferLimits.h"

struct Session {
    HKEY registryRoot = nullptr;  // root of every product setting (the Rootkey rule)
    std::wstring appDataRoot;     // holds the folder "Talvero\"
    std::wstring dataTempFolder;  // appDataRoot + "talvero\temp\"
    std::wstring proFolder;       // appDataRoot + "talvero\Miradopro19\"
    std::wstring stdFolder;       // appDataRoot + "talvero\Mirados2019\"
    std::wstring workFolder;      // the updater's own folder: update.cfg and Updates\ (same text as dataTempFolder)
    std::wstring updateBaseUrl;   // "http://" + web host + "/talveroupdate/files/"
    // The list at workFolder + "update.cfg" passed the signature check (only
    // a build with a key checks one): every entry must then name a digest.
    bool listSigned = false;
    // The transfers' stall limit and retry pauses: the product's defaults,
    // which only tests shorten.
    TransferLimits limits;
};
