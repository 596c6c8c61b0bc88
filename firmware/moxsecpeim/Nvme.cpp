#include "firmware/moxsecpeim/Nvme.h"

#include "firmware/moxsecpeim/DmaBuffers.h"
#include "firmware/moxsecpeim/MemoryHelpers.h"
#include "firmware/moxsecpeim/ModuleState.h"
#include "firmware/moxsecpeim/PciAccess.h"
#include "firmware/moxsecpeim/RecordList.h"
#include "firmware/moxsecpeim/StorageSecurity.h"
#include "firmware/moxsecpeim/Timer.h"

namespace {

#define NVME_CAP 0x00
#define NVME_CC 0x14
#define NVME_CSTS 0x1C
#define NVME_AQA 0x24
#define NVME_ASQ 0x28
#define NVME_ACQ 0x30
#define NVME_DOORBELLS 0x1000

#define NVME_CC_EN 0x1u
#define NVME_ADMIN_US 5000000
#define NVME_TO_UNIT_US 500000
#define NVME_READY_POLL_US 100
#define NVME_MAX_CONSECUTIVE_RESETS 5

#define NVME_OPC_CREATE_IO_SQ 0x01
#define NVME_OPC_CREATE_IO_CQ 0x05
#define NVME_OPC_IDENTIFY 0x06
#define NVME_OPC_SET_FEATURES 0x09
#define NVME_OPC_GET_FEATURES 0x0A
#define NVME_OPC_SECURITY_SEND 0x81
#define NVME_OPC_SECURITY_RECEIVE 0x82
#define NVME_FEATURE_BOOT_MARKER 0x80

#define NVME_IDENTIFY_BYTES 4096

// A 64-byte submission entry, little-endian.
struct NvmeEntry {
    UINT8 Bytes[64];
};

VOID Put32(UINT8* At, UINT32 Value) {
    At[0] = (UINT8)Value;
    At[1] = (UINT8)(Value >> 8);
    At[2] = (UINT8)(Value >> 16);
    At[3] = (UINT8)(Value >> 24);
}

VOID Put64(UINT8* At, UINT64 Value) {
    Put32(At, (UINT32)Value);
    Put32(At + 4, (UINT32)(Value >> 32));
}

UINT32 Get32(CONST UINT8* At) {
    return (UINT32)At[0] | ((UINT32)At[1] << 8) | ((UINT32)At[2] << 16) | ((UINT32)At[3] << 24);
}

VOID NewEntry(NvmeEntry* Entry, UINT8 Opcode, UINT32 Nsid, UINT32 Cdw10, UINT32 Cdw11) {
    SetMemBytes(Entry, 0, sizeof(*Entry));
    Entry->Bytes[0] = Opcode;
    Put32(Entry->Bytes + 4, Nsid);
    Put32(Entry->Bytes + 40, Cdw10);
    Put32(Entry->Bytes + 44, Cdw11);
}

UINT32 NvmeRead32(NvmeDevice* Device, UINT32 Offset) {
    return MmioRead32(Device->RegisterBase + Offset);
}

VOID NvmeWrite32(NvmeDevice* Device, UINT32 Offset, UINT32 Value) {
    MmioWrite32(Device->RegisterBase + Offset, Value);
}

UINT32 PageRound(UINT32 Address) {
    return (Address + 4096) & ~4095u;
}

BOOLEAN NvmeWaitReady(NvmeDevice* Device, BOOLEAN Enable, UINT64 TimeoutUs) {
    UINT32 Cc = NvmeRead32(Device, NVME_CC);
    NvmeWrite32(Device, NVME_CC, Enable ? (Cc | NVME_CC_EN) : (Cc & ~NVME_CC_EN));
    UINT64 Deadline = TscDeadline(TimeoutUs);
    for (;;) {
        if ((NvmeRead32(Device, NVME_CSTS) & 1) == (Enable ? 1u : 0u))
            return TRUE;
        StallShort(NVME_READY_POLL_US);
        if (DeadlineExpired(Deadline))
            return FALSE;
    }
}

BOOLEAN NvmeAllocateQueue(NvmeDevice* Device, NvmeQueuePair* Queue, UINT16 QueueId) {
    SetMemBytes(Queue, 0, sizeof(*Queue));
    Queue->QueueId = QueueId;
    Queue->SubmissionEntries = NVME_QUEUE_ENTRIES;
    Queue->CompletionEntries = NVME_QUEUE_ENTRIES;
    Queue->SubmissionBufferSize = NVME_SUBMISSION_BUFFER_BYTES;
    Queue->CompletionBufferSize = NVME_COMPLETION_BUFFER_BYTES;
    Queue->SubmissionDoorbell = NVME_DOORBELLS + 2 * QueueId * Device->DoorbellStride;
    Queue->CompletionDoorbell = NVME_DOORBELLS + (2 * QueueId + 1) * Device->DoorbellStride;
    EFI_PHYSICAL_ADDRESS DeviceAddress = 0;
    VOID* Completion =
        DmaAllocateMapped(EdkiiIoMmuOperationBusMasterCommonBuffer, Queue->CompletionBufferSize,
                          &DeviceAddress, &Queue->CompletionMapping);
    VOID* Submission = Completion == nullptr ? nullptr
                                             : DmaAllocateMapped(EdkiiIoMmuOperationBusMasterCommonBuffer,
                                                                 Queue->SubmissionBufferSize, &DeviceAddress,
                                                                 &Queue->SubmissionMapping);
    if (Submission == nullptr) {
        Queue->SubmissionBuffer = 0;
        Queue->CompletionBuffer = 0;
        return FALSE;
    }
    Queue->CompletionBuffer = (UINT32)(UINTN)Completion;
    Queue->SubmissionBuffer = (UINT32)(UINTN)Submission;
    Queue->CompletionBase = PageRound(Queue->CompletionBuffer);
    Queue->SubmissionBase = PageRound(Queue->SubmissionBuffer);
    return TRUE;
}

BOOLEAN NvmeCreateAdminQueues(NvmeDevice* Device) {
    if (!NvmeAllocateQueue(Device, &Device->Admin, 0))
        return FALSE;
    NvmeWrite32(Device, NVME_AQA, 0x00010001);
    NvmeWrite32(Device, NVME_ASQ, Device->Admin.SubmissionBase);
    NvmeWrite32(Device, NVME_ASQ + 4, 0);
    NvmeWrite32(Device, NVME_ACQ, Device->Admin.CompletionBase);
    NvmeWrite32(Device, NVME_ACQ + 4, 0);
    return TRUE;
}

BOOLEAN NvmeCreateIoQueues(NvmeDevice* Device) {
    if (!NvmeAllocateQueue(Device, &Device->Io, 1))
        return FALSE;
    NvmeEntry Entry;
    NewEntry(&Entry, NVME_OPC_CREATE_IO_CQ, 0, 1 | ((NVME_QUEUE_ENTRIES - 1) << 16), 1);
    BOOLEAN Ok = NvmeSubmitOnQueue(Device, Entry.Bytes, (VOID*)(UINTN)Device->Io.CompletionBase, 32,
                                   NVME_QUEUE_ADMIN, nullptr, NVME_ADMIN_US) == NVME_OK;
    if (Ok) {
        NewEntry(&Entry, NVME_OPC_CREATE_IO_SQ, 0, 1 | ((NVME_QUEUE_ENTRIES - 1) << 16), 1 | (1u << 16));
        Ok = NvmeSubmitOnQueue(Device, Entry.Bytes, (VOID*)(UINTN)Device->Io.SubmissionBase, 128,
                               NVME_QUEUE_ADMIN, nullptr, NVME_ADMIN_US) == NVME_OK;
    }
    if (!Ok) {
        Device->Io.SubmissionBuffer = 0;
        Device->Io.CompletionBuffer = 0;
    }
    return Ok;
}

UINT8 NvmeIdentify(NvmeDevice* Device, UINT32 Nsid, UINT32 Cns, VOID* Buffer) {
    NvmeEntry Entry;
    NewEntry(&Entry, NVME_OPC_IDENTIFY, Nsid, Cns, 0);
    return NvmeSubmitOnQueue(Device, Entry.Bytes, Buffer, NVME_IDENTIFY_BYTES, NVME_QUEUE_ADMIN, nullptr,
                             NVME_ADMIN_US);
}

VOID NvmeIncrementBootCount(NvmeDevice* Device) {
    NvmeEntry Entry;
    NewEntry(&Entry, NVME_OPC_GET_FEATURES, 0, NVME_FEATURE_BOOT_MARKER, 0);
    EFI_NVM_EXPRESS_COMPLETION Completion;
    SetMemBytes(&Completion, 0, sizeof(Completion));
    if (NvmeSubmitOnQueue(Device, Entry.Bytes, nullptr, 0, NVME_QUEUE_ADMIN, &Completion, NVME_ADMIN_US) !=
        NVME_OK)
        return;
    UINT8 Count = (UINT8)Completion.DW0;
    if (Count == 0xFF)
        return;
    NewEntry(&Entry, NVME_OPC_SET_FEATURES, 0, NVME_FEATURE_BOOT_MARKER, (UINT32)Count + 1);
    NvmeSubmitOnQueue(Device, Entry.Bytes, nullptr, 0, NVME_QUEUE_ADMIN, nullptr, NVME_ADMIN_US);
}

BOOLEAN NvmeInitController(NvmeDevice* Device) {
    UINT32 CapLow = NvmeRead32(Device, NVME_CAP);
    UINT32 CapHigh = NvmeRead32(Device, NVME_CAP + 4);
    UINT32 To = (CapLow >> 24) & 0xFF;
    UINT64 TimeoutUs = To == 0 ? 5000000 : (UINT64)To * NVME_TO_UNIT_US;
    if (!NvmeWaitReady(Device, FALSE, TimeoutUs))
        return FALSE;
    Device->DoorbellStride = 4u << (CapHigh & 0xF);
    if (!NvmeCreateAdminQueues(Device))
        return FALSE;
    UINT32 MpsMin = (CapHigh >> 16) & 0xF;
    UINT32 Cc = NvmeRead32(Device, NVME_CC);
    Cc = (Cc & (NVME_CC_EN | 0xEu | 0xFF000000u)) | (MpsMin << 7) | (6u << 16) | (4u << 20);
    NvmeWrite32(Device, NVME_CC, Cc);
    Device->PageSize = 1u << (12 + MpsMin);
    if (!NvmeWaitReady(Device, TRUE, TimeoutUs))
        return FALSE;
    UINT8* Identify = (UINT8*)AllocateBootPages(NVME_IDENTIFY_BYTES);
    if (Identify == nullptr || NvmeIdentify(Device, 0, 1, Identify) != NVME_OK)
        return FALSE;
    UINT32 Namespaces = Get32(Identify + 516);
    Device->Oacs = (UINT16)(Identify[256] | (Identify[257] << 8));
    Device->NamespaceCount = Namespaces > 1 ? 1 : Namespaces;
    if (PciRead16(Device->PciAddress, PCI_DEVICE_ID_OFFSET) == MOX_NVME_NO_NAMESPACE_DEVICE_ID &&
        Namespaces == 0) {
        Device->NoNamespace = 1;
        return TRUE;
    }
    if (Identify[77] != 0 && (1u << (12 + MpsMin)) > 4096)
        return FALSE;
    NvmeIncrementBootCount(Device);
    if (Namespaces == 0)
        return FALSE;
    return NvmeCreateIoQueues(Device);
}

EFI_STATUS NvmeMapDataBuffer(CONST UINT8* Command, UINT32* Buffer, UINT32 Length, NvmeQueuePair* Queue,
                             VOID** Mapping) {
    UINT8 Opcode = Command[0];
    BOOLEAN Admin = Queue->QueueId == 0 ? TRUE : FALSE;
    // Queue creation hands the controller queue memory, which is mapped already.
    if (Admin && (Opcode == NVME_OPC_CREATE_IO_SQ || Opcode == NVME_OPC_CREATE_IO_CQ))
        return EFI_SUCCESS;
    BOOLEAN DeviceReads = (Admin && Opcode == NVME_OPC_SECURITY_SEND) || (!Admin && Opcode == 0x01);
    EFI_PHYSICAL_ADDRESS DeviceAddress = 0;
    EFI_STATUS Status =
        DmaMapBuffer(DeviceReads ? EdkiiIoMmuOperationBusMasterRead : EdkiiIoMmuOperationBusMasterWrite,
                     (VOID*)(UINTN)*Buffer, Length, &DeviceAddress, Mapping);
    if (!EFI_ERROR(Status))
        *Buffer = (UINT32)DeviceAddress;
    return Status;
}

UINT8 NvmeSubmitCommand(NvmeDevice* Device, CONST UINT8* Command, VOID* Buffer, UINT32 Length,
                        NvmeQueuePair* Queue, EFI_NVM_EXPRESS_COMPLETION* Completion, UINT64 TimeoutUs) {
    UINT8* Entry = (UINT8*)(UINTN)(Queue->SubmissionBase + (UINT32)Queue->SubmissionTail * 64);
    volatile UINT8* Posted =
        (volatile UINT8*)(UINTN)(Queue->CompletionBase + (UINT32)Queue->CompletionHead * 16);
    UINT64 Prp1 = 0;
    UINT64 Prp2 = 0;
    BOOLEAN WithData = Buffer != nullptr && Length != 0 ? TRUE : FALSE;
    // PRP1 and PRP2 name at most two pages; a longer transfer would need a PRP list, which the module
    // does not build, and must not reach the controller with PRP2 left at 0.
    if (WithData && !NvmeBuildPrp(Device, &Prp1, &Prp2, (UINT32)(UINTN)Buffer, Length))
        return NVME_FAILED;
    for (UINTN Index = 0; Index < 64; ++Index)
        Entry[Index] = Command[Index];
    Entry[2] = (UINT8)Queue->NextCommandId;
    Entry[3] = (UINT8)(Queue->NextCommandId >> 8);
    ++Queue->NextCommandId;
    VOID* Mapping = nullptr;
    BOOLEAN Mapped = FALSE;
    if (WithData) {
        UINT32 Address = (UINT32)(UINTN)Buffer;
        if (IsIommuPresent()) {
            if (EFI_ERROR(NvmeMapDataBuffer(Command, &Address, Length, Queue, &Mapping)))
                return NVME_FAILED;
            // Queue memory handed to the controller is not mapped again.
            Mapped = Mapping != nullptr ? TRUE : FALSE;
        }
        NvmeBuildPrp(Device, &Prp1, &Prp2, Address, Length);
        Put64(Entry + 24, Prp1);
        Put64(Entry + 32, Prp2);
    }
    UINT8 Stale = Queue->Phase;
    for (UINTN Index = 0; Index < 16; ++Index)
        Posted[Index] = Stale ? 0xFF : 0x00;
    Queue->SubmissionTail = (UINT16)((Queue->SubmissionTail + 1) & (Queue->SubmissionEntries - 1));
    NvmeWrite32(Device, Queue->SubmissionDoorbell, Queue->SubmissionTail);
    UINT64 Deadline = TscDeadline(TimeoutUs);
    while (((Posted[14] & 1) ? 1 : 0) == Stale) {
        if (DeadlineExpired(Deadline)) {
            NvmeResetController(Device);
            // The reset disabled the controller: nothing can reach the buffer any more.
            if (Mapped)
                DmaUnmap(Mapping);
            return NVME_TIMED_OUT;
        }
    }
    EFI_NVM_EXPRESS_COMPLETION Received;
    UINT8* Copy = (UINT8*)&Received;
    for (UINTN Index = 0; Index < 16; ++Index)
        Copy[Index] = Posted[Index];
    if (Completion != nullptr)
        *Completion = Received;
    UINT8 Result = ((Received.DW3 >> 17) & 0x7FF) == 0 ? NVME_OK : NVME_FAILED;
    Queue->CompletionHead = (UINT16)((Queue->CompletionHead + 1) & (Queue->CompletionEntries - 1));
    NvmeWrite32(Device, Queue->CompletionDoorbell, Queue->CompletionHead);
    if (Queue->CompletionHead == 0)
        Queue->Phase ^= 1;
    if (Mapped && EFI_ERROR(DmaUnmap(Mapping)))
        return NVME_FAILED;
    return Result;
}

NvmePassThruRecord* RecordOf(EDKII_PEI_NVM_EXPRESS_PASS_THRU_PPI* This) {
    for (NvmePassThruRecord* Record = gMoxSecPeim.NvmePassThruList; Record != nullptr; Record = Record->Next)
        if (&Record->Ppi == This)
            return Record;
    return nullptr;
}

} // namespace

