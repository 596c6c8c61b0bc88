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
// The PCI I/O of the function at that bus, device and function in any segment, or null.
EFI_PCI_IO_PROTOCOL* FindPciIoByLocation(UINTN Bus, UINTN Device, UINTN Function);
// Mode 0 saves the attributes in *Saved and enables memory decoding and bus mastering; mode 1 puts
// the saved attributes back. True on success.
BOOLEAN SetZrcPciAttributes(EFI_PCI_IO_PROTOCOL* PciIo, UINT64* Saved, UINTN Mode);
