// EFI_SYSTEM_TABLE: what an image gets at its entry point, and the configuration table entries it
// points to.
#pragma once

#include "platform/uefi/UefiBaseType.h"
#include "platform/uefi/UefiBootServices.h"
#include "platform/uefi/UefiRuntimeServices.h"
#include "platform/uefi/protocol/SimpleTextIn.h"
#include "platform/uefi/protocol/SimpleTextOut.h"

#define EFI_SYSTEM_TABLE_SIGNATURE 0x5453595320494249ULL // "IBI SYST"
#define EFI_SPECIFICATION_REVISION(Major, Minor) (((UINT32)(Major) << 16) | (UINT32)(Minor))
#define EFI_2_70_SYSTEM_TABLE_REVISION EFI_SPECIFICATION_REVISION(2, 70)

typedef struct {
    EFI_GUID VendorGuid;
    VOID* VendorTable;
} EFI_CONFIGURATION_TABLE;
static_assert(sizeof(EFI_CONFIGURATION_TABLE) == EFI_LAYOUT(24, 20), "EFI_CONFIGURATION_TABLE size");
static_assert(offsetof(EFI_CONFIGURATION_TABLE, VendorTable) == 16, "EFI_CONFIGURATION_TABLE.VendorTable");

typedef struct {
    EFI_TABLE_HEADER Hdr;
    CHAR16* FirmwareVendor;
    UINT32 FirmwareRevision;
    EFI_HANDLE ConsoleInHandle;
    EFI_SIMPLE_TEXT_INPUT_PROTOCOL* ConIn;
    EFI_HANDLE ConsoleOutHandle;
    EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* ConOut;
    EFI_HANDLE StandardErrorHandle;
    EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* StdErr;
    EFI_RUNTIME_SERVICES* RuntimeServices;
    EFI_BOOT_SERVICES* BootServices;
    UINTN NumberOfTableEntries;
    EFI_CONFIGURATION_TABLE* ConfigurationTable;
} EFI_SYSTEM_TABLE;
static_assert(sizeof(EFI_SYSTEM_TABLE) == EFI_LAYOUT(120, 72), "EFI_SYSTEM_TABLE size");
static_assert(offsetof(EFI_SYSTEM_TABLE, FirmwareVendor) == 24 &&
                  offsetof(EFI_SYSTEM_TABLE, FirmwareRevision) == EFI_LAYOUT(32, 28) &&
                  offsetof(EFI_SYSTEM_TABLE, ConIn) == EFI_LAYOUT(48, 36) &&
                  offsetof(EFI_SYSTEM_TABLE, ConOut) == EFI_LAYOUT(64, 44) &&
                  offsetof(EFI_SYSTEM_TABLE, RuntimeServices) == EFI_LAYOUT(88, 56) &&
                  offsetof(EFI_SYSTEM_TABLE, BootServices) == EFI_LAYOUT(96, 60) &&
                  offsetof(EFI_SYSTEM_TABLE, NumberOfTableEntries) == EFI_LAYOUT(104, 64) &&
                  offsetof(EFI_SYSTEM_TABLE, ConfigurationTable) == EFI_LAYOUT(112, 68),
              "EFI_SYSTEM_TABLE field offsets");

// The entry point of an image.
typedef EFI_STATUS(EFIAPI* EFI_IMAGE_ENTRY_POINT)(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable);