NvmeDevice* NvmeCreateDevice(UINT64 PciAddress, UINT32 RegisterBase) {
    if (RegisterBase == 0 || RegisterBase % 0x4000 != 0)
        return nullptr;
    NvmeDevice* Device = (NvmeDevice*)AllocateBootPages(sizeof(NvmeDevice));
    if (Device == nullptr)
        return nullptr;
    SetMemBytes(Device, 0, sizeof(NvmeDevice));
    Device->PciAddress = PciAddress;
    Device->RegisterBase = RegisterBase;
    return NvmeInitController(Device) ? Device : nullptr;
}

BOOLEAN NvmeBuildPrp(NvmeDevice* Device, UINT64* Prp1, UINT64* Prp2, UINT32 Address, UINT32 Length) {
    UINT32 Page = Device->PageSize;
    UINT64 End = (UINT64)(Address & (Page - 1)) + Length;
    *Prp1 = Address;
    *Prp2 = 0;
    if (End > Page && End <= 2 * (UINT64)Page)
        *Prp2 = (Address + Page) & ~(Page - 1);
    return End <= 2 * (UINT64)Page ? TRUE : FALSE;
}

BOOLEAN NvmeResetController(NvmeDevice* Device) {
    if (gMoxSecPeim.NvmeConsecutiveResets >= NVME_MAX_CONSECUTIVE_RESETS) {
        gMoxSecPeim.NvmeConsecutiveResets = 0;
        return FALSE;
    }
    ++gMoxSecPeim.NvmeConsecutiveResets;
    SetMemBytes(&Device->Admin, 0, sizeof(Device->Admin));
    SetMemBytes(&Device->Io, 0, sizeof(Device->Io));
    if (!NvmeInitController(Device))
        return FALSE;
    gMoxSecPeim.NvmeConsecutiveResets = 0;
    return TRUE;
}

