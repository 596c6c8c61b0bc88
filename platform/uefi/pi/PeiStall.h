// The Stall PPI, from the PI specification.
#pragma once

#include "platform/uefi/pi/PiPeiCis.h"

typedef struct _EFI_PEI_STALL_PPI EFI_PEI_STALL_PPI;

typedef EFI_STATUS(EFIAPI* EFI_PEI_STALL)(IN CONST EFI_PEI_SERVICES** PeiServices,
                                          IN CONST EFI_PEI_STALL_PPI* This, IN UINTN Microseconds);

struct _EFI_PEI_STALL_PPI {
    // Microseconds of the stall's granularity.
    UINTN Resolution;
    EFI_PEI_STALL Stall;
};
static_assert(sizeof(EFI_PEI_STALL_PPI) == 2 * sizeof(VOID*), "EFI_PEI_STALL_PPI");

inline EFI_GUID gEfiPeiStallPpiGuid = {
    0x1f4c6f90, 0xb06b, 0x48d8, {0xa2, 0x01, 0xba, 0xe5, 0xf1, 0xcd, 0x7d, 0x56}};
