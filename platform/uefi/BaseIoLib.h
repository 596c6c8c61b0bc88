// Memory-mapped register reads, as a UEFI program of this system makes them (the base I/O library's
// routines). On the platform each is one load from the physical address; here the simulated
// firmware answers from the device models that decode the address.
#pragma once

#include "platform/uefi/UefiBaseType.h"

UINT8 EFIAPI MmioRead8(UINTN Address);
UINT16 EFIAPI MmioRead16(UINTN Address);
UINT32 EFIAPI MmioRead32(UINTN Address);
