// The CPU I/O PPI (memory and I/O port access) of the PEI services table, from the PI specification.
#pragma once

#include "platform/uefi/pi/PiPeiCis.h"

typedef enum {
    EfiPeiCpuIoWidthUint8,
    EfiPeiCpuIoWidthUint16,
    EfiPeiCpuIoWidthUint32,
    EfiPeiCpuIoWidthUint64,
    EfiPeiCpuIoWidthFifoUint8,
    EfiPeiCpuIoWidthFifoUint16,
    EfiPeiCpuIoWidthFifoUint32,
    EfiPeiCpuIoWidthFifoUint64,
    EfiPeiCpuIoWidthFillUint8,
    EfiPeiCpuIoWidthFillUint16,
    EfiPeiCpuIoWidthFillUint32,
    EfiPeiCpuIoWidthFillUint64,
    EfiPeiCpuIoWidthMaximum
} EFI_PEI_CPU_IO_PPI_WIDTH;

typedef EFI_STATUS(EFIAPI* EFI_PEI_CPU_IO_PPI_IO_MEM)(IN CONST EFI_PEI_SERVICES** PeiServices,
                                                      IN CONST EFI_PEI_CPU_IO_PPI* This,
                                                      IN EFI_PEI_CPU_IO_PPI_WIDTH Width, IN UINT64 Address,
                                                      IN UINTN Count, IN OUT VOID* Buffer);

typedef struct {
    EFI_PEI_CPU_IO_PPI_IO_MEM Read;
    EFI_PEI_CPU_IO_PPI_IO_MEM Write;
} EFI_PEI_CPU_IO_PPI_ACCESS;

typedef UINT8(EFIAPI* EFI_PEI_CPU_IO_PPI_READ8)(IN CONST EFI_PEI_SERVICES** PeiServices,
                                                IN CONST EFI_PEI_CPU_IO_PPI* This, IN UINT64 Address);
typedef UINT16(EFIAPI* EFI_PEI_CPU_IO_PPI_READ16)(IN CONST EFI_PEI_SERVICES** PeiServices,
                                                  IN CONST EFI_PEI_CPU_IO_PPI* This, IN UINT64 Address);
typedef UINT32(EFIAPI* EFI_PEI_CPU_IO_PPI_READ32)(IN CONST EFI_PEI_SERVICES** PeiServices,
                                                  IN CONST EFI_PEI_CPU_IO_PPI* This, IN UINT64 Address);
typedef UINT64(EFIAPI* EFI_PEI_CPU_IO_PPI_READ64)(IN CONST EFI_PEI_SERVICES** PeiServices,
                                                  IN CONST EFI_PEI_CPU_IO_PPI* This, IN UINT64 Address);
typedef VOID(EFIAPI* EFI_PEI_CPU_IO_PPI_WRITE8)(IN CONST EFI_PEI_SERVICES** PeiServices,
                                                IN CONST EFI_PEI_CPU_IO_PPI* This, IN UINT64 Address,
                                                IN UINT8 Data);
typedef VOID(EFIAPI* EFI_PEI_CPU_IO_PPI_WRITE16)(IN CONST EFI_PEI_SERVICES** PeiServices,
                                                 IN CONST EFI_PEI_CPU_IO_PPI* This, IN UINT64 Address,
                                                 IN UINT16 Data);
typedef VOID(EFIAPI* EFI_PEI_CPU_IO_PPI_WRITE32)(IN CONST EFI_PEI_SERVICES** PeiServices,
                                                 IN CONST EFI_PEI_CPU_IO_PPI* This, IN UINT64 Address,
                                                 IN UINT32 Data);
typedef VOID(EFIAPI* EFI_PEI_CPU_IO_PPI_WRITE64)(IN CONST EFI_PEI_SERVICES** PeiServices,
                                                 IN CONST EFI_PEI_CPU_IO_PPI* This, IN UINT64 Address,
                                                 IN UINT64 Data);

struct _EFI_PEI_CPU_IO_PPI {
    EFI_PEI_CPU_IO_PPI_ACCESS Mem;
    EFI_PEI_CPU_IO_PPI_ACCESS Io;
    EFI_PEI_CPU_IO_PPI_READ8 IoRead8;
    EFI_PEI_CPU_IO_PPI_READ16 IoRead16;
    EFI_PEI_CPU_IO_PPI_READ32 IoRead32;
    EFI_PEI_CPU_IO_PPI_READ64 IoRead64;
    EFI_PEI_CPU_IO_PPI_WRITE8 IoWrite8;
    EFI_PEI_CPU_IO_PPI_WRITE16 IoWrite16;
    EFI_PEI_CPU_IO_PPI_WRITE32 IoWrite32;
    EFI_PEI_CPU_IO_PPI_WRITE64 IoWrite64;
    EFI_PEI_CPU_IO_PPI_READ8 MemRead8;
    EFI_PEI_CPU_IO_PPI_READ16 MemRead16;
    EFI_PEI_CPU_IO_PPI_READ32 MemRead32;
    EFI_PEI_CPU_IO_PPI_READ64 MemRead64;
    EFI_PEI_CPU_IO_PPI_WRITE8 MemWrite8;
    EFI_PEI_CPU_IO_PPI_WRITE16 MemWrite16;
    EFI_PEI_CPU_IO_PPI_WRITE32 MemWrite32;
    EFI_PEI_CPU_IO_PPI_WRITE64 MemWrite64;
};
static_assert(sizeof(EFI_PEI_CPU_IO_PPI) == 20 * sizeof(VOID*), "EFI_PEI_CPU_IO_PPI: twenty functions");
static_assert(offsetof(EFI_PEI_CPU_IO_PPI, MemRead8) == 12 * sizeof(VOID*), "EFI_PEI_CPU_IO_PPI.MemRead8");
