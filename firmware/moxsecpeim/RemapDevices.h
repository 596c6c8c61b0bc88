// NVMe devices the SATA controller at 0:23.0 hides behind itself and shows in windows of its BAR5.
#pragma once

#include "platform/uefi/pi/PiPeiCis.h"

// Finds the remap slots in use and brings up an NVMe device for each; runs once the controller's
// memory space and bus mastering are on.
VOID DiscoverRemappedDevices(UINT64 SataPciAddress);
