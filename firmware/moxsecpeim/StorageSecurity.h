// Storage security command PPIs, one per drive, each with the device path by which the platform's
// drive unlock code recognises the drive.
#pragma once

#include "platform/uefi/pi/PeiStorageSecurityCommand.h"
#include "platform/uefi/pi/PiPeiCis.h"

struct NvmeDevice;

#define MOX_STORAGE_KIND_ATA 0
#define MOX_STORAGE_KIND_NVME 1

// How a caller names the path of an NVMe device it brings up.
struct DevicePathRecord {
    // The remap slot of a remapped device.
    UINT8 Slot;
    UINT8 HasPath;
    EFI_DEVICE_PATH_PROTOCOL* Path;
    UINT32 Length;
};

struct StorageSecurityRecord {
    EFI_PEI_PPI_DESCRIPTOR Descriptor;
    EDKII_PEI_STORAGE_SECURITY_CMD_PPI Ppi;
    StorageSecurityRecord* Next;
    UINT32 Kind;
    // The AHCI port (ATA), 0xFF (NVMe).
    UINT8 Port;
    NvmeDevice* Nvme;
    EFI_DEVICE_PATH_PROTOCOL* DevicePath;
    UINT32 DevicePathLength;
};

// The device path nodes the module makes.
#define MOX_SATA_NODE_BYTES 10
#define MOX_END_NODE_BYTES 4
#define MOX_PCHN_PATH_BYTES 32

EFI_STATUS InstallStorageSecurity(UINT32 Kind, UINT8 Port, NvmeDevice* Nvme, EFI_DEVICE_PATH_PROTOCOL* Path,
                                  UINT32 Length);
// Installs the PPI for an NVMe device that supports the security commands (the ninth argument), with
// the record's path or else the path of its remap slot.
VOID InstallNvmeStorageSecurity(NvmeDevice* Nvme, DevicePathRecord* Record, UINTN Unused3, UINTN Unused4,
                                UINTN Unused5, UINTN Unused6, UINTN Unused7, UINTN Unused8,
                                UINT8 SecuritySupported);
// The fixed path of the Index-th device of the platform's storage PPI (nothing for index 0).
VOID BuildSataDevicePath(UINT32 Index, DevicePathRecord* Record);
// The controller's path with a SATA node for HBA port Value (nothing for 0; length 0 without memory).
VOID BuildPortDevicePath(UINT16 Value, UINT32* Length, EFI_DEVICE_PATH_PROTOCOL** Path);

EFI_STATUS EFIAPI StorSecGetNumberofDevices(IN EDKII_PEI_STORAGE_SECURITY_CMD_PPI* This,
                                            OUT UINTN* NumberofDevices);
EFI_STATUS EFIAPI StorSecGetDevicePath(IN EDKII_PEI_STORAGE_SECURITY_CMD_PPI* This, IN UINTN DeviceIndex,
                                       OUT UINTN* DevicePathLength,
                                       OUT EFI_DEVICE_PATH_PROTOCOL** DevicePath);
EFI_STATUS EFIAPI StorSecReceiveData(IN EDKII_PEI_STORAGE_SECURITY_CMD_PPI* This, IN UINTN DeviceIndex,
                                     IN UINT64 Timeout, IN UINT8 SecurityProtocolId,
                                     IN UINT16 SecurityProtocolSpecificData, IN UINTN PayloadBufferSize,
                                     OUT VOID* PayloadBuffer, OUT UINTN* PayloadTransferSize);
EFI_STATUS EFIAPI StorSecSendData(IN EDKII_PEI_STORAGE_SECURITY_CMD_PPI* This, IN UINTN DeviceIndex,
                                  IN UINT64 Timeout, IN UINT8 SecurityProtocolId,
                                  IN UINT16 SecurityProtocolSpecificData, IN UINTN PayloadBufferSize,
                                  IN VOID* PayloadBuffer);
