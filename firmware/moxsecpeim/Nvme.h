// NVMe controllers the module brings up: remapped into windows of the SATA controller's BAR5, or
// announced by the platform's storage PPI.
#pragma once

#include "platform/uefi/pi/PiPeiCis.h"

struct NvmeDevice;
struct DevicePathRecord;

// A device whose registers lie at RegisterBase (a multiple of 0x4000), brought up, or null.
NvmeDevice* NvmeCreateDevice(UINT64 PciAddress, UINT32 RegisterBase);
EFI_STATUS InstallNvmePassThru(NvmeDevice* Device);
// Identifies the namespaces and hands the device to the storage security PPI: 1, or 0 on failure.
UINT8 NvmeEnumerateNamespaces(NvmeDevice* Device, DevicePathRecord* PathRecord, UINTN Unused);
