// Finding the remapping controller among the PCI functions, and making its registers readable.
#pragma once

#include "platform/uefi/protocol/PciIo.h"

typedef struct {
    UINT16 VendorId;
    UINT16 DeviceId;
} MOX_ZRC_CONTROLLER_ID;

// The remapping controllers the application knows, ended by a row with 0xFFFF.
extern const MOX_ZRC_CONTROLLER_ID gZrcControllerIds[];

// The attributes the controller's registers need: memory decoding and bus mastering.
#define ZRC_PCI_ATTRIBUTES (EFI_PCI_IO_ATTRIBUTE_MEMORY | EFI_PCI_IO_ATTRIBUTE_BUS_MASTER)
#define ZRC_ATTRIBUTES_ENABLE 0
#define ZRC_ATTRIBUTES_RESTORE 1

BOOLEAN IsSupportedZrcController(const MOX_ZRC_CONTROLLER_ID* Table, UINT16 VendorId, UINT16 DeviceId);
// The PCI I/O of the first PCI function whose IDs are in the table, or null.
EFI_PCI_IO_PROTOCOL* FindZrcController(const MOX_ZRC_CONTROLLER_ID* Table);
// The PCI handle of the first function whose IDs are in the application's table, or null.
EFI_HANDLE FindZrcControllerHandle();
// The PCI I/O of the function at that bus, device and function in any segment, or null.
EFI_PCI_IO_PROTOCOL* FindPciIoByLocation(UINTN Bus, UINTN Device, UINTN Function);
// Mode 0 saves the attributes in *Saved and enables memory decoding and bus mastering; mode 1 puts
// the saved attributes back. True on success.
BOOLEAN SetZrcPciAttributes(EFI_PCI_IO_PROTOCOL* PciIo, UINT64* Saved, UINTN Mode);

// One configuration register of the function, 0 when the read fails: below 256 through its own PCI
// I/O, from 256 up through the first PCI root bridge at the function's location.
UINT8 ReadPciConfig8(EFI_PCI_IO_PROTOCOL* PciIo, UINT32 Offset);
UINT16 ReadPciConfig16(EFI_PCI_IO_PROTOCOL* PciIo, UINT32 Offset);
UINT32 ReadPciConfig32(EFI_PCI_IO_PROTOCOL* PciIo, UINT32 Offset);
UINT64 ReadPciConfig64(EFI_PCI_IO_PROTOCOL* PciIo, UINT32 Offset);

#define CPU_BRAND_STRING_SIZE 48
// The processor's brand string (CPUID 0x80000002 to 0x80000004) without leading and trailing spaces;
// Brand holds CPU_BRAND_STRING_SIZE + 1 bytes.
void ReadCpuBrandString(CHAR8* Brand);
// EAX of CPUID leaf 1.
UINT32 ReadCpuSignature();

// The registers of the controller the register dump shows.
#define ZRC_CONFIG_BASE_REGISTER 0x10
#define ZRC_MEMORY_BASE1_REGISTER 0x18
#define ZRC_MEMORY_BASE2_REGISTER 0x20
#define ZRC_VM_CONFIGURATION_REGISTER 0x44
#define ZRC_VM_DEVICE_ASSIGNMENT_REGISTER 0x48
#define ZRC_CONFIG_SIZE_REGISTER 0x4C
#define ZRC_MEMORY_BAR1_SIZE_REGISTER 0x4D
#define ZRC_MEMORY_BAR2_SIZE_REGISTER 0x4E
#define ZRC_VM_FUNCTION_ASSIGNMENT_REGISTER 0x50