UINT8 NvmeSubmitOnQueue(NvmeDevice* Device, CONST UINT8* Command, VOID* Buffer, UINT32 Length, UINT32 Queue,
                        EFI_NVM_EXPRESS_COMPLETION* Completion, UINT64 TimeoutUs) {
    if (Queue == NVME_QUEUE_ADMIN)
        return NvmeSubmitCommand(Device, Command, Buffer, Length, &Device->Admin, Completion, TimeoutUs);
    if (Queue == NVME_QUEUE_IO)
        return NvmeSubmitCommand(Device, Command, Buffer, Length, &Device->Io, Completion, TimeoutUs);
    return NVME_FAILED;
}

UINT8 NvmeSecurityCommand(NvmeDevice* Device, BOOLEAN Receive, UINT8 SecurityProtocol,
                          UINT16 ProtocolSpecific, VOID* Buffer, UINT32 Length, UINT64 TimeoutUs) {
    if (!(Device->Oacs & 0x1))
        return 0;
    NvmeEntry Entry;
    NewEntry(&Entry, Receive ? NVME_OPC_SECURITY_RECEIVE : NVME_OPC_SECURITY_SEND, 0,
             ((UINT32)SecurityProtocol << 24) | ((UINT32)ProtocolSpecific << 8), Length);
    return NvmeSubmitOnQueue(Device, Entry.Bytes, Buffer, Length, NVME_QUEUE_ADMIN, nullptr, TimeoutUs) ==
                   NVME_OK
               ? 1
               : 0;
}

