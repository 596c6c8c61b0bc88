// The driver's "UEFI" ACPI tables and firmware variables, and group 9 (fast boot).
#include "firmware/moxzrcinfo/Console.h"
#include "firmware/moxzrcinfo/FirmwareLib.h"
#include "firmware/moxzrcinfo/Groups.h"
#include "firmware/moxzrcinfo/Report.h"
#include "firmware/moxzrcinfo/VersionTable.h"
#include "platform/uefi/Acpi.h"

EFI_GUID gDriverVersionTableGuid = {
    0xe4dd92e0, 0xac7d, 0x11df, {0x94, 0xe2, 0x08, 0x00, 0x20, 0x0c, 0x9a, 0x66}};
EFI_GUID gFastEnumTableGuid = {0xb73c1974, 0x784d, 0x4991, {0x96, 0x92, 0x67, 0x76, 0xe3, 0x8a, 0xaa, 0x82}};

namespace {

EFI_GUID gFeaturesVariableGuid = {
    0xca2fc9c8, 0x71e7, 0x4f72, {0xb4, 0x33, 0xc2, 0x84, 0x45, 0x6f, 0xf7, 0x2b}};
EFI_GUID gDriverVariableGuid = {0x193dfefa, 0xa445, 0x4302, {0x99, 0xd8, 0xef, 0x3a, 0xad, 0x1a, 0x04, 0xc6}};

const CHAR8 kVersionVariable[] = "MoxZrcV";

UINT32 Read32(const UINT8* Bytes) {
    return (UINT32)Bytes[0] | ((UINT32)Bytes[1] << 8) | ((UINT32)Bytes[2] << 16) | ((UINT32)Bytes[3] << 24);
}

UINT64 Read64(const UINT8* Bytes) {
    return (UINT64)Read32(Bytes) | ((UINT64)Read32(Bytes + 4) << 32);
}

BOOLEAN HasSignature(const UINT8* Bytes, const CHAR8* Signature, UINTN Length) {
    return CompareBytes(Bytes, Signature, Length) == 0;
}

// A description table's length, from its header.
UINT32 TableLength(const UINT8* Table) {
    return Read32(Table + offsetof(ACPI_DESCRIPTION_HEADER, Length));
}

// The "UEFI" table's data when the table is long enough to hold Size bytes of it, else null: a
// table too short for what is read from it counts as missing.
const UINT8* UefiTableData(EFI_GUID* Guid, UINTN Size) {
    const UINT8* table = FindAcpiTableByGuid(Guid);
    if (!table || TableLength(table) < UEFI_TABLE_DATA_OFFSET + Size)
        return nullptr;
    return table + UEFI_TABLE_DATA_OFFSET;
}

// GetVariable into a buffer of Size bytes; the size the variable had in *Read.
EFI_STATUS ReadVariable(const CHAR16* Name, EFI_GUID* Guid, VOID* Buffer, UINTN Size, UINTN* Read) {
    *Read = Size;
    if (!gRT)
        return EFI_NOT_FOUND;
    return gRT->GetVariable((CHAR16*)Name, Guid, nullptr, Read, Buffer);
}

} // namespace

VOID* FindConfigurationTable(EFI_SYSTEM_TABLE* SystemTable, EFI_GUID* Guid) {
    if (!SystemTable || !SystemTable->ConfigurationTable)
        return nullptr;
    for (UINTN i = 0; i < SystemTable->NumberOfTableEntries; ++i)
        if (CompareBytes(&SystemTable->ConfigurationTable[i].VendorGuid, Guid, sizeof(EFI_GUID)) == 0)
            return SystemTable->ConfigurationTable[i].VendorTable;
    return nullptr;
}

BOOLEAN IsUefiTableWithGuid(EFI_GUID* Guid, const UINT8* Table) {
    return Table && HasSignature(Table, ACPI_UEFI_SIGNATURE, 4) &&
           CompareBytes(Table + offsetof(ACPI_UEFI_TABLE, Identifier), Guid, sizeof(EFI_GUID)) == 0;
}

