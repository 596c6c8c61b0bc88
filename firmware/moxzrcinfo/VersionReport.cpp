// Groups 3 and 4: the driver's feature masks and its version table.
#include "firmware/common/FirmwarePrint.h"
#include "firmware/moxzrcinfo/Console.h"
#include "firmware/moxzrcinfo/FirmwareLib.h"
#include "firmware/moxzrcinfo/Groups.h"
#include "firmware/moxzrcinfo/Report.h"
#include "firmware/moxzrcinfo/VersionTable.h"

namespace {

const CHAR8 kReserved[] = "RESERVED";

// The names of the ACPI feature bits, by bit: attributes, capabilities, features.
struct ACPI_FEATURE_NAMES {
    const CHAR8* Attribute;
    const CHAR8* Capability;
    const CHAR8* Feature;
};

#define R kReserved
const ACPI_FEATURE_NAMES kAcpiFeatureNames[32] = {
    {"RAID0", "ESATA", "HDD UNLOCK"},
    {"RAID1", "DREXA MEMORY", "SGPIO"},
    {"RAID10", "HDD PASSWORD", "MOX ENTERPRISE"},
    {"RAID1E", "DISK COERCION", "ZERO POWER ODD"},
    {"RAID5", "FAST ENUMERATION", "RAID0 TRIM"},
    {"YQR", "NVC MULTI FRAME", "ROHI"},
    {R, "PCIE REMAPPING", "READ PATROL"},
    {R, R, R},
    {R, R, R},
    {R, R, "HYBRID HINTS"},
    {R, R, "NVM RUNTIME D3"},
    {R, R, "HALVEX"},
    {R, R, "NEXT GEN HIB."},
    {R, R, "CPUA STORAGE"},
    {R, R, "RAID SCC BOOT"},
    {R, R, R},
    {R, R, R},
    {R, R, R},
    {R, R, R},
    {R, R, R},
    {R, R, R},
    {R, R, R},
    {R, R, R},
    {R, R, R},
    {"HALVEX", R, R},
    {"NVM", R, R},
    {">=2TB DISK", R, R},
    {"BAD BLOCK MGMT", R, R},
    {"NEVER USE2", R, R},
    {"2TB VOLUMES", R, R},
    {"NEVER_USE", R, R},
    {"CHECKSUM VERIFY", R, R},
};
#undef R

// The option ROM feature rows: row i is bit i of each mask.
const CHAR8* const kRomFeatureNames[16] = {
    "RAID0",     "RAID1",      "RAID5",         "RAID10",       "YQR",       "OROM UI/BANNER",
    "HDDUNLOCK", "LED LOCATE", "YQR on ESATA",  "NVM",          "DELAYBIT0", "DELAYBIT1",
    "RESERVED",  "HALVEX",     "HIBFILE CACH.", "RTA Protocol",
};

BOOLEAN IsReserved(const CHAR8* Name) {
    return CompareNarrowN(Name, kReserved, sizeof(kReserved)) == 0;
}

const CHAR8* Mark(UINT32 Mask, UINTN Bit) {
    return (Mask >> Bit) & 1 ? "( X )" : "( - )";
}

const CHAR8* Cross(UINT32 Mask, UINTN Bit) {
    return (Mask >> Bit) & 1 ? "X" : "-";
}

UINTN Bit(UINT32 Mask, UINTN Bit) {
    return (Mask >> Bit) & 1;
}

// The version table's RAID levels, in the order the report lists them.
struct RAID_LEVEL_NAME {
    UINTN Bit;
    const CHAR8* Text;
};
const RAID_LEVEL_NAME kRaidLevels[] = {
    {0, "RAID0, "}, {1, "RAID1, "}, {2, "RAID10, "}, {4, "RAID5, "}, {5, "YQR"}};

} // namespace

UINT8 TableChecksum(const VOID* Bytes, UINTN Length) {
    return ByteSum(Bytes, Length);
}

