// moxsecpeim: on resume from S3 it brings up the RAID-mode SATA controller at 0:23.0, its AHCI ports
// and the NVMe devices behind it, and publishes the pass-through and storage security PPIs the
// platform's drive unlock code uses; on every boot it publishes the BAR-window PPI.
#pragma once

#include "platform/uefi/pi/PeiAtaPassThru.h"
#include "platform/uefi/pi/PiPeiCis.h"

struct AhciContext;

#define MOX_SATA_BUS 0
#define MOX_SATA_DEVICE 0x17
#define MOX_SATA_FUNCTION 0

// The platform vendor's PCI vendor ID.
#define MOX_PLATFORM_VENDOR_ID 0x1F4A

// The SATA controller: its ATA pass-through PPI and what the module keeps of it.
struct SataControllerRecord {
    EFI_PEI_PPI_DESCRIPTOR Descriptor;
    EDKII_PEI_ATA_PASS_THRU_PPI AtaPassThru;
    AhciContext* Ahci;
    UINT64 PciAddress;
    // Bit n: port n holds an ATA device.
    UINT8 PortBitmap;
    // As ControllerPathPpi gave it, the end node included in the length.
    EFI_DEVICE_PATH_PROTOCOL* DevicePath;
    UINT32 DevicePathLength;
};
#if !defined(__x86_64__)
static_assert(offsetof(SataControllerRecord, AtaPassThru) == 16, "SataControllerRecord.AtaPassThru (IA32)");
static_assert(offsetof(SataControllerRecord, Ahci) == 48, "SataControllerRecord.Ahci (IA32)");
static_assert(offsetof(SataControllerRecord, PciAddress) == 52, "SataControllerRecord.PciAddress (IA32)");
static_assert(offsetof(SataControllerRecord, PortBitmap) == 60, "SataControllerRecord.PortBitmap (IA32)");
static_assert(offsetof(SataControllerRecord, DevicePathLength) == 68, "SataControllerRecord.Length (IA32)");
#endif

extern "C" EFI_STATUS EFIAPI MoxSecPeimEntry(IN EFI_PEI_FILE_HANDLE FileHandle,
                                             IN CONST EFI_PEI_SERVICES** PeiServices);
EFI_STATUS MoxSecPeimMain(VOID);

EFI_STATUS EFIAPI OnControllerPathPpi(IN EFI_PEI_SERVICES** PeiServices,
                                      IN EFI_PEI_NOTIFY_DESCRIPTOR* NotifyDescriptor, IN VOID* Ppi);
EFI_STATUS EFIAPI OnPchnStoragePpi(IN EFI_PEI_SERVICES** PeiServices,
                                   IN EFI_PEI_NOTIFY_DESCRIPTOR* NotifyDescriptor, IN VOID* Ppi);

// The controller, its ports and its ATA pass-through PPI.
EFI_STATUS SetupSataController(VOID);
// The NVMe devices remapped behind the controller.
EFI_STATUS SetupRemappedDevices(VOID);
// At most two NVMe devices announced by the platform's storage PPI; ends with the status of the call
// that stopped the walk.
EFI_STATUS ProcessPchnDevices(VOID);

// The platform vendor's SATA controllers in RAID mode.
BOOLEAN IsSupportedSataController(UINT64 PciAddress);
