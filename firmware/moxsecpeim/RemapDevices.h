// NVMe devices the SATA controller at 0:23.0 hides behind itself and shows in windows of its BAR5.
#pragma once

#include "platform/uefi/pi/PiPeiCis.h"

#define MOX_REMAP_SLOTS 3

struct RemappedDeviceRecord {
    UINT8 Slot;
    UINT16 ClassWord;
};

struct RemapState {
    UINT64 PciAddress;
    UINT32 Base;
    UINT32 Supported;
    UINT8 Count;
    RemappedDeviceRecord Table[MOX_REMAP_SLOTS];
};

// Finds the remap slots in use and brings up an NVMe device for each; runs once the controller's
// memory space and bus mastering are on.
VOID DiscoverRemappedDevices(UINT64 SataPciAddress);
VOID AddRemappedNvmeDevice(RemappedDeviceRecord* Record);
// The platform vendor's controllers with the remap register block.
BOOLEAN IsRemapCapableId(UINT16 Id);
UINT32 RemapRead32(UINT32 Offset);
