#pragma once
// The wizard's whole road without a window, for deployment tools: the
// start-up checks, the stored customer data, the list fetch with every rule
// of an interactive run, the install of every entry the list offers
// checked, and the download log, written but not opened. Nobody is asked:
// a file another program holds is left with its line in the log, a file
// for the updates folder is parked and never opened.
#include "run/RunResult.h"

// Runs it; never shows a window or a box. What the run found (the registry
// root its result belongs under) goes to *root.
RunResult RunUnattended(HKEY* root);
