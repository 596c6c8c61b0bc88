// EFI_PCI_ROOT_BRIDGE_IO_PROTOCOL, as far as the programs of this system reach it: configuration
// space access by address, which is how registers beyond the first 256 bytes of a function are read.
#pragma once

#include "platform/uefi/protocol/PciIo.h"

#define EFI_PCI_ROOT_BRIDGE_IO_PROTOCOL_GUID                                                                 \
    {                                                                                                        \
        0x2f707ebb, 0x4a1a, 0x11d4, {                                                                        \
            0x9a, 0x38, 0x00, 0x90, 0x27, 0x3f, 0xc1, 0x4d                                                   \
        }                                                                                                    \
    }
inline EFI_GUID gEfiPciRootBridgeIoProtocolGuid = EFI_PCI_ROOT_BRIDGE_IO_PROTOCOL_GUID;

// The widths have the values of EFI_PCI_IO_PROTOCOL_WIDTH.
typedef EFI_PCI_IO_PROTOCOL_WIDTH EFI_PCI_ROOT_BRIDGE_IO_PROTOCOL_WIDTH;

// A configuration address: register in bits 0-7, function 8-15, device 16-23, bus 24-31; a register
// at 256 or above goes in the upper 32 bits (the extended register) with bits 0-7 zero.
#define EFI_PCI_ADDRESS(Bus, Device, Function, Register)                                                     \
    (((UINT64)(Bus) << 24) | ((UINT64)(Device) << 16) | ((UINT64)(Function) << 8) |                          \
     ((Register) < 256 ? (UINT64)(Register) : ((UINT64)(Register) << 32)))

struct EFI_PCI_ROOT_BRIDGE_IO_PROTOCOL;

typedef EFI_STATUS(EFIAPI* EFI_PCI_ROOT_BRIDGE_IO_PROTOCOL_IO_MEM)(
    EFI_PCI_ROOT_BRIDGE_IO_PROTOCOL* This, EFI_PCI_ROOT_BRIDGE_IO_PROTOCOL_WIDTH Width, UINT64 Address,
    UINTN Count, VOID* Buffer);
typedef struct {
    EFI_PCI_ROOT_BRIDGE_IO_PROTOCOL_IO_MEM Read;
    EFI_PCI_ROOT_BRIDGE_IO_PROTOCOL_IO_MEM Write;
} EFI_PCI_ROOT_BRIDGE_IO_PROTOCOL_ACCESS;

// The functions this system does not call are kept as untyped slots, so the record has its size.
typedef VOID* EFI_PCI_ROOT_BRIDGE_IO_UNUSED;

struct EFI_PCI_ROOT_BRIDGE_IO_PROTOCOL {
    EFI_HANDLE ParentHandle;
    EFI_PCI_ROOT_BRIDGE_IO_UNUSED PollMem;
    EFI_PCI_ROOT_BRIDGE_IO_UNUSED PollIo;
    EFI_PCI_ROOT_BRIDGE_IO_PROTOCOL_ACCESS Mem;
    EFI_PCI_ROOT_BRIDGE_IO_PROTOCOL_ACCESS Io;
    EFI_PCI_ROOT_BRIDGE_IO_PROTOCOL_ACCESS Pci;
    EFI_PCI_ROOT_BRIDGE_IO_UNUSED CopyMem;
    EFI_PCI_ROOT_BRIDGE_IO_UNUSED Map;
    EFI_PCI_ROOT_BRIDGE_IO_UNUSED Unmap;
    EFI_PCI_ROOT_BRIDGE_IO_UNUSED AllocateBuffer;
    EFI_PCI_ROOT_BRIDGE_IO_UNUSED FreeBuffer;
    EFI_PCI_ROOT_BRIDGE_IO_UNUSED Flush;
    EFI_PCI_ROOT_BRIDGE_IO_UNUSED GetAttributes;
    EFI_PCI_ROOT_BRIDGE_IO_UNUSED SetAttributes;
    EFI_PCI_ROOT_BRIDGE_IO_UNUSED Configuration;
    UINT32 SegmentNumber;
};
static_assert(sizeof(EFI_PCI_ROOT_BRIDGE_IO_PROTOCOL) == EFI_LAYOUT(152, 76),
              "EFI_PCI_ROOT_BRIDGE_IO_PROTOCOL size");
static_assert(offsetof(EFI_PCI_ROOT_BRIDGE_IO_PROTOCOL, Pci) == EFI_LAYOUT(56, 28) &&
                  offsetof(EFI_PCI_ROOT_BRIDGE_IO_PROTOCOL, SegmentNumber) == EFI_LAYOUT(144, 72),
              "EFI_PCI_ROOT_BRIDGE_IO_PROTOCOL field offsets");
