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

// Result codes of the AHCI layer.
#define AHCI_SUCCESS 0
#define AHCI_NO_CONTEXT 1
#define AHCI_DEVICE_ERROR 2
#define AHCI_BAD_PORT 9
#define AHCI_TIMEOUT 11

#define AHCI_NO_DATA 0
#define AHCI_DATA_IN 1
#define AHCI_DATA_OUT 2

// One command through slot 0: FIS image bytes 0 type, 1 flags, 2 command (status after), 3 features
// (error after), 4-6 LBA 7:0 to 23:16, 7 device, 8-10 LBA 31:24 to 47:40, 11 features 15:8, 12-13
// count.
struct AhciCommand {
    UINT32 Buffer;
    UINT32 Length;
    UINT32 Direction;
    UINT8 Port;
    UINT8 AtapiPacket[16];
    UINT8 Fis[20];
};

// A context for a RAID (0x0104) or AHCI (0x0106, programming interface 1) controller with a BAR5, or
// null.
AhciContext* AhciCreateController(UINT64 PciAddress);
// Brings up ports 0 to 7 and registers each ATA drive: 0, 1 without a context, 2 when the host reset
// failed.
UINT8 AhciEnumeratePorts(AhciContext* Context, UINTN Unused);

// Issues the command and leaves the D2H register FIS in its image.
UINT8 AhciIssueCommand(AhciContext* Context, AhciCommand* Command, UINT64 TimeoutUs);
// ATA trusted receive or send (non-data for a length of 0); the length must be a multiple of 512.
UINT8 AhciTrustedCommandChecked(AhciContext* Context, UINT8 Port, BOOLEAN Receive, UINT8 SecurityProtocol,
                                UINT16 ProtocolSpecific, VOID* Buffer, UINT32 Length, UINT64 TimeoutUs);
// Marks an ATA port and installs storage security for it when the drive has the trusted computing
// feature set.
VOID RegisterAtaPort(AhciContext* Context, CONST UINT16* Identify, UINT8 Port, UINTN Unused);
// Copies an ATA pass-through packet into a command: EFI_UNSUPPORTED for a protocol the module does not
// carry.
EFI_STATUS AtaPacketToCommand(CONST EFI_ATA_PASS_THRU_COMMAND_PACKET* Packet, AhciCommand* Command);

EFI_STATUS InstallAtaPassThru(VOID);
EFI_STATUS EFIAPI AtaPassThru(IN EDKII_PEI_ATA_PASS_THRU_PPI* This, IN UINT16 Port,
                              IN UINT16 PortMultiplierPort, IN OUT EFI_ATA_PASS_THRU_COMMAND_PACKET* Packet);
EFI_STATUS EFIAPI AtaGetNextPort(IN EDKII_PEI_ATA_PASS_THRU_PPI* This, IN OUT UINT16* Port);
EFI_STATUS EFIAPI AtaGetNextDevice(IN EDKII_PEI_ATA_PASS_THRU_PPI* This, IN UINT16 Port,
                                   IN OUT UINT16* PortMultiplierPort);
EFI_STATUS EFIAPI AtaGetDevicePath(IN EDKII_PEI_ATA_PASS_THRU_PPI* This, OUT UINTN* DevicePathLength,
                                   OUT EFI_DEVICE_PATH_PROTOCOL** DevicePath);
