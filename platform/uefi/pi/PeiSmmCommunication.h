// The SMM communication PPI, from the PI specification: a PEI module passes a buffer, led by the
// communicate header, to the system management mode handler registered for the header's GUID.
#pragma once

#include "platform/uefi/pi/PiPeiCis.h"

typedef struct _EFI_PEI_SMM_COMMUNICATION_PPI EFI_PEI_SMM_COMMUNICATION_PPI;

typedef EFI_STATUS(EFIAPI* EFI_PEI_SMM_COMMUNICATE)(IN CONST EFI_PEI_SMM_COMMUNICATION_PPI* This,
                                                    IN OUT VOID* CommBuffer, IN OUT UINTN* CommSize);

struct _EFI_PEI_SMM_COMMUNICATION_PPI {
    EFI_PEI_SMM_COMMUNICATE Communicate;
};

inline EFI_GUID gEfiPeiSmmCommunicationPpiGuid = {
    0xae933e1c, 0xcc47, 0x4e38, {0x8f, 0x0e, 0xe2, 0xf6, 0x1d, 0x26, 0x05, 0xdf}};
