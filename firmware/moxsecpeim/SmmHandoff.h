// The S3-resume exchange with the module's SMM handler: the handler names the sizes of nine buffers
// (function 4), the module allocates and maps each through the IOMMU and sends back their device
// addresses (function 5).
#pragma once

#include "platform/uefi/pi/PiPeiCis.h"

#define MOX_SEC_SMM_BUFFER_COUNT 9
#define MOX_SEC_SMM_FETCH_BUFFERS 4
#define MOX_SEC_SMM_RETURN_MAPPED 5
// The handler's status before it answers: EFI_NOT_FOUND as IA32 firmware writes it, upper half 0.
#define MOX_SEC_SMM_STATUS_PRESET 0x8000000EULL

// One buffer: its size in the answer to function 4, its device address (all 8 bytes) in function 5.
typedef union {
    struct {
        UINT32 Unused;
        UINT32 Size;
    } Answer;
    EFI_PHYSICAL_ADDRESS DeviceAddress;
} SmmBufferEntry;
static_assert(sizeof(SmmBufferEntry) == 8, "SmmBufferEntry");
static_assert(offsetof(SmmBufferEntry, Answer.Size) == 4, "SmmBufferEntry.Answer.Size");

typedef struct {
    UINT64 Function;
    UINT64 ReturnStatus;
    SmmBufferEntry Data[MOX_SEC_SMM_BUFFER_COUNT];
} MoxSecSmmMessage;
static_assert(offsetof(MoxSecSmmMessage, ReturnStatus) == 8, "MoxSecSmmMessage.ReturnStatus");
static_assert(offsetof(MoxSecSmmMessage, Data) == 16, "MoxSecSmmMessage.Data");
static_assert(sizeof(MoxSecSmmMessage) == 88, "MoxSecSmmMessage");

// The PI communicate header (GUID and a 64-bit message length) and the message.
typedef struct {
    EFI_GUID HeaderGuid;
    UINT64 MessageLength;
    MoxSecSmmMessage Message;
} MoxSecSmmCommunicateBuffer;
static_assert(offsetof(MoxSecSmmCommunicateBuffer, MessageLength) == 16, "communicate buffer: length");
static_assert(offsetof(MoxSecSmmCommunicateBuffer, Message) == 24, "communicate buffer: message");
static_assert(sizeof(MoxSecSmmCommunicateBuffer) == 112, "communicate buffer");

inline EFI_GUID gMoxSecSmmMessageGuid = {
    0x24d11d0a, 0x3cac, 0x4206, {0x8b, 0xab, 0x20, 0xe1, 0x45, 0x0c, 0x5a, 0xfe}};

// With the IOMMU PPI present, waits for the platform's signal that the SMM handler is ready.
EFI_STATUS RegisterSmmHandoff(CONST EFI_PEI_SERVICES** PeiServices);
EFI_STATUS EFIAPI OnSmmHandoffSignal(IN EFI_PEI_SERVICES** PeiServices,
                                     IN EFI_PEI_NOTIFY_DESCRIPTOR* NotifyDescriptor, IN VOID* Ppi);
// Sends Function with the nine entries and, when the handler answers success, copies its entries back.
EFI_STATUS SmmCommunicateIommu(UINT64 Function, SmmBufferEntry* Data);
// Allocates and maps a common buffer for each entry's size and writes its device address over the
// entry; a failure undoes the buffers made so far.
EFI_STATUS MapSmmBuffers(SmmBufferEntry* Entries);
