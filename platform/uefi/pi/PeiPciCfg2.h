// The PCI configuration PPI of the PEI services table, from the PI specification.
#pragma once

#include "platform/uefi/pi/PiPeiCis.h"

typedef enum {
    EfiPeiPciCfgWidthUint8,
    EfiPeiPciCfgWidthUint16,
    EfiPeiPciCfgWidthUint32,
    EfiPeiPciCfgWidthUint64,
    EfiPeiPciCfgWidthMaximum
} EFI_PEI_PCI_CFG_PPI_WIDTH;

// The configuration address the PPI takes: register in bits 7:0, function 15:8, device 23:16, bus
// 31:24; a register of 0x100 or above goes into bits 63:32 instead (extended configuration space).
#define EFI_PEI_PCI_CFG_ADDRESS(bus, dev, func, reg)                                                         \
    (((UINT64)(bus) << 24) | ((UINT64)(dev) << 16) | ((UINT64)(func) << 8) |                                 \
     ((UINT64)(reg) < 0x100 ? (UINT64)(reg) : ((UINT64)(reg) << 32)))

typedef EFI_STATUS(EFIAPI* EFI_PEI_PCI_CFG2_PPI_IO)(IN CONST EFI_PEI_SERVICES** PeiServices,
                                                    IN CONST EFI_PEI_PCI_CFG2_PPI* This,
                                                    IN EFI_PEI_PCI_CFG_PPI_WIDTH Width, IN UINT64 Address,
                                                    IN OUT VOID* Buffer);
typedef EFI_STATUS(EFIAPI* EFI_PEI_PCI_CFG2_PPI_RW)(IN CONST EFI_PEI_SERVICES** PeiServices,
                                                    IN CONST EFI_PEI_PCI_CFG2_PPI* This,
                                                    IN EFI_PEI_PCI_CFG_PPI_WIDTH Width, IN UINT64 Address,
                                                    IN VOID* SetBits, IN VOID* ClearBits);

struct _EFI_PEI_PCI_CFG2_PPI {
    EFI_PEI_PCI_CFG2_PPI_IO Read;
    EFI_PEI_PCI_CFG2_PPI_IO Write;
    EFI_PEI_PCI_CFG2_PPI_RW Modify;
    UINT16 Segment;
};
static_assert(offsetof(EFI_PEI_PCI_CFG2_PPI, Segment) == 3 * sizeof(VOID*), "EFI_PEI_PCI_CFG2_PPI.Segment");
static_assert(sizeof(EFI_PEI_PCI_CFG2_PPI) == 4 * sizeof(VOID*), "EFI_PEI_PCI_CFG2_PPI");
