#include "firmware/moxsecpeim/SmmHandoff.h"

#include "platform/uefi/pi/PeiSmmCommunication.h"
#include "platform/uefi/pi/PlatformStoragePpis.h"

#include "firmware/moxsecpeim/DmaBuffers.h"
#include "firmware/moxsecpeim/MemoryHelpers.h"
#include "firmware/moxsecpeim/ModuleState.h"

namespace {

CONST EFI_PEI_NOTIFY_DESCRIPTOR mSmmHandoffNotify = {EFI_PEI_PPI_DESCRIPTOR_NOTIFY_CALLBACK |
                                                         EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST,
                                                     &gSmmHandoffSignalPpiGuid, OnSmmHandoffSignal};

} // namespace

EFI_STATUS RegisterSmmHandoff(CONST EFI_PEI_SERVICES** PeiServices) {
    LocateIommu(PeiServices);
    if (!IsIommuPresent())
        return EFI_SUCCESS;
    return (*PeiServices)->NotifyPpi(PeiServices, &mSmmHandoffNotify);
}

EFI_STATUS EFIAPI OnSmmHandoffSignal(IN EFI_PEI_SERVICES** PeiServices,
                                     IN EFI_PEI_NOTIFY_DESCRIPTOR* NotifyDescriptor, IN VOID* Ppi) {
    (VOID) NotifyDescriptor;
    (VOID) Ppi;
    CONST EFI_PEI_SERVICES** Services = (CONST EFI_PEI_SERVICES**)PeiServices;
    EFI_BOOT_MODE BootMode = 0;
    EFI_STATUS Status = (*Services)->GetBootMode(Services, &BootMode);
    if (EFI_ERROR(Status))
        return Status;
    if (BootMode != BOOT_ON_S3_RESUME)
        return EFI_SUCCESS;
    SmmBufferEntry Entries[MOX_SEC_SMM_BUFFER_COUNT];
    SetMemBytes(Entries, 0, sizeof(Entries));
    Status = SmmCommunicateIommu(MOX_SEC_SMM_FETCH_BUFFERS, Entries);
    if (EFI_ERROR(Status))
        return Status;
    Status = MapSmmBuffers(Entries);
    if (EFI_ERROR(Status))
        return Status;
    return SmmCommunicateIommu(MOX_SEC_SMM_RETURN_MAPPED, Entries);
}

EFI_STATUS SmmCommunicateIommu(UINT64 Function, SmmBufferEntry* Data) {
    MOX_ASSERT((Function == 4) || (Function == 5));
    MoxSecSmmCommunicateBuffer Buffer;
    SetMemBytes(&Buffer, 0, sizeof(Buffer));
    Buffer.HeaderGuid = gMoxSecSmmMessageGuid;
    Buffer.MessageLength = sizeof(MoxSecSmmMessage);
    Buffer.Message.Function = Function;
    Buffer.Message.ReturnStatus = MOX_SEC_SMM_STATUS_PRESET;
    CopyMemChecked(Buffer.Message.Data, sizeof(Buffer.Message.Data), Data, sizeof(Buffer.Message.Data));

    CONST EFI_PEI_SERVICES** Services = GetPeiServices();
    EFI_PEI_SMM_COMMUNICATION_PPI* Communication = nullptr;
    EFI_STATUS Status =
        (*Services)->LocatePpi(Services, &gEfiPeiSmmCommunicationPpiGuid, 0, nullptr, (VOID**)&Communication);
    if (EFI_ERROR(Status))
        return Status;
    UINTN Size = sizeof(Buffer);
    Status = Communication->Communicate(Communication, &Buffer, &Size);
    if (EFI_ERROR(Status))
        return Status;
    UINT32 HandlerStatus = (UINT32)Buffer.Message.ReturnStatus;
    if (HandlerStatus != 0)
        return (EFI_STATUS)HandlerStatus;
    CopyMemChecked(Data, sizeof(Buffer.Message.Data), Buffer.Message.Data, sizeof(Buffer.Message.Data));
    return EFI_SUCCESS;
}

EFI_STATUS MapSmmBuffers(SmmBufferEntry* Entries) {
    CONST EFI_PEI_SERVICES** Services = GetPeiServices();
    VOID* IoMmu = nullptr;
    if (EFI_ERROR((*Services)->LocatePpi(Services, &gEdkiiIoMmuPpiGuid, 0, nullptr, &IoMmu)))
        return EFI_NOT_FOUND;
    // Each size is kept before its entry is overwritten with the device address: the undo frees what
    // was allocated.
    UINT32 Sizes[MOX_SEC_SMM_BUFFER_COUNT];
    VOID* Buffers[MOX_SEC_SMM_BUFFER_COUNT];
    VOID* Mappings[MOX_SEC_SMM_BUFFER_COUNT];
    SetMemBytes(Buffers, 0, sizeof(Buffers));
    SetMemBytes(Mappings, 0, sizeof(Mappings));
    UINTN Made = 0;
    for (; Made < MOX_SEC_SMM_BUFFER_COUNT; ++Made) {
        Sizes[Made] = Entries[Made].Answer.Size;
        Buffers[Made] = DmaAllocateMapped(EdkiiIoMmuOperationBusMasterCommonBuffer, Sizes[Made],
                                          &Entries[Made].DeviceAddress, &Mappings[Made]);
        if (Buffers[Made] == nullptr)
            break;
    }
    if (Made == MOX_SEC_SMM_BUFFER_COUNT)
        return EFI_SUCCESS;
    for (UINTN Index = 0; Index < Made; ++Index)
        if (Buffers[Index] != nullptr && Mappings[Index] != nullptr)
            DmaUnmapFree(Sizes[Index], Buffers[Index], Mappings[Index]);
    return EFI_OUT_OF_RESOURCES;
}