UINT32 VersionTableFeatureMask(const DriverVersionTable* AcpiCopy) {
    const UINT32 attributes = AcpiCopy->AcpiAttributes;
    const UINT32 capabilities = AcpiCopy->AcpiCapabilities;
    const UINT32 features = AcpiCopy->AcpiFeatures;
    return (UINT32)(Bit(attributes, 0) << 0 | Bit(attributes, 1) << 1 | Bit(attributes, 4) << 2 |
                    Bit(attributes, 2) << 3 | Bit(attributes, 5) << 4 | Bit(capabilities, 0) << 5 |
                    Bit(features, 11) << 6 | 1u << 14);
}

void PrintAcpiFeatures(UINT32 Attributes, UINT32 Capabilities, UINT32 Features) {
    ConsolePrint("  Supported ACPI features:\n");
    ConsolePrint("%-16s|", "      Attributes     ");
    ConsolePrint("\t\tCapabilities      |");
    ConsolePrint("       Features      |\n");
    ConsolePrint("---------------------+---------------");
    ConsolePrint("---------+---------------------|\n");
    for (UINTN bit = 0; bit < 32; ++bit) {
        const ACPI_FEATURE_NAMES* names = &kAcpiFeatureNames[bit];
        if (IsReserved(names->Attribute) && IsReserved(names->Capability) && IsReserved(names->Feature))
            continue;
        if (IsReserved(names->Attribute)) {
            ConsolePrint("%-20s", "X X X");
            ConsolePrint("  |");
        } else {
            ConsolePrint("%-15s", names->Attribute);
            ConsolePrint(" %-s |", Mark(Attributes, bit));
        }
        if (IsReserved(names->Capability)) {
            ConsolePrint("%-21s", "X X X");
            ConsolePrint("  |");
        } else {
            ConsolePrint("%-16s", names->Capability);
            ConsolePrint(" %-s |", Mark(Capabilities, bit));
        }
        if (IsReserved(names->Feature)) {
            ConsolePrint("%-19s", "X X X");
            ConsolePrint("  |\n");
        } else {
            ConsolePrint("%-14s", names->Feature);
            ConsolePrint(" %-s |", Mark(Features, bit));
            ConsolePrint("\n");
        }
    }
    ConsolePrint("\n");
}

BOOLEAN PrintVersionTable(const DriverVersionTable* Table) {
    const BOOLEAN valid = TableChecksum(Table, sizeof(*Table)) == 0;
    ConsolePrint("Version Table Found:\n");
    ConsolePrint("  Version Header Revision: %u.%u\n", (UINTN)Table->HeaderMajor, (UINTN)Table->HeaderMinor);
    ConsolePrint("  ROM Version:             %u.%u.%u.%u\n", (UINTN)Table->RomVersion[0],
                 (UINTN)Table->RomVersion[1], (UINTN)Table->RomVersion[2], (UINTN)Table->RomVersion[3]);
    ConsolePrint("  Version Table Checksum:  %s\n", valid ? "Valid" : "Invalid");
    if (Table->HeaderMajor <= 1)
        return valid;

    const CHAR8* levels[5];
    for (UINTN i = 0; i < 5; ++i)
        levels[i] = (Table->RaidLevels >> kRaidLevels[i].Bit) & 1 ? kRaidLevels[i].Text : "";
    CHAR8 text[150];
    const UINTN length = FormatString(text, sizeof(text), "  Supported RAID Levels:   %s%s%s%s%s", levels[0],
                                      levels[1], levels[2], levels[3], levels[4]);
    if (length > 2 && text[length - 2] == ',')
        text[length - 2] = ' ';
    ConsolePrint("%s\n", text);
    ConsolePrint("  Max Disks per Array:     %u\n", (UINTN)Table->MaxDisksPerArray);
    ConsolePrint("  Max Disks Supported:     %u\n", (UINTN)Table->MaxDisks);
    ConsolePrint("  Max Volumes per Array:   %u\n", (UINTN)Table->MaxVolumesPerArray);
    ConsolePrint("\n  Supported Strip Sizes:\n");
    ConsolePrint("     2k 4k 8k 16k 32k 64k 128k 256k 512k 1M 2M 4M 8M 16M 32M 64M\n");
    const UINT32 s = Table->StripSizes;
    ConsolePrint("      %d  %d  %d   %d   %d   %d    %d    %d    %d  %d  %d  %d  %d   %d   %d   %d\n",
                 Bit(s, 0), Bit(s, 1), Bit(s, 2), Bit(s, 3), Bit(s, 4), Bit(s, 5), Bit(s, 6), Bit(s, 7),
                 Bit(s, 8), Bit(s, 9), Bit(s, 10), Bit(s, 11), Bit(s, 12), Bit(s, 13), Bit(s, 14),
                 Bit(s, 15));
    if (Table->HeaderMajor > 2 || (Table->HeaderMajor == 2 && Table->HeaderMinor > 1)) {
        ConsolePrint("\n");
        PrintAcpiFeatures(Table->AcpiAttributes, Table->AcpiCapabilities, Table->AcpiFeatures);
        ConsolePrint("NUMBER OF SLAVE INSTANCES: %d\n", (UINTN)Table->Instances);
        ConsolePrint("\n");
    }
    return valid;
}