UINT8 NvmeEnumerateNamespaces(NvmeDevice* Device, DevicePathRecord* PathRecord, UINTN Unused) {
    (VOID) Unused;
    UINT8* Identify = (UINT8*)AllocateBootPages(NVME_IDENTIFY_BYTES);
    if (Identify == nullptr || NvmeIdentify(Device, 0, 1, Identify) != NVME_OK)
        return 0;
    Device->Oacs = (UINT16)(Identify[256] | (Identify[257] << 8));
    UINT32 Namespaces = Get32(Identify + 516);
    if (Device->NoNamespace)
        return 1;
    Device->NamespaceCount = Namespaces > 1 ? 1 : Namespaces;
    if (Device->NamespaceCount == 1 && NvmeIdentify(Device, 1, 0, Identify) == NVME_OK)
        InstallNvmeStorageSecurity(Device, PathRecord, 0, 0, 0, 0, 0, 0, (UINT8)(Device->Oacs & 0x1));
    return 1;
}

BOOLEAN IsAllowedAdminOpcode(UINT8 Opcode) {
    return Opcode == NVME_OPC_IDENTIFY || Opcode == NVME_OPC_SECURITY_SEND ||
                   Opcode == NVME_OPC_SECURITY_RECEIVE
               ? TRUE
               : FALSE;
}

