// EFI_PCI_IO_PROTOCOL: one PCI function's configuration space, BARs, DMA and attributes.
#pragma once

#include "platform/uefi/UefiBootServices.h"

#define EFI_PCI_IO_PROTOCOL_GUID                                                                             \
    {                                                                                                        \
        0x4cf5b200, 0x68b8, 0x4ca5, {                                                                        \
            0x9e, 0xec, 0xb2, 0x3e, 0x3f, 0x50, 0x02, 0x9a                                                   \
        }                                                                                                    \
    }
inline EFI_GUID gEfiPciIoProtocolGuid = EFI_PCI_IO_PROTOCOL_GUID;

typedef struct EFI_PCI_IO_PROTOCOL EFI_PCI_IO_PROTOCOL;

typedef enum {
    EfiPciIoWidthUint8,
    EfiPciIoWidthUint16,
    EfiPciIoWidthUint32,
    EfiPciIoWidthUint64,
    EfiPciIoWidthFifoUint8,
    EfiPciIoWidthFifoUint16,
    EfiPciIoWidthFifoUint32,
    EfiPciIoWidthFifoUint64,
    EfiPciIoWidthFillUint8,
    EfiPciIoWidthFillUint16,
    EfiPciIoWidthFillUint32,
    EfiPciIoWidthFillUint64,
    EfiPciIoWidthMaximum
} EFI_PCI_IO_PROTOCOL_WIDTH;

typedef enum {
    EfiPciIoOperationBusMasterRead,
    EfiPciIoOperationBusMasterWrite,
    EfiPciIoOperationBusMasterCommonBuffer,
    EfiPciIoOperationMaximum
} EFI_PCI_IO_PROTOCOL_OPERATION;

typedef enum {
    EfiPciIoAttributeOperationGet,
    EfiPciIoAttributeOperationSet,
    EfiPciIoAttributeOperationEnable,
    EfiPciIoAttributeOperationDisable,
    EfiPciIoAttributeOperationSupported,
    EfiPciIoAttributeOperationMaximum
} EFI_PCI_IO_PROTOCOL_ATTRIBUTE_OPERATION;

// Attribute bits.
#define EFI_PCI_IO_ATTRIBUTE_ISA_MOTHERBOARD_IO 0x0001u
#define EFI_PCI_IO_ATTRIBUTE_ISA_IO 0x0002u
#define EFI_PCI_IO_ATTRIBUTE_VGA_PALETTE_IO 0x0004u
#define EFI_PCI_IO_ATTRIBUTE_VGA_MEMORY 0x0008u
#define EFI_PCI_IO_ATTRIBUTE_VGA_IO 0x0010u
#define EFI_PCI_IO_ATTRIBUTE_IDE_PRIMARY_IO 0x0020u
#define EFI_PCI_IO_ATTRIBUTE_IDE_SECONDARY_IO 0x0040u
#define EFI_PCI_IO_ATTRIBUTE_MEMORY_WRITE_COMBINE 0x0080u
#define EFI_PCI_IO_ATTRIBUTE_IO 0x0100u
#define EFI_PCI_IO_ATTRIBUTE_MEMORY 0x0200u
#define EFI_PCI_IO_ATTRIBUTE_BUS_MASTER 0x0400u
#define EFI_PCI_IO_ATTRIBUTE_MEMORY_CACHED 0x0800u
#define EFI_PCI_IO_ATTRIBUTE_MEMORY_DISABLE 0x1000u
#define EFI_PCI_IO_ATTRIBUTE_EMBEDDED_DEVICE 0x2000u
#define EFI_PCI_IO_ATTRIBUTE_EMBEDDED_ROM 0x4000u
#define EFI_PCI_IO_ATTRIBUTE_DUAL_ADDRESS_CYCLE 0x8000u
#define EFI_PCI_IO_ATTRIBUTE_ISA_IO_16 0x10000u
#define EFI_PCI_IO_ATTRIBUTE_VGA_PALETTE_IO_16 0x20000u
#define EFI_PCI_IO_ATTRIBUTE_VGA_IO_16 0x40000u

typedef EFI_STATUS(EFIAPI* EFI_PCI_IO_PROTOCOL_POLL_IO_MEM)(EFI_PCI_IO_PROTOCOL* This,
                                                            EFI_PCI_IO_PROTOCOL_WIDTH Width, UINT8 BarIndex,
                                                            UINT64 Offset, UINT64 Mask, UINT64 Value,
                                                            UINT64 Delay, UINT64* Result);
typedef EFI_STATUS(EFIAPI* EFI_PCI_IO_PROTOCOL_IO_MEM)(EFI_PCI_IO_PROTOCOL* This,
                                                       EFI_PCI_IO_PROTOCOL_WIDTH Width, UINT8 BarIndex,
                                                       UINT64 Offset, UINTN Count, VOID* Buffer);
typedef EFI_STATUS(EFIAPI* EFI_PCI_IO_PROTOCOL_CONFIG)(EFI_PCI_IO_PROTOCOL* This,
                                                       EFI_PCI_IO_PROTOCOL_WIDTH Width, UINT32 Offset,
                                                       UINTN Count, VOID* Buffer);
typedef EFI_STATUS(EFIAPI* EFI_PCI_IO_PROTOCOL_COPY_MEM)(EFI_PCI_IO_PROTOCOL* This,
                                                         EFI_PCI_IO_PROTOCOL_WIDTH Width, UINT8 DestBarIndex,
                                                         UINT64 DestOffset, UINT8 SrcBarIndex,
                                                         UINT64 SrcOffset, UINTN Count);
