#include "firmware/moxsecpeim/DmaBuffers.h"

#include "firmware/moxsecpeim/MemoryHelpers.h"
#include "firmware/moxsecpeim/ModuleState.h"

namespace {

// The device reads what it is to read, writes what it is to write; a common buffer takes both.
UINT64 AccessFor(EDKII_IOMMU_OPERATION Operation) {
    switch (Operation) {
    case EdkiiIoMmuOperationBusMasterRead:
    case EdkiiIoMmuOperationBusMasterRead64:
        return EDKII_IOMMU_ACCESS_READ;
    case EdkiiIoMmuOperationBusMasterWrite:
    case EdkiiIoMmuOperationBusMasterWrite64:
        return EDKII_IOMMU_ACCESS_WRITE;
    default:
        return EDKII_IOMMU_ACCESS_READ | EDKII_IOMMU_ACCESS_WRITE;
    }
}

} // namespace

VOID LocateIommu(CONST EFI_PEI_SERVICES** PeiServices) {
    EDKII_IOMMU_PPI* IoMmu = nullptr;
    if (EFI_ERROR((*PeiServices)->LocatePpi(PeiServices, &gEdkiiIoMmuPpiGuid, 0, nullptr, (VOID**)&IoMmu)))
        return;
    gMoxSecPeim.IommuPresent = TRUE;
    gMoxSecPeim.IoMmu = IoMmu;
}

BOOLEAN IsIommuPresent(VOID) {
    return gMoxSecPeim.IommuPresent;
}

VOID* DmaAllocateBuffer(UINTN Size) {
    VOID* Buffer = nullptr;
    if (!IsIommuPresent()) {
        Buffer = AllocateBootPages(Size);
    } else {
        EDKII_IOMMU_PPI* IoMmu = gMoxSecPeim.IoMmu;
        if (IoMmu == nullptr ||
            EFI_ERROR(IoMmu->AllocateBuffer(IoMmu, EfiBootServicesData, SizeToPages(Size), &Buffer, 0)))
            return nullptr;
    }
    if (Buffer != nullptr)
        SetMemBytes(Buffer, 0, Size);
    return Buffer;
}

EFI_STATUS DmaMapBuffer(EDKII_IOMMU_OPERATION Operation, VOID* HostAddress, UINTN Size,
                        EFI_PHYSICAL_ADDRESS* DeviceAddress, VOID** Mapping) {
    if (!IsIommuPresent())
        return EFI_SUCCESS;
    EDKII_IOMMU_PPI* IoMmu = gMoxSecPeim.IoMmu;
    if (IoMmu == nullptr)
        return EFI_DEVICE_ERROR;
    UINTN Bytes = Size;
    EFI_STATUS Status = IoMmu->Map(IoMmu, Operation, HostAddress, &Bytes, DeviceAddress, Mapping);
    if (EFI_ERROR(Status))
        return Status;
    // A partial mapping would let the device reach part of the buffer only, and a mapping left behind
    // would outlive the buffer the caller frees.
    if (Bytes != Size) {
        IoMmu->Unmap(IoMmu, *Mapping);
        return EFI_OUT_OF_RESOURCES;
    }
    Status = IoMmu->SetAttribute(IoMmu, *Mapping, AccessFor(Operation));
    if (EFI_ERROR(Status))
        IoMmu->Unmap(IoMmu, *Mapping);
    return Status;
}

VOID* DmaAllocateMapped(EDKII_IOMMU_OPERATION Operation, UINTN Size, EFI_PHYSICAL_ADDRESS* DeviceAddress,
                        VOID** Mapping) {
    VOID* Buffer = DmaAllocateBuffer(Size);
    if (Buffer == nullptr)
        return nullptr;
    if (EFI_ERROR(DmaMapBuffer(Operation, Buffer, Size, DeviceAddress, Mapping))) {
        DmaFreeBuffer(Size, Buffer);
        return nullptr;
    }
    return Buffer;
}

EFI_STATUS DmaFreeBuffer(UINTN Size, VOID* HostAddress) {
    if (!IsIommuPresent())
        return EFI_SUCCESS;
    EDKII_IOMMU_PPI* IoMmu = gMoxSecPeim.IoMmu;
    if (IoMmu == nullptr)
        return EFI_DEVICE_ERROR;
    return IoMmu->FreeBuffer(IoMmu, SizeToPages(Size), HostAddress);
}

EFI_STATUS DmaUnmap(VOID* Mapping) {
    if (!IsIommuPresent())
        return EFI_SUCCESS;
    EDKII_IOMMU_PPI* IoMmu = gMoxSecPeim.IoMmu;
    if (IoMmu == nullptr)
        return EFI_DEVICE_ERROR;
    return IoMmu->Unmap(IoMmu, Mapping);
}

EFI_STATUS DmaUnmapFree(UINTN Size, VOID* HostAddress, VOID* Mapping) {
    if (!IsIommuPresent())
        return EFI_SUCCESS;
    EFI_STATUS Status = DmaUnmap(Mapping);
    if (EFI_ERROR(Status))
        return Status;
    return DmaFreeBuffer(Size, HostAddress);
}