const UINT8* FindAcpiTableByGuid(EFI_GUID* Guid) {
    const UINT8* rsdp = (const UINT8*)FindConfigurationTable(gST, &gEfiAcpi20TableGuid);
    if (!rsdp || !HasSignature(rsdp, ACPI_RSDP_SIGNATURE, 8))
        return nullptr;
    // An ACPI 1.0 pointer ends before its length field: only its 32-bit root table is there.
    const BOOLEAN revision2 = rsdp[offsetof(ACPI_RSDP, Revision)] >= 2;
    const UINT32 length = revision2 ? Read32(rsdp + offsetof(ACPI_RSDP, Length)) : ACPI_RSDP_10_LENGTH;
    const UINT64 xsdt = revision2 && length >= 32 ? Read64(rsdp + offsetof(ACPI_RSDP, XsdtAddress)) : 0;
    const UINT8* root = nullptr;
    UINTN entrySize = 0;
    if (xsdt != 0) {
        root = (const UINT8*)(UINTN)xsdt;
        if (!HasSignature(root, ACPI_XSDT_SIGNATURE, 4))
            return nullptr;
        entrySize = 8;
    } else {
        const UINT32 rsdt = Read32(rsdp + offsetof(ACPI_RSDP, RsdtAddress));
        if (rsdt == 0)
            return nullptr;
        root = (const UINT8*)(UINTN)rsdt;
        if (!HasSignature(root, ACPI_RSDT_SIGNATURE, 4))
            return nullptr;
        entrySize = 4;
    }
    const UINT32 rootLength = TableLength(root);
    if (rootLength <= sizeof(ACPI_DESCRIPTION_HEADER))
        return nullptr;
    const UINTN entries = (rootLength - sizeof(ACPI_DESCRIPTION_HEADER)) / entrySize;
    for (UINTN i = 0; i < entries; ++i) {
        const UINT8* entry = root + sizeof(ACPI_DESCRIPTION_HEADER) + i * entrySize;
        const UINT64 address = entrySize == 8 ? Read64(entry) : Read32(entry);
        if (address == 0)
            continue;
        const UINT8* table = (const UINT8*)(UINTN)address;
        if (IsUefiTableWithGuid(Guid, table))
            return table;
    }
    return nullptr;
}

EFI_STATUS ReadFeatureVariables(UINT32* CompiledMask, UINT32* FirmwareMask) {
    UINT64 features = 0;
    UINTN size = 0;
    if (EFI_ERROR(
            ReadVariable(u"OrvexMoxFeatures", &gFeaturesVariableGuid, &features, sizeof(features), &size))) {
        ConsolePrint("ERROR: Failed to locate \"%s\" EFI variable\n", "OrvexMoxFeatures");
        return EFI_NOT_FOUND;
    }
    *FirmwareMask = (UINT32)(features >> 32);
    UINT32 compiled = 0;
    if (EFI_ERROR(ReadVariable(u"MoxZrcD", &gDriverVariableGuid, &compiled, sizeof(compiled), &size))) {
        ConsolePrint("ERROR: Failed to locate \"%s\" EFI variable\n", "MoxZrcD");
        return EFI_NOT_FOUND;
    }
    *CompiledMask = compiled;
    return EFI_SUCCESS;
}

UINTN ReadVersionTables(DriverVersionTable* AcpiCopy, DriverVersionTable* VariableCopy) {
    UINTN found = 0;
    if (!gAcpiTableProtocol) {
        ConsolePrint("ERROR: No ACPI_TABLE_PROTOCOL, can't find ACPI Table.\n");
    } else {
        const UINT8* data = UefiTableData(&gDriverVersionTableGuid, sizeof(DriverVersionTable));
        if (data) {
            for (UINTN i = 0; i < sizeof(DriverVersionTable); ++i)
                ((UINT8*)AcpiCopy)[i] = data[i];
            found |= VERSION_TABLE_ACPI;
        } else {
            ConsolePrint("ERROR: Failed to retreive ACPI table \"%s\"\n", kVersionVariable);
        }
    }
    UINTN size = 0;
    if (!EFI_ERROR(ReadVariable(u"MoxZrcV", &gDriverVariableGuid, VariableCopy, sizeof(DriverVersionTable),
                                &size)) &&
        size == sizeof(DriverVersionTable))
        found |= VERSION_TABLE_VARIABLE;
    else
        ConsolePrint("ERROR: Failed to locate EFI variable \"%s\"\n", kVersionVariable);
    return found;
}

BOOLEAN RunEfiFastBootSupport(EFI_PCI_IO_PROTOCOL*) {
    PrintGroupHeader(9);
    const BOOLEAN systemTable = gST != nullptr;
    const BOOLEAN configuration = systemTable && gST->ConfigurationTable != nullptr;
    PrintLabelValue("SystemTable", "%s", systemTable ? "Valid" : "Invalid");
    PrintLabelValue("ConfigurationTable", "%s", configuration ? "Valid" : "Invalid");
    if (systemTable && configuration)
        ReportTestResult(TestFastBootTable1, FindConfigurationTable(gST, &gEfiHobListGuid) != nullptr);
    if (gZrcDriverHandle) {
        // The records are read only as far as the table's length reaches.
        const UINT8* data = UefiTableData(&gFastEnumTableGuid, 1);
        UINTN count = data ? data[0] : 0;
        if (data && TableLength(data - UEFI_TABLE_DATA_OFFSET) <
                        UEFI_TABLE_DATA_OFFSET + 1 + count * FAST_ENUM_RECORD_SIZE)
            data = nullptr;
        ReportTestResult(TestFastBootTable2, data != nullptr);
        if (data) {
            ConsolePrint("Found %d devices in Fast-Enum ACPI table:\n", count);
            for (UINTN i = 0; i < count; ++i)
                ConsolePrint("Port %d\n", (UINTN)data[1 + i * FAST_ENUM_RECORD_SIZE]);
        }
    }
    return TRUE;
}