typedef EFI_STATUS(EFIAPI* EFI_PCI_IO_PROTOCOL_MAP)(EFI_PCI_IO_PROTOCOL* This,
                                                    EFI_PCI_IO_PROTOCOL_OPERATION Operation,
                                                    VOID* HostAddress, UINTN* NumberOfBytes,
                                                    EFI_PHYSICAL_ADDRESS* DeviceAddress, VOID** Mapping);
typedef EFI_STATUS(EFIAPI* EFI_PCI_IO_PROTOCOL_UNMAP)(EFI_PCI_IO_PROTOCOL* This, VOID* Mapping);
typedef EFI_STATUS(EFIAPI* EFI_PCI_IO_PROTOCOL_ALLOCATE_BUFFER)(EFI_PCI_IO_PROTOCOL* This,
                                                                EFI_ALLOCATE_TYPE Type,
                                                                EFI_MEMORY_TYPE MemoryType, UINTN Pages,
                                                                VOID** HostAddress, UINT64 Attributes);
typedef EFI_STATUS(EFIAPI* EFI_PCI_IO_PROTOCOL_FREE_BUFFER)(EFI_PCI_IO_PROTOCOL* This, UINTN Pages,
                                                            VOID* HostAddress);
typedef EFI_STATUS(EFIAPI* EFI_PCI_IO_PROTOCOL_FLUSH)(EFI_PCI_IO_PROTOCOL* This);
typedef EFI_STATUS(EFIAPI* EFI_PCI_IO_PROTOCOL_GET_LOCATION)(EFI_PCI_IO_PROTOCOL* This, UINTN* SegmentNumber,
                                                             UINTN* BusNumber, UINTN* DeviceNumber,
                                                             UINTN* FunctionNumber);
typedef EFI_STATUS(EFIAPI* EFI_PCI_IO_PROTOCOL_ATTRIBUTES)(EFI_PCI_IO_PROTOCOL* This,
                                                           EFI_PCI_IO_PROTOCOL_ATTRIBUTE_OPERATION Operation,
                                                           UINT64 Attributes, UINT64* Result);
typedef EFI_STATUS(EFIAPI* EFI_PCI_IO_PROTOCOL_GET_BAR_ATTRIBUTES)(EFI_PCI_IO_PROTOCOL* This, UINT8 BarIndex,
                                                                   UINT64* Supports, VOID** Resources);
typedef EFI_STATUS(EFIAPI* EFI_PCI_IO_PROTOCOL_SET_BAR_ATTRIBUTES)(EFI_PCI_IO_PROTOCOL* This,
                                                                   UINT64 Attributes, UINT8 BarIndex,
                                                                   UINT64* Offset, UINT64* Length);

typedef struct {
    EFI_PCI_IO_PROTOCOL_IO_MEM Read;
    EFI_PCI_IO_PROTOCOL_IO_MEM Write;
} EFI_PCI_IO_PROTOCOL_ACCESS;

typedef struct {
    EFI_PCI_IO_PROTOCOL_CONFIG Read;
    EFI_PCI_IO_PROTOCOL_CONFIG Write;
} EFI_PCI_IO_PROTOCOL_CONFIG_ACCESS;

struct EFI_PCI_IO_PROTOCOL {
    EFI_PCI_IO_PROTOCOL_POLL_IO_MEM PollMem;
    EFI_PCI_IO_PROTOCOL_POLL_IO_MEM PollIo;
    EFI_PCI_IO_PROTOCOL_ACCESS Mem;
    EFI_PCI_IO_PROTOCOL_ACCESS Io;
    EFI_PCI_IO_PROTOCOL_CONFIG_ACCESS Pci;
    EFI_PCI_IO_PROTOCOL_COPY_MEM CopyMem;
    EFI_PCI_IO_PROTOCOL_MAP Map;
    EFI_PCI_IO_PROTOCOL_UNMAP Unmap;
    EFI_PCI_IO_PROTOCOL_ALLOCATE_BUFFER AllocateBuffer;
    EFI_PCI_IO_PROTOCOL_FREE_BUFFER FreeBuffer;
    EFI_PCI_IO_PROTOCOL_FLUSH Flush;
    EFI_PCI_IO_PROTOCOL_GET_LOCATION GetLocation;
    EFI_PCI_IO_PROTOCOL_ATTRIBUTES Attributes;
    EFI_PCI_IO_PROTOCOL_GET_BAR_ATTRIBUTES GetBarAttributes;
    EFI_PCI_IO_PROTOCOL_SET_BAR_ATTRIBUTES SetBarAttributes;
    alignas(8) UINT64 RomSize;
    VOID* RomImage;
};
static_assert(sizeof(EFI_PCI_IO_PROTOCOL) == EFI_LAYOUT(160, 88), "EFI_PCI_IO_PROTOCOL size");
static_assert(offsetof(EFI_PCI_IO_PROTOCOL, Pci) == EFI_LAYOUT(48, 24) &&
                  offsetof(EFI_PCI_IO_PROTOCOL, GetLocation) == EFI_LAYOUT(112, 56) &&
                  offsetof(EFI_PCI_IO_PROTOCOL, Attributes) == EFI_LAYOUT(120, 60) &&
                  offsetof(EFI_PCI_IO_PROTOCOL, RomSize) == EFI_LAYOUT(144, 72) &&
                  offsetof(EFI_PCI_IO_PROTOCOL, RomImage) == EFI_LAYOUT(152, 80),
              "EFI_PCI_IO_PROTOCOL field offsets");
