// The IOMMU PPI of the EDK II PEI interfaces: DMA buffers and the mappings that let a bus master reach
// them, with the access the device is granted.
#pragma once

#include "platform/uefi/pi/PiPeiCis.h"

typedef struct _EDKII_IOMMU_PPI EDKII_IOMMU_PPI;

#define EDKII_IOMMU_PPI_REVISION 0x00010000

// What the device may do with a mapping (SetAttribute).
#define EDKII_IOMMU_ACCESS_READ 0x1
#define EDKII_IOMMU_ACCESS_WRITE 0x2

// Attributes of AllocateBuffer.
#define EDKII_IOMMU_ATTRIBUTE_MEMORY_WRITE_COMBINE 0x0080
#define EDKII_IOMMU_ATTRIBUTE_MEMORY_CACHED 0x0800
#define EDKII_IOMMU_ATTRIBUTE_DUAL_ADDRESS_CYCLE 0x8000

typedef enum {
    // The device reads the memory.
    EdkiiIoMmuOperationBusMasterRead,
    // The device writes the memory.
    EdkiiIoMmuOperationBusMasterWrite,
    // Both, on a buffer from AllocateBuffer.
    EdkiiIoMmuOperationBusMasterCommonBuffer,
    EdkiiIoMmuOperationBusMasterRead64,
    EdkiiIoMmuOperationBusMasterWrite64,
    EdkiiIoMmuOperationBusMasterCommonBuffer64,
    EdkiiIoMmuOperationMaximum
} EDKII_IOMMU_OPERATION;

typedef EFI_STATUS(EFIAPI* EDKII_PEI_IOMMU_SET_ATTRIBUTE)(IN EDKII_IOMMU_PPI* This, IN VOID* Mapping,
                                                          IN UINT64 IoMmuAccess);
typedef EFI_STATUS(EFIAPI* EDKII_PEI_IOMMU_MAP)(IN EDKII_IOMMU_PPI* This, IN EDKII_IOMMU_OPERATION Operation,
                                                IN VOID* HostAddress, IN OUT UINTN* NumberOfBytes,
                                                OUT EFI_PHYSICAL_ADDRESS* DeviceAddress, OUT VOID** Mapping);
typedef EFI_STATUS(EFIAPI* EDKII_PEI_IOMMU_UNMAP)(IN EDKII_IOMMU_PPI* This, IN VOID* Mapping);
typedef EFI_STATUS(EFIAPI* EDKII_PEI_IOMMU_ALLOCATE_BUFFER)(IN EDKII_IOMMU_PPI* This,
                                                            IN EFI_MEMORY_TYPE MemoryType, IN UINTN Pages,
                                                            IN OUT VOID** HostAddress, IN UINT64 Attributes);
typedef EFI_STATUS(EFIAPI* EDKII_PEI_IOMMU_FREE_BUFFER)(IN EDKII_IOMMU_PPI* This, IN UINTN Pages,
                                                        IN VOID* HostAddress);

struct _EDKII_IOMMU_PPI {
    alignas(8) UINT64 Revision;
    EDKII_PEI_IOMMU_SET_ATTRIBUTE SetAttribute;
    EDKII_PEI_IOMMU_MAP Map;
    EDKII_PEI_IOMMU_UNMAP Unmap;
    EDKII_PEI_IOMMU_ALLOCATE_BUFFER AllocateBuffer;
    EDKII_PEI_IOMMU_FREE_BUFFER FreeBuffer;
};
static_assert(offsetof(EDKII_IOMMU_PPI, SetAttribute) == 8, "EDKII_IOMMU_PPI.SetAttribute");
static_assert(offsetof(EDKII_IOMMU_PPI, FreeBuffer) == 8 + 4 * sizeof(VOID*), "EDKII_IOMMU_PPI.FreeBuffer");

inline EFI_GUID gEdkiiIoMmuPpiGuid = {
    0x70b0af26, 0xf847, 0x4bb6, {0xaa, 0xb9, 0xcd, 0xe8, 0x4f, 0xc6, 0x14, 0x31}};
