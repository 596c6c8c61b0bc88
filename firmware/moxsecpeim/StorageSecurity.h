// Storage security command PPIs, one per drive, each with the device path by which the platform's
// drive unlock code recognises the drive.
#pragma once

#include "platform/uefi/pi/PiPeiCis.h"

typedef struct _EFI_DEVICE_PATH_PROTOCOL EFI_DEVICE_PATH_PROTOCOL;

// How a caller names the path of an NVMe device it brings up.
struct DevicePathRecord {
    // The remap slot of a remapped device.
    UINT8 Slot;
    UINT8 HasPath;
    EFI_DEVICE_PATH_PROTOCOL* Path;
    UINT32 Length;
};

// The fixed path of the Index-th device of the platform's storage PPI (nothing for index 0).
VOID BuildSataDevicePath(UINT32 Index, DevicePathRecord* Record);
