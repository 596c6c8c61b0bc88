// What the remapping controller's UEFI RAID driver publishes about itself: the driver version table
// (in a "UEFI" ACPI table and in a variable), the feature variables and the fast-enumeration table.
#pragma once

#include "platform/uefi/UefiSystemTable.h"

// The driver's version table, little-endian; the fields this application does not read are kept
// as bytes.
typedef struct {
    UINT8 Reserved0[4];
    UINT8 HeaderMajor;
    UINT8 HeaderMinor;
    UINT16 RomVersion[4];
    UINT8 Reserved14[2];
    UINT16 RaidLevels; // bit 0 RAID0, bit 1 RAID1, bit 2 RAID10, bit 4 RAID5, bit 5 YQR
    UINT16 StripSizes; // bit n: 2 KiB << n
    UINT16 MaxDisksPerArray;
    UINT16 MaxDisks;
    UINT8 MaxVolumesPerArray;
    UINT8 Reserved25;
    UINT32 AcpiAttributes; // header revision above 2.1
    UINT16 AcpiCapabilities;
    UINT8 Instances;
    UINT8 Reserved33;
    UINT32 AcpiFeatures;
} __attribute__((packed)) DriverVersionTable;
static_assert(sizeof(DriverVersionTable) == 38, "DriverVersionTable size");
static_assert(offsetof(DriverVersionTable, HeaderMajor) == 4 &&
                  offsetof(DriverVersionTable, RomVersion) == 6 &&
                  offsetof(DriverVersionTable, RaidLevels) == 16 &&
                  offsetof(DriverVersionTable, StripSizes) == 18 &&
                  offsetof(DriverVersionTable, MaxDisksPerArray) == 20 &&
                  offsetof(DriverVersionTable, MaxDisks) == 22 &&
                  offsetof(DriverVersionTable, MaxVolumesPerArray) == 24 &&
                  offsetof(DriverVersionTable, AcpiAttributes) == 26 &&
                  offsetof(DriverVersionTable, AcpiCapabilities) == 30 &&
                  offsetof(DriverVersionTable, Instances) == 32 &&
                  offsetof(DriverVersionTable, AcpiFeatures) == 34,
              "DriverVersionTable field offsets");

// Where a "UEFI" ACPI table of the driver keeps its data, whatever its data offset field says.
#define UEFI_TABLE_DATA_OFFSET 54
// The fast-enumeration table: a device count at the data offset, then one record per device whose
// first byte is the device's port.
#define FAST_ENUM_RECORD_SIZE 513

extern EFI_GUID gDriverVersionTableGuid;
extern EFI_GUID gFastEnumTableGuid;

// ReadVersionTables' result bits.
#define VERSION_TABLE_ACPI 0x1
#define VERSION_TABLE_VARIABLE 0x2

// The table of the first configuration table entry with the GUID, or null.
VOID* FindConfigurationTable(EFI_SYSTEM_TABLE* SystemTable, EFI_GUID* Guid);
// The first "UEFI" ACPI table with that identifier GUID, reached through the ACPI 2.0 root pointer,
// or null.
const UINT8* FindAcpiTableByGuid(EFI_GUID* Guid);
BOOLEAN IsUefiTableWithGuid(EFI_GUID* Guid, const UINT8* Table);
EFI_STATUS ReadFeatureVariables(UINT32* CompiledMask, UINT32* FirmwareMask);
// Bit VERSION_TABLE_ACPI when the ACPI copy was read, VERSION_TABLE_VARIABLE for the variable copy.
UINTN ReadVersionTables(DriverVersionTable* AcpiCopy, DriverVersionTable* VariableCopy);

UINT8 TableChecksum(const VOID* Bytes, UINTN Length);
// Prints one copy; TRUE when its checksum is valid.
BOOLEAN PrintVersionTable(const DriverVersionTable* Table);
void PrintAcpiFeatures(UINT32 Attributes, UINT32 Capabilities, UINT32 Features);
void PrintFeatureTable(UINT32 CompiledMask, UINT32 FirmwareMask, UINT32 VersionTableMask);
// The version-table column of the feature table, from the ACPI copy's masks.
UINT32 VersionTableFeatureMask(const DriverVersionTable* AcpiCopy);
