// NVMe controllers the module brings up: remapped into windows of the SATA controller's BAR5, or
// announced by the platform's storage PPI. Each has an admin and one I/O queue pair of two entries,
// commands are polled, and the NVM Express pass-through PPI carries Identify and the security commands.
#pragma once

#include "platform/uefi/pi/PeiNvmExpressPassThru.h"
#include "platform/uefi/pi/PiPeiCis.h"

struct DevicePathRecord;

#define NVME_QUEUE_ENTRIES 2
#define NVME_SUBMISSION_BUFFER_BYTES (4096 + 128)
#define NVME_COMPLETION_BUFFER_BYTES (4096 + 32)

struct NvmeQueuePair {
    UINT16 QueueId;
    UINT16 SubmissionEntries;
    UINT16 CompletionEntries;
    UINT32 SubmissionBase;
    UINT32 CompletionBase;
    UINT32 SubmissionBuffer;
    UINT32 CompletionBuffer;
    VOID* SubmissionMapping;
    VOID* CompletionMapping;
    UINT32 SubmissionBufferSize;
    UINT32 CompletionBufferSize;
    UINT32 SubmissionDoorbell;
    UINT32 CompletionDoorbell;
    UINT16 SubmissionTail;
    UINT16 CompletionHead;
    UINT8 Phase;
    UINT16 NextCommandId;
};

struct NvmeDevice {
    UINT64 PciAddress;
    UINT32 RegisterBase;
    UINT32 PageSize;
    UINT32 DoorbellStride;
    NvmeQueuePair Admin;
    NvmeQueuePair Io;
    UINT32 NamespaceCount;
    UINT16 Oacs;
    UINT8 NoNamespace;
};

struct NvmePassThruRecord {
    EFI_PEI_PPI_DESCRIPTOR Descriptor;
    EDKII_PEI_NVM_EXPRESS_PASS_THRU_PPI Ppi;
    NvmeDevice* Device;
    NvmePassThruRecord* Next;
};

// Results of NvmeSubmitOnQueue.
#define NVME_FAILED 0
#define NVME_OK 1
#define NVME_TIMED_OUT 3

#define NVME_QUEUE_ADMIN 0
#define NVME_QUEUE_IO 1

// The platform vendor's NVMe device that may come up without namespaces.
#define MOX_NVME_NO_NAMESPACE_DEVICE_ID 0x282A

// A device whose registers lie at RegisterBase (a multiple of 0x4000), brought up, or null.
NvmeDevice* NvmeCreateDevice(UINT64 PciAddress, UINT32 RegisterBase);
EFI_STATUS InstallNvmePassThru(NvmeDevice* Device);
// Identifies the namespaces and hands the device to the storage security PPI: 1, or 0 on failure.
UINT8 NvmeEnumerateNamespaces(NvmeDevice* Device, DevicePathRecord* PathRecord, UINTN Unused);
// Security Receive or Send: 1 on success, 0 on failure (none sent without OACS bit 0).
UINT8 NvmeSecurityCommand(NvmeDevice* Device, BOOLEAN Receive, UINT8 SecurityProtocol,
                          UINT16 ProtocolSpecific, VOID* Buffer, UINT32 Length, UINT64 TimeoutUs);
UINT8 NvmeSubmitOnQueue(NvmeDevice* Device, CONST UINT8* Command, VOID* Buffer, UINT32 Length, UINT32 Queue,
                        EFI_NVM_EXPRESS_COMPLETION* Completion, UINT64 TimeoutUs);
// PRP1 and PRP2 of a transfer: FALSE when it needs more than the two pages they can name.
BOOLEAN NvmeBuildPrp(NvmeDevice* Device, UINT64* Prp1, UINT64* Prp2, UINT32 Address, UINT32 Length);
BOOLEAN NvmeResetController(NvmeDevice* Device);
BOOLEAN IsAllowedAdminOpcode(UINT8 Opcode);

EFI_STATUS EFIAPI NvmeGetDevicePath(IN EDKII_PEI_NVM_EXPRESS_PASS_THRU_PPI* This, OUT UINTN* DevicePathLength,
                                    OUT EFI_DEVICE_PATH_PROTOCOL** DevicePath);
EFI_STATUS EFIAPI NvmeGetNextNameSpace(IN EDKII_PEI_NVM_EXPRESS_PASS_THRU_PPI* This,
                                       IN OUT UINT32* NamespaceId);
EFI_STATUS EFIAPI NvmePassThru(IN EDKII_PEI_NVM_EXPRESS_PASS_THRU_PPI* This, IN UINT32 NamespaceId,
                               IN OUT EFI_NVM_EXPRESS_PASS_THRU_COMMAND_PACKET* Packet);
