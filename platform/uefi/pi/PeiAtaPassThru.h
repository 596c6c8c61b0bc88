// The ATA pass-through PPI of the EDK II PEI interfaces: ATA commands to the devices of one AHCI
// controller, by port and port multiplier port, for the platform's resume-time storage code.
#pragma once

#include "platform/uefi/pi/PiPeiCis.h"

typedef struct _EFI_DEVICE_PATH_PROTOCOL EFI_DEVICE_PATH_PROTOCOL;
typedef struct _EFI_ATA_PASS_THRU_COMMAND_PACKET EFI_ATA_PASS_THRU_COMMAND_PACKET;
typedef struct _EDKII_PEI_ATA_PASS_THRU_PPI EDKII_PEI_ATA_PASS_THRU_PPI;

// The task file a command sets, in the order of the ATA registers.
typedef struct {
    UINT8 Reserved1[2];
    UINT8 AtaCommand;
    UINT8 AtaFeatures;
    UINT8 AtaSectorNumber;
    UINT8 AtaCylinderLow;
    UINT8 AtaCylinderHigh;
    UINT8 AtaDeviceHead;
    UINT8 AtaSectorNumberExp;
    UINT8 AtaCylinderLowExp;
    UINT8 AtaCylinderHighExp;
    UINT8 AtaFeaturesExp;
    UINT8 AtaSectorCount;
    UINT8 AtaSectorCountExp;
    UINT8 Reserved2[6];
} EFI_ATA_COMMAND_BLOCK;
static_assert(sizeof(EFI_ATA_COMMAND_BLOCK) == 20, "EFI_ATA_COMMAND_BLOCK");
static_assert(offsetof(EFI_ATA_COMMAND_BLOCK, AtaSectorCount) == 12, "EFI_ATA_COMMAND_BLOCK.AtaSectorCount");

// The task file a command leaves.
typedef struct {
    UINT8 Reserved1[2];
    UINT8 AtaStatus;
    UINT8 AtaError;
    UINT8 AtaSectorNumber;
    UINT8 AtaCylinderLow;
    UINT8 AtaCylinderHigh;
    UINT8 AtaDeviceHead;
    UINT8 AtaSectorNumberExp;
    UINT8 AtaCylinderLowExp;
    UINT8 AtaCylinderHighExp;
    UINT8 Reserved2;
    UINT8 AtaSectorCount;
    UINT8 AtaSectorCountExp;
    UINT8 Reserved3[6];
} EFI_ATA_STATUS_BLOCK;
static_assert(sizeof(EFI_ATA_STATUS_BLOCK) == 20, "EFI_ATA_STATUS_BLOCK");
static_assert(offsetof(EFI_ATA_STATUS_BLOCK, AtaSectorCount) == 12, "EFI_ATA_STATUS_BLOCK.AtaSectorCount");

typedef UINT8 EFI_ATA_PASS_THRU_CMD_PROTOCOL;
#define EFI_ATA_PASS_THRU_PROTOCOL_ATA_HARDWARE_RESET 0x00
#define EFI_ATA_PASS_THRU_PROTOCOL_ATA_SOFTWARE_RESET 0x01
#define EFI_ATA_PASS_THRU_PROTOCOL_ATA_NON_DATA 0x02
#define EFI_ATA_PASS_THRU_PROTOCOL_PIO_DATA_IN 0x04
#define EFI_ATA_PASS_THRU_PROTOCOL_PIO_DATA_OUT 0x05
#define EFI_ATA_PASS_THRU_PROTOCOL_DMA 0x06
#define EFI_ATA_PASS_THRU_PROTOCOL_DMA_QUEUED 0x07
#define EFI_ATA_PASS_THRU_PROTOCOL_DEVICE_DIAGNOSTIC 0x08
#define EFI_ATA_PASS_THRU_PROTOCOL_DEVICE_RESET 0x09
#define EFI_ATA_PASS_THRU_PROTOCOL_UDMA_DATA_IN 0x0A
#define EFI_ATA_PASS_THRU_PROTOCOL_UDMA_DATA_OUT 0x0B
#define EFI_ATA_PASS_THRU_PROTOCOL_FPDMA 0x0C
#define EFI_ATA_PASS_THRU_PROTOCOL_RETURN_RESPONSE 0xFF

typedef UINT8 EFI_ATA_PASS_THRU_LENGTH;

struct _EFI_ATA_PASS_THRU_COMMAND_PACKET {
    EFI_ATA_STATUS_BLOCK* Asb;
    EFI_ATA_COMMAND_BLOCK* Acb;
    // 100 ns units; 0 waits without limit.
    alignas(8) UINT64 Timeout;
    VOID* InDataBuffer;
    VOID* OutDataBuffer;
    UINT32 InTransferLength;
    UINT32 OutTransferLength;
    EFI_ATA_PASS_THRU_CMD_PROTOCOL Protocol;
    EFI_ATA_PASS_THRU_LENGTH Length;
};
static_assert(offsetof(EFI_ATA_PASS_THRU_COMMAND_PACKET, Timeout) == 8, "ATA packet Timeout");
static_assert(offsetof(EFI_ATA_PASS_THRU_COMMAND_PACKET, InTransferLength) == 16 + 2 * sizeof(VOID*),
              "ATA packet InTransferLength");
static_assert(offsetof(EFI_ATA_PASS_THRU_COMMAND_PACKET, Protocol) == 24 + 2 * sizeof(VOID*),
              "ATA packet Protocol");

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
