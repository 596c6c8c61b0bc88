// Memory a bus master may reach. With the IOMMU PPI every buffer is allocated and mapped through it,
// and the device is granted the access its direction needs; without it buffers are plain PEI pages
// and the device sees them at their own address.
#pragma once

#include "platform/uefi/pi/PeiIoMmu.h"
#include "platform/uefi/pi/PiPeiCis.h"

// Looks the IOMMU PPI up (instance 0); when found, marks it present and keeps it.
VOID LocateIommu(CONST EFI_PEI_SERVICES** PeiServices);
BOOLEAN IsIommuPresent(VOID);

// A zeroed buffer of Size bytes in whole pages, or null.
VOID* DmaAllocateBuffer(UINTN Size);
// Maps Size bytes at HostAddress for Operation and grants the device the access the operation needs.
// A mapping that would cover fewer or more bytes is undone (EFI_OUT_OF_RESOURCES), as is one whose
// access cannot be set. Without the IOMMU nothing is written.
EFI_STATUS DmaMapBuffer(EDKII_IOMMU_OPERATION Operation, VOID* HostAddress, UINTN Size,
                        EFI_PHYSICAL_ADDRESS* DeviceAddress, VOID** Mapping);
// DmaAllocateBuffer and DmaMapBuffer; a failed mapping frees the buffer and gives null.
VOID* DmaAllocateMapped(EDKII_IOMMU_OPERATION Operation, UINTN Size, EFI_PHYSICAL_ADDRESS* DeviceAddress,
                        VOID** Mapping);
EFI_STATUS DmaFreeBuffer(UINTN Size, VOID* HostAddress);
EFI_STATUS DmaUnmap(VOID* Mapping);
// Unmaps, and frees when that succeeded.
EFI_STATUS DmaUnmapFree(UINTN Size, VOID* HostAddress, VOID* Mapping);
