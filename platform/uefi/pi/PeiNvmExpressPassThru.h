// The NVM Express pass-through PPI of the EDK II PEI interfaces: NVMe commands to the namespaces of
// one controller, for the platform's resume-time storage code.
#pragma once

#include "platform/uefi/pi/PiPeiCis.h"

typedef struct _EFI_DEVICE_PATH_PROTOCOL EFI_DEVICE_PATH_PROTOCOL;
typedef struct _EDKII_PEI_NVM_EXPRESS_PASS_THRU_PPI EDKII_PEI_NVM_EXPRESS_PASS_THRU_PPI;

#define EDKII_PEI_NVM_EXPRESS_PASS_THRU_PPI_REVISION 0x00010000

#define EFI_NVM_EXPRESS_PASS_THRU_ATTRIBUTES_PHYSICAL 0x0001
#define EFI_NVM_EXPRESS_PASS_THRU_ATTRIBUTES_LOGICAL 0x0002
#define EFI_NVM_EXPRESS_PASS_THRU_ATTRIBUTES_NONBLOCKIO 0x0004
#define EFI_NVM_EXPRESS_PASS_THRU_ATTRIBUTES_CMD_SET_NVM 0x0008

typedef struct {
    UINT32 Attributes;
    UINT32 IoAlign;
    UINT32 NvmeVersion;
} EFI_NVM_EXPRESS_PASS_THRU_MODE;
static_assert(sizeof(EFI_NVM_EXPRESS_PASS_THRU_MODE) == 12, "EFI_NVM_EXPRESS_PASS_THRU_MODE");

#define NVME_ADMIN_QUEUE 0x00
#define NVME_IO_QUEUE 0x01

// Command dword 0: bits 7:0 opcode, bits 9:8 fused operation.
typedef UINT32 NVME_CDW0;

#define CDW2_VALID 0x01
#define CDW3_VALID 0x02
#define CDW10_VALID 0x04
#define CDW11_VALID 0x08
#define CDW12_VALID 0x10
#define CDW13_VALID 0x20
#define CDW14_VALID 0x40
#define CDW15_VALID 0x80

typedef struct {
    NVME_CDW0 Cdw0;
    UINT8 Flags;
    UINT32 Nsid;
    UINT32 Cdw2;
    UINT32 Cdw3;
    UINT32 Cdw10;
    UINT32 Cdw11;
    UINT32 Cdw12;
    UINT32 Cdw13;
    UINT32 Cdw14;
    UINT32 Cdw15;
} EFI_NVM_EXPRESS_COMMAND;
static_assert(sizeof(EFI_NVM_EXPRESS_COMMAND) == 44, "EFI_NVM_EXPRESS_COMMAND");
static_assert(offsetof(EFI_NVM_EXPRESS_COMMAND, Nsid) == 8, "EFI_NVM_EXPRESS_COMMAND.Nsid");
static_assert(offsetof(EFI_NVM_EXPRESS_COMMAND, Cdw10) == 20, "EFI_NVM_EXPRESS_COMMAND.Cdw10");

typedef struct {
    UINT32 DW0;
    UINT32 DW1;
    UINT32 DW2;
    UINT32 DW3;
} EFI_NVM_EXPRESS_COMPLETION;
static_assert(sizeof(EFI_NVM_EXPRESS_COMPLETION) == 16, "EFI_NVM_EXPRESS_COMPLETION");

typedef struct {
    // 100 ns units; 0 waits without limit.
    alignas(8) UINT64 CommandTimeout;
    VOID* TransferBuffer;
    UINT32 TransferLength;
    VOID* MetadataBuffer;
    UINT32 MetadataLength;
    UINT8 QueueType;
    EFI_NVM_EXPRESS_COMMAND* NvmeCmd;
    EFI_NVM_EXPRESS_COMPLETION* NvmeCompletion;
} EFI_NVM_EXPRESS_PASS_THRU_COMMAND_PACKET;
#if defined(__x86_64__)
static_assert(offsetof(EFI_NVM_EXPRESS_PASS_THRU_COMMAND_PACKET, QueueType) == 40, "NVMe packet QueueType");
static_assert(sizeof(EFI_NVM_EXPRESS_PASS_THRU_COMMAND_PACKET) == 64, "NVMe packet");
#else
static_assert(offsetof(EFI_NVM_EXPRESS_PASS_THRU_COMMAND_PACKET, QueueType) == 24, "NVMe packet QueueType");
static_assert(sizeof(EFI_NVM_EXPRESS_PASS_THRU_COMMAND_PACKET) == 40, "NVMe packet");
#endif

typedef EFI_STATUS(EFIAPI* EDKII_PEI_NVME_PASS_THRU_GET_DEVICE_PATH)(
    IN EDKII_PEI_NVM_EXPRESS_PASS_THRU_PPI* This, OUT UINTN* DevicePathLength,
    OUT EFI_DEVICE_PATH_PROTOCOL** DevicePath);
typedef EFI_STATUS(EFIAPI* EDKII_PEI_NVME_PASS_THRU_GET_NEXT_NAMESPACE)(
    IN EDKII_PEI_NVM_EXPRESS_PASS_THRU_PPI* This, IN OUT UINT32* NamespaceId);
typedef EFI_STATUS(EFIAPI* EDKII_PEI_NVME_PASS_THRU_PASSTHRU)(
    IN EDKII_PEI_NVM_EXPRESS_PASS_THRU_PPI* This, IN UINT32 NamespaceId,
    IN OUT EFI_NVM_EXPRESS_PASS_THRU_COMMAND_PACKET* Packet);

struct _EDKII_PEI_NVM_EXPRESS_PASS_THRU_PPI {
    alignas(8) UINT64 Revision;
    EFI_NVM_EXPRESS_PASS_THRU_MODE* Mode;
    EDKII_PEI_NVME_PASS_THRU_GET_DEVICE_PATH GetDevicePath;
    EDKII_PEI_NVME_PASS_THRU_GET_NEXT_NAMESPACE GetNextNameSpace;
    EDKII_PEI_NVME_PASS_THRU_PASSTHRU PassThru;
};
static_assert(offsetof(EDKII_PEI_NVM_EXPRESS_PASS_THRU_PPI, PassThru) == 8 + 3 * sizeof(VOID*),
              "EDKII_PEI_NVM_EXPRESS_PASS_THRU_PPI.PassThru");

inline EFI_GUID gEdkiiPeiNvmExpressPassThruPpiGuid = {
    0x6af31b2c, 0x03be, 0x46c1, {0xb1, 0x2d, 0xea, 0x4a, 0x36, 0xdf, 0xa7, 0x4c}};