EFI_STATUS InstallNvmePassThru(NvmeDevice* Device) {
    if (Device == nullptr)
        return EFI_INVALID_PARAMETER;
    CONST EFI_PEI_SERVICES** Services = GetPeiServices();
    if (Services == nullptr)
        return EFI_NOT_FOUND;
    NvmePassThruRecord* Record = (NvmePassThruRecord*)AllocateBootPages(sizeof(NvmePassThruRecord));
    EFI_NVM_EXPRESS_PASS_THRU_MODE* Mode =
        Record == nullptr
            ? nullptr
            : (EFI_NVM_EXPRESS_PASS_THRU_MODE*)AllocateBootPages(sizeof(EFI_NVM_EXPRESS_PASS_THRU_MODE));
    if (Mode == nullptr)
        return EFI_OUT_OF_RESOURCES;
    SetMemBytes(Record, 0, sizeof(*Record));
    Mode->Attributes =
        EFI_NVM_EXPRESS_PASS_THRU_ATTRIBUTES_PHYSICAL | EFI_NVM_EXPRESS_PASS_THRU_ATTRIBUTES_CMD_SET_NVM;
    Mode->IoAlign = 4;
    Mode->NvmeVersion = 0x10000;
    Record->Ppi.Revision = EDKII_PEI_NVM_EXPRESS_PASS_THRU_PPI_REVISION;
    Record->Ppi.Mode = Mode;
    Record->Ppi.GetDevicePath = NvmeGetDevicePath;
    Record->Ppi.GetNextNameSpace = NvmeGetNextNameSpace;
    Record->Ppi.PassThru = NvmePassThru;
    Record->Device = Device;
    Record->Descriptor.Flags = EFI_PEI_PPI_DESCRIPTOR_PPI | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST;
    Record->Descriptor.Guid = &gEdkiiPeiNvmExpressPassThruPpiGuid;
    Record->Descriptor.Ppi = &Record->Ppi;
    AppendRecord(&gMoxSecPeim.NvmePassThruList, Record);
    return (*Services)->InstallPpi(Services, &Record->Descriptor);
}

