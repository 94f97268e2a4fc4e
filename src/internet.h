#pragma once
// The window's one include for the work layer: the transfers and the install
// run. New code includes Transfers.h, Descriptor.h and InstallRun.h itself.
#include "InstallRun.h"
#include "Transfers.h"
#include "WindowReporting.h"