void PrintFeatureTable(UINT32 CompiledMask, UINT32 FirmwareMask, UINT32 VersionTableMask) {
    ConsolePrint("%-15s|", "Feature");
    ConsolePrint(" DCFS |");
    ConsolePrint(" BCFS |");
    ConsolePrint(" VerTable |\n");
    for (UINTN row = 0; row < 16; ++row) {
        ConsolePrint("%-15s|", kRomFeatureNames[row]);
        ConsolePrint("  %-s   |", Cross(CompiledMask, row));
        ConsolePrint("  %-s   |", Cross(FirmwareMask, row));
        ConsolePrint("    %-s     |\n", Cross(VersionTableMask, row));
    }
}

BOOLEAN RunOcfAndBcfsFeatureTests(EFI_PCI_IO_PROTOCOL*) {
    PrintGroupHeader(3);
    UINT32 compiled = 0, firmware = 0;
    ReadFeatureVariables(&compiled, &firmware);
    DriverVersionTable acpiCopy, variableCopy;
    const UINTN found = ReadVersionTables(&acpiCopy, &variableCopy);
    const UINT32 versionMask = found & VERSION_TABLE_ACPI ? VersionTableFeatureMask(&acpiCopy) : 0;
    const BOOLEAN enabled = compiled != 0 || firmware != 0;
    ReportTestResult(TestOcfAndBcfsFeatures, enabled);
    if (enabled) {
        ConsolePrint("\n");
        PrintFeatureTable(compiled, firmware, versionMask);
    }
    return TRUE;
}

BOOLEAN RunVersionTableTests(EFI_PCI_IO_PROTOCOL*) {
    PrintGroupHeader(4);
    DriverVersionTable acpiCopy, variableCopy;
    const UINTN found = ReadVersionTables(&acpiCopy, &variableCopy);
    ConsolePrint("\n");
    if (!(found & VERSION_TABLE_ACPI)) {
        ReportTestResult(TestVersionTable, FALSE);
        return TRUE;
    }
    const BOOLEAN valid = PrintVersionTable(&acpiCopy);
    ReportTestResult(TestVersionTable, valid);
    if (found & VERSION_TABLE_VARIABLE && CompareBytes(&acpiCopy, &variableCopy, sizeof(acpiCopy)) != 0) {
        ConsolePrint("Tables do not match, secondary table:\n");
        PrintVersionTable(&variableCopy);
    }
    return TRUE;
}
