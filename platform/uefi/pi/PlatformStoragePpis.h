// The platform's own PPIs that its resume-time storage modules consume. They belong to the platform
// firmware; what is declared here is only what a consumer relies on: the GUIDs and the call sites.
#pragma once

#include "platform/uefi/pi/PiPeiCis.h"

typedef struct _EFI_DEVICE_PATH_PROTOCOL EFI_DEVICE_PATH_PROTOCOL;

// The device path of the platform's SATA controller.
typedef struct _ControllerPathPpi ControllerPathPpi;
typedef EFI_STATUS(EFIAPI* CONTROLLER_PATH_GET_PATH)(IN ControllerPathPpi* This, IN UINT32 Index,
                                                     OUT UINT32* Length, OUT EFI_DEVICE_PATH_PROTOCOL** Path);
struct _ControllerPathPpi {
    UINT32 Revision;
    // The path of controller Index, its end node included in Length.
    CONTROLLER_PATH_GET_PATH GetControllerPath;
};

// Further NVMe devices the platform announces. The interface lies 4 bytes into the platform's private
// record, after the record's signature; the device entries follow in the record.
typedef struct _PchnStoragePpi PchnStoragePpi;
typedef EFI_STATUS(EFIAPI* PCHN_STORAGE_GET_DEVICE_BASE)(IN PchnStoragePpi* This, IN UINT32 DeviceIndex,
                                                         OUT UINT32* MmioBase);
typedef EFI_STATUS(EFIAPI* PCHN_STORAGE_GET_DEVICE_INFO)(IN PchnStoragePpi* This, IN UINT32 DeviceIndex,
                                                         OUT UINT32* Info0, OUT UINT32* Info1);
struct _PchnStoragePpi {
    PCHN_STORAGE_GET_DEVICE_BASE GetDeviceBase;
    PCHN_STORAGE_GET_DEVICE_INFO GetDeviceInfo;
};

// Offsets in the private record (from its start, 4 bytes before the interface).
#define PCHN_STORAGE_SIGNATURE 0x5043484E
#define PCHN_STORAGE_INTERFACE_OFFSET 4
#define PCHN_STORAGE_ENTRY_OFFSET 43
#define PCHN_STORAGE_ENTRY_SIZE 80
#define PCHN_STORAGE_ENTRY_BUS 0
#define PCHN_STORAGE_ENTRY_FUNCTION 1
#define PCHN_STORAGE_ENTRY_DEVICE 2

inline EFI_GUID gControllerPathPpiGuid = {
    0x62f52aed, 0xf299, 0x4167, {0x8e, 0x94, 0xea, 0x61, 0x9f, 0x05, 0x12, 0xad}};
inline EFI_GUID gPchnStoragePpiGuid = {
    0x5da70373, 0xd684, 0x4b95, {0x9a, 0xae, 0x72, 0x6d, 0xa3, 0xfd, 0x47, 0xcb}};
// Installed by the platform when the SMM handler is ready to take the IOMMU buffers on S3 resume; it
// carries no interface of its own.
inline EFI_GUID gSmmHandoffSignalPpiGuid = {
    0x8f9d4825, 0x797d, 0x48fc, {0x84, 0x71, 0x84, 0x50, 0x25, 0x79, 0x2e, 0xf6}};
