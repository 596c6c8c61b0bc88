// PCI configuration space and memory-mapped registers, reached through the PCI configuration and CPU
// I/O PPIs of the PEI services table.
#pragma once

#include "platform/uefi/pi/PiPeiCis.h"

// A PCI configuration address as the PCI configuration PPI takes it, register bits clear; all ones
// names no device.
#define MOX_PCI_ADDRESS_NONE 0xFFFFFFFFFFFFFFFFULL

#define PCI_VENDOR_ID_OFFSET 0x00
#define PCI_DEVICE_ID_OFFSET 0x02
#define PCI_COMMAND_OFFSET 0x04
#define PCI_PROG_IF_OFFSET 0x09
#define PCI_CLASS_WORD_OFFSET 0x0A
#define PCI_BAR0_OFFSET 0x10
#define PCI_BAR_COUNT 6

#define PCI_COMMAND_MEMORY_SPACE 0x0002
#define PCI_COMMAND_BUS_MASTER 0x0004

// The address of bus:device.function, or MOX_PCI_ADDRESS_NONE when its vendor ID reads 0xFFFF.
UINT64 GetPciAddress(UINT8 Bus, UINT8 Device, UINT8 Function);
// Turns on memory space decoding and bus mastering.
VOID EnablePciDevice(UINT64 PciAddress);
// The memory address a BAR decodes below 4 GB, or 0 for an I/O BAR, a BAR above 4 GB, a 64-bit BAR
// without a following BAR, or a type the module does not take.
UINT32 GetBarAddress(UINT64 PciAddress, UINT32 BarIndex);

// A register of 0x100 or above goes into the extended-register half of the address.
UINT8 PciRead8(UINT64 PciAddress, UINT32 Register);
UINT16 PciRead16(UINT64 PciAddress, UINT32 Register);
UINT32 PciRead32(UINT64 PciAddress, UINT32 Register);
VOID PciWrite16(UINT64 PciAddress, UINT32 Register, UINT16 Value);
VOID PciWrite32(UINT64 PciAddress, UINT32 Register, UINT32 Value);

UINT8 MmioRead8(UINT32 Address);
UINT16 MmioRead16(UINT32 Address);
UINT32 MmioRead32(UINT32 Address);
UINT64 MmioRead64(UINT32 Address);
VOID MmioWrite8(UINT32 Address, UINT8 Value);
VOID MmioWrite16(UINT32 Address, UINT16 Value);
VOID MmioWrite32(UINT32 Address, UINT32 Value);
VOID MmioWrite64(UINT32 Address, UINT64 Value);
