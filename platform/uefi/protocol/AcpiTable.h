// EFI_ACPI_TABLE_PROTOCOL: installs and removes ACPI tables.
#pragma once

#include "platform/uefi/UefiBaseType.h"

#define EFI_ACPI_TABLE_PROTOCOL_GUID                                                                         \
    {                                                                                                        \
        0xffe06bdd, 0x6107, 0x46a6, {                                                                        \
            0x7b, 0xb2, 0x5a, 0x9c, 0x7e, 0xc5, 0x27, 0x5c                                                   \
        }                                                                                                    \
    }
inline EFI_GUID gEfiAcpiTableProtocolGuid = EFI_ACPI_TABLE_PROTOCOL_GUID;

struct EFI_ACPI_TABLE_PROTOCOL;

typedef EFI_STATUS(EFIAPI* EFI_ACPI_TABLE_INSTALL_ACPI_TABLE)(EFI_ACPI_TABLE_PROTOCOL* This,
                                                              VOID* AcpiTableBuffer,
                                                              UINTN AcpiTableBufferSize, UINTN* TableKey);
typedef EFI_STATUS(EFIAPI* EFI_ACPI_TABLE_UNINSTALL_ACPI_TABLE)(EFI_ACPI_TABLE_PROTOCOL* This,
                                                                UINTN TableKey);

struct EFI_ACPI_TABLE_PROTOCOL {
    EFI_ACPI_TABLE_INSTALL_ACPI_TABLE InstallAcpiTable;
    EFI_ACPI_TABLE_UNINSTALL_ACPI_TABLE UninstallAcpiTable;
};
static_assert(sizeof(EFI_ACPI_TABLE_PROTOCOL) == EFI_LAYOUT(16, 8), "EFI_ACPI_TABLE_PROTOCOL size");
