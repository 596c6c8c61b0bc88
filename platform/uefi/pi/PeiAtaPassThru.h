// The ATA pass-through PPI of the EDK II PEI interfaces: ATA commands to the devices of one AHCI
// controller, by port and port multiplier port, for the platform's resume-time storage code.
#pragma once

#include "platform/uefi/pi/PiPeiCis.h"

typedef struct _EFI_DEVICE_PATH_PROTOCOL EFI_DEVICE_PATH_PROTOCOL;
typedef struct _EFI_ATA_PASS_THRU_COMMAND_PACKET EFI_ATA_PASS_THRU_COMMAND_PACKET;
typedef struct _EDKII_PEI_ATA_PASS_THRU_PPI EDKII_PEI_ATA_PASS_THRU_PPI;

#define EDKII_PEI_ATA_PASS_THRU_PPI_REVISION 0x00010000

#define EFI_ATA_PASS_THRU_ATTRIBUTES_PHYSICAL 0x0001
#define EFI_ATA_PASS_THRU_ATTRIBUTES_LOGICAL 0x0002
#define EFI_ATA_PASS_THRU_ATTRIBUTES_NONBLOCKIO 0x0004

typedef struct {
    UINT32 Attributes;
    UINT32 IoAlign;
} EFI_ATA_PASS_THRU_MODE;
static_assert(sizeof(EFI_ATA_PASS_THRU_MODE) == 8, "EFI_ATA_PASS_THRU_MODE");

typedef EFI_STATUS(EFIAPI* EDKII_PEI_ATA_PASS_THRU_PASSTHRU)(IN EDKII_PEI_ATA_PASS_THRU_PPI* This,
                                                             IN UINT16 Port, IN UINT16 PortMultiplierPort,
                                                             IN OUT EFI_ATA_PASS_THRU_COMMAND_PACKET* Packet);
typedef EFI_STATUS(EFIAPI* EDKII_PEI_ATA_PASS_THRU_GET_NEXT_PORT)(IN EDKII_PEI_ATA_PASS_THRU_PPI* This,
                                                                  IN OUT UINT16* Port);
typedef EFI_STATUS(EFIAPI* EDKII_PEI_ATA_PASS_THRU_GET_NEXT_DEVICE)(IN EDKII_PEI_ATA_PASS_THRU_PPI* This,
                                                                    IN UINT16 Port,
                                                                    IN OUT UINT16* PortMultiplierPort);
typedef EFI_STATUS(EFIAPI* EDKII_PEI_ATA_PASS_THRU_GET_DEVICE_PATH)(
    IN EDKII_PEI_ATA_PASS_THRU_PPI* This, OUT UINTN* DevicePathLength,
    OUT EFI_DEVICE_PATH_PROTOCOL** DevicePath);

struct _EDKII_PEI_ATA_PASS_THRU_PPI {
    alignas(8) UINT64 Revision;
    EFI_ATA_PASS_THRU_MODE* Mode;
    EDKII_PEI_ATA_PASS_THRU_PASSTHRU PassThru;
    EDKII_PEI_ATA_PASS_THRU_GET_NEXT_PORT GetNextPort;
    EDKII_PEI_ATA_PASS_THRU_GET_NEXT_DEVICE GetNextDevice;
    EDKII_PEI_ATA_PASS_THRU_GET_DEVICE_PATH GetDevicePath;
};
static_assert(offsetof(EDKII_PEI_ATA_PASS_THRU_PPI, Mode) == 8, "EDKII_PEI_ATA_PASS_THRU_PPI.Mode");
static_assert(offsetof(EDKII_PEI_ATA_PASS_THRU_PPI, GetDevicePath) == 8 + 4 * sizeof(VOID*),
              "EDKII_PEI_ATA_PASS_THRU_PPI.GetDevicePath");

inline EFI_GUID gEdkiiPeiAtaPassThruPpiGuid = {
    0xa16473fd, 0xd474, 0x4c89, {0xae, 0xc7, 0x90, 0xb8, 0x3c, 0x73, 0x86, 0x09}};
