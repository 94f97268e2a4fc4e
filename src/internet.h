#pragma once
// What the window's files include of the work layer: the transfers, and the
// install run and list fetch over the window (WindowReporting.h). The work
// layer's own headers are Transfers.h, Descriptor.h and InstallRun.h.
#include "Transfers.h"
#include "WindowReporting.h"
