// The AHCI side of the SATA controller at 0:23.0: its context with the DMA buffers the controller
// is given, port bring-up, and the ATA pass-through PPI for its ports.
#pragma once

#include "platform/uefi/pi/PeiAtaPassThru.h"
#include "platform/uefi/pi/PiPeiCis.h"

#define MOX_AHCI_PORT_COUNT 8

// A buffer the controller reaches, as DmaAllocateMapped made it.
struct AhciDmaBuffer {
    VOID* Host;
    UINT32 Size;
    VOID* Mapping;
};

struct AhciContext {
    UINT64 PciAddress;
    // BAR5.
    UINT32 Abar;
    // Per port, bits 7:4: the PxSCTL speed limit kept at reset (0: none).
    UINT32 SpeedLimit[MOX_AHCI_PORT_COUNT];
    AhciDmaBuffer ReceivedFis;
    AhciDmaBuffer CommandTable;
    AhciDmaBuffer CommandList;
};

#define MOX_AHCI_RECEIVED_FIS_BYTES 512
#define MOX_AHCI_COMMAND_TABLE_BYTES 272
#define MOX_AHCI_COMMAND_LIST_BYTES 1056

// A context for a RAID (0x0104) or AHCI (0x0106, programming interface 1) controller with a BAR5, or
// null.
AhciContext* AhciCreateController(UINT64 PciAddress);
// Brings up ports 0 to 7 and registers each ATA drive: 0, 1 without a context, 2 when the host reset
// failed.
UINT8 AhciEnumeratePorts(AhciContext* Context, UINTN Unused);

EFI_STATUS InstallAtaPassThru(VOID);
EFI_STATUS EFIAPI AtaPassThru(IN EDKII_PEI_ATA_PASS_THRU_PPI* This, IN UINT16 Port,
                              IN UINT16 PortMultiplierPort, IN OUT EFI_ATA_PASS_THRU_COMMAND_PACKET* Packet);
EFI_STATUS EFIAPI AtaGetNextPort(IN EDKII_PEI_ATA_PASS_THRU_PPI* This, IN OUT UINT16* Port);
EFI_STATUS EFIAPI AtaGetNextDevice(IN EDKII_PEI_ATA_PASS_THRU_PPI* This, IN UINT16 Port,
                                   IN OUT UINT16* PortMultiplierPort);
EFI_STATUS EFIAPI AtaGetDevicePath(IN EDKII_PEI_ATA_PASS_THRU_PPI* This, OUT UINTN* DevicePathLength,
                                   OUT EFI_DEVICE_PATH_PROTOCOL** DevicePath);