EFI_STATUS EFIAPI NvmeGetDevicePath(IN EDKII_PEI_NVM_EXPRESS_PASS_THRU_PPI* This, OUT UINTN* DevicePathLength,
                                    OUT EFI_DEVICE_PATH_PROTOCOL** DevicePath) {
    (VOID) This;
    (VOID) DevicePathLength;
    (VOID) DevicePath;
    return EFI_UNSUPPORTED;
}

EFI_STATUS EFIAPI NvmeGetNextNameSpace(IN EDKII_PEI_NVM_EXPRESS_PASS_THRU_PPI* This,
                                       IN OUT UINT32* NamespaceId) {
    (VOID) This;
    if (NamespaceId == nullptr)
        return EFI_INVALID_PARAMETER;
    if (*NamespaceId == 0xFFFFFFFF) {
        *NamespaceId = 1;
        return EFI_SUCCESS;
    }
    return *NamespaceId == 1 ? EFI_NOT_FOUND : EFI_INVALID_PARAMETER;
}

EFI_STATUS EFIAPI NvmePassThru(IN EDKII_PEI_NVM_EXPRESS_PASS_THRU_PPI* This, IN UINT32 NamespaceId,
                               IN OUT EFI_NVM_EXPRESS_PASS_THRU_COMMAND_PACKET* Packet) {
    if (NamespaceId > 1 || Packet == nullptr || Packet->NvmeCmd == nullptr ||
        Packet->NvmeCompletion == nullptr)
        return EFI_INVALID_PARAMETER;
    EFI_NVM_EXPRESS_COMMAND* Command = Packet->NvmeCmd;
    UINT8 Opcode = (UINT8)Command->Cdw0;
    if (Packet->QueueType != NVME_ADMIN_QUEUE || !IsAllowedAdminOpcode(Opcode))
        return EFI_UNSUPPORTED;
    NvmePassThruRecord* Record = RecordOf(This);
    if (Record == nullptr || Record->Device == nullptr)
        return EFI_NOT_FOUND;
    // Identify always returns its 4096 bytes: without a buffer for them the controller would write
    // them through a PRP of 0.
    if (Opcode == NVME_OPC_IDENTIFY && (Packet->TransferBuffer == nullptr || Packet->TransferLength == 0))
        return EFI_INVALID_PARAMETER;
    NvmeEntry Entry;
    NewEntry(&Entry, Opcode, Command->Nsid, Command->Cdw10, Command->Cdw11);
    Entry.Bytes[1] = (UINT8)((Command->Cdw0 >> 8) & 0x3);
    Put32(Entry.Bytes + 8, Command->Cdw2);
    Put32(Entry.Bytes + 12, Command->Cdw3);
    Put64(Entry.Bytes + 16, (UINT64)(UINTN)Packet->MetadataBuffer);
    Put32(Entry.Bytes + 48, Command->Cdw12);
    Put32(Entry.Bytes + 52, Command->Cdw13);
    Put32(Entry.Bytes + 56, Command->Cdw14);
    Put32(Entry.Bytes + 60, Command->Cdw15);
    UINT8 Result = NvmeSubmitOnQueue(Record->Device, Entry.Bytes, Packet->TransferBuffer,
                                     Packet->TransferLength, NVME_QUEUE_ADMIN, Packet->NvmeCompletion,
                                     TimeoutToMicroseconds(Packet->CommandTimeout));
    return Result == NVME_OK ? EFI_SUCCESS : EFI_DEVICE_ERROR;
}
