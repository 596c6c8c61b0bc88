// Memory of the module: whole PEI pages, allocated and never given back, and byte helpers that need
// no library.
#pragma once

#include "platform/uefi/pi/PiPeiCis.h"

// Pages of 4096 bytes that hold Size bytes.
UINTN SizeToPages(UINTN Size);
// Boot-services-data pages for Size bytes from the PEI services, or null.
VOID* AllocateBootPages(UINTN Size);
// PEI pages are never given back; kept so that every allocation has its counterpart.
VOID FreeBootPages(VOID* Buffer, UINTN Size);
VOID SetMemBytes(VOID* Buffer, UINT8 Value, UINTN Length);
// Copies Source into Destination when it fits. A missing source or one that does not fit zeroes the
// whole destination; those, an empty source and a missing destination answer EFI_INVALID_PARAMETER.
EFI_STATUS CopyMemChecked(VOID* Destination, UINTN DestinationSize, CONST VOID* Source, UINTN SourceSize);
