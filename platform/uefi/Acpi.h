// The ACPI records a UEFI program reads through the configuration table: the root system description
// pointer, the common description header and the "UEFI" data table; the configuration table GUIDs of
// the ACPI 2.0 root pointer and of the hand-off block list.
#pragma once

#include "platform/uefi/UefiBaseType.h"

#define EFI_ACPI_20_TABLE_GUID                                                                               \
    {                                                                                                        \
        0x8868e871, 0xe4f1, 0x11d3, {                                                                        \
            0xbc, 0x22, 0x00, 0x80, 0xc7, 0x3c, 0x88, 0x81                                                   \
        }                                                                                                    \
    }
inline EFI_GUID gEfiAcpi20TableGuid = EFI_ACPI_20_TABLE_GUID;

#define EFI_HOB_LIST_GUID                                                                                    \
    {                                                                                                        \
        0x7739f24c, 0x93d7, 0x11d4, {                                                                        \
            0x9a, 0x3a, 0x00, 0x90, 0x27, 0x3f, 0xc1, 0x4d                                                   \
        }                                                                                                    \
    }
inline EFI_GUID gEfiHobListGuid = EFI_HOB_LIST_GUID;

#define ACPI_RSDP_SIGNATURE "RSD PTR "
#define ACPI_XSDT_SIGNATURE "XSDT"
#define ACPI_RSDT_SIGNATURE "RSDT"
#define ACPI_UEFI_SIGNATURE "UEFI"

// The root system description pointer; revision 0 (ACPI 1.0) ends after RsdtAddress (20 bytes).
typedef struct {
    CHAR8 Signature[8];
    UINT8 Checksum;
    CHAR8 OemId[6];
    UINT8 Revision;
    UINT32 RsdtAddress;
    UINT32 Length;
    UINT64 XsdtAddress;
    UINT8 ExtendedChecksum;
    UINT8 Reserved[3];
} __attribute__((packed)) ACPI_RSDP;
static_assert(sizeof(ACPI_RSDP) == 36, "ACPI_RSDP size");
static_assert(offsetof(ACPI_RSDP, RsdtAddress) == 16 && offsetof(ACPI_RSDP, Length) == 20 &&
                  offsetof(ACPI_RSDP, XsdtAddress) == 24,
              "ACPI_RSDP field offsets");
#define ACPI_RSDP_10_LENGTH 20

typedef struct {
    CHAR8 Signature[4];
    UINT32 Length;
    UINT8 Revision;
    UINT8 Checksum;
    CHAR8 OemId[6];
    CHAR8 OemTableId[8];
    UINT32 OemRevision;
    UINT32 CreatorId;
    UINT32 CreatorRevision;
} ACPI_DESCRIPTION_HEADER;
static_assert(sizeof(ACPI_DESCRIPTION_HEADER) == 36, "ACPI_DESCRIPTION_HEADER size");
static_assert(offsetof(ACPI_DESCRIPTION_HEADER, Length) == 4 &&
                  offsetof(ACPI_DESCRIPTION_HEADER, OemRevision) == 24,
              "ACPI_DESCRIPTION_HEADER field offsets");

// A "UEFI" data table: the header, the identifier of its data, and the offset of the data.
typedef struct {
    ACPI_DESCRIPTION_HEADER Header;
    EFI_GUID Identifier;
    UINT16 DataOffset;
} __attribute__((packed)) ACPI_UEFI_TABLE;
static_assert(sizeof(ACPI_UEFI_TABLE) == 54, "ACPI_UEFI_TABLE size");
static_assert(offsetof(ACPI_UEFI_TABLE, Identifier) == 36 && offsetof(ACPI_UEFI_TABLE, DataOffset) == 52,
              "ACPI_UEFI_TABLE field offsets");
