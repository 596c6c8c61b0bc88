// The nine groups of the report and the look-ups they share: the controller's registers, the
// driver's protocols, the ACPI tables and firmware variables, the version table and the devices
// behind the controller.
#pragma once

#include "firmware/moxzrcinfo/MoxZrcInfo.h"
#include "platform/uefi/protocol/DevicePath.h"

// Groups 1 and 2: the firmware's services and the driver's protocols.
BOOLEAN RunSystemProvidedProtocolsAndTables(EFI_PCI_IO_PROTOCOL* ZrcPciIo);
BOOLEAN RunDriverProvidedProtocolsAndTables(EFI_PCI_IO_PROTOCOL* ZrcPciIo);
BOOLEAN CheckUefiServices();
EFI_STATUS LocateAcpiTableProtocol();
// Prints "<Label> Protocol" with PASS, or WARN when warn-only, or FAIL; TRUE when the handle has it.
BOOLEAN CheckProtocol(EFI_HANDLE Handle, EFI_GUID* Protocol, const CHAR8* Label, BOOLEAN WarnOnly);
BOOLEAN CheckPassThruOnController(EFI_GUID* Protocol, const CHAR8* Label);
void PrintDriverNameAndVersion(EFI_HANDLE DriverHandle);

// Groups 3 and 4.
BOOLEAN RunOcfAndBcfsFeatureTests(EFI_PCI_IO_PROTOCOL* ZrcPciIo);
BOOLEAN RunVersionTableTests(EFI_PCI_IO_PROTOCOL* ZrcPciIo);

// Groups 5 and 6.
BOOLEAN RunZrcControllerInfoTests(EFI_PCI_IO_PROTOCOL* ZrcPciIo);
BOOLEAN RunZrcRegisterDumpTests(EFI_PCI_IO_PROTOCOL* ZrcPciIo);

// Groups 7 and 8.
BOOLEAN RunExportedLogicalDevices(EFI_PCI_IO_PROTOCOL* ZrcPciIo);
BOOLEAN RunMappedDevicesInformation(EFI_PCI_IO_PROTOCOL* ZrcPciIo);
// The last node before the end node, or null for an empty path.
EFI_DEVICE_PATH_PROTOCOL* LastDevicePathNode(EFI_DEVICE_PATH_PROTOCOL* Path);
// Writes the size of BlockCount 512-byte blocks ("931.5GB", "1.8TB") into Text (at least 10 bytes);
// returns the size in tenths of GiB.
UINTN FormatSize(UINT64 BlockCount, CHAR8* Text);

// Group 9.
BOOLEAN RunEfiFastBootSupport(EFI_PCI_IO_PROTOCOL* ZrcPciIo);
