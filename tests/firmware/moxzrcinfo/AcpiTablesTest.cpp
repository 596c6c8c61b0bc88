// The driver's "UEFI" ACPI tables and firmware variables, and group 9 (fast boot).
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "firmware/moxzrcinfo/FirmwareLib.h"
#include "firmware/moxzrcinfo/Groups.h"
#include "firmware/moxzrcinfo/VersionTable.h"
#include "tests/firmware/moxzrcinfo/FirmwareRun.h"

namespace {

using zrcinfo::FirmwareRun;
using zrcinfo::Has;
using zrcinfo::Line;
using zrcinfo::MachineWithController;

const char kVersionGuid[] = "{e4dd92e0-ac7d-11df-94e2-0800200c9a66}";
const char kFastEnumGuid[] = "{b73c1974-784d-4991-9692-6776e38aaa82}";

// Whether the version table's ACPI copy is found on a machine with these ACPI facts.
bool VersionTableFound(const std::string& acpi) {
    FirmwareRun run(MachineWithController().Merge(R"({"uefi": {"acpi": )" + acpi + "}}"));
    run.Attach();
    return FindAcpiTableByGuid(&gDriverVersionTableGuid) != nullptr;
}

TEST(AcpiTables, RootPointerAndRootTables) {
    EXPECT_TRUE(VersionTableFound("{}"));
    // An ACPI 1.0 pointer: its 32-bit root table only.
    EXPECT_TRUE(VersionTableFound(R"({"rsdp_revision": 0})"));
    EXPECT_FALSE(VersionTableFound(R"({"rsdp_revision": 0, "rsdt": false})"));
    EXPECT_TRUE(VersionTableFound(R"({"rsdt": false})"));
    EXPECT_TRUE(VersionTableFound(R"({"xsdt": false})"));
    // An extended table without its signature ends the search, though the root table holds the table.
    EXPECT_FALSE(VersionTableFound(R"({"xsdt_signature": "XSDX"})"));
    EXPECT_FALSE(VersionTableFound(R"({"tables": []})"));
}

TEST(AcpiTables, UefiTableIdentity) {
    FirmwareRun run;
    run.Attach();
    const UINT8* table = FindAcpiTableByGuid(&gDriverVersionTableGuid);
    ASSERT_NE(table, nullptr);
    EXPECT_TRUE(IsUefiTableWithGuid(&gDriverVersionTableGuid, table));
    EXPECT_FALSE(IsUefiTableWithGuid(&gFastEnumTableGuid, table));
    EXPECT_EQ(FindConfigurationTable(gST, &gFastEnumTableGuid), nullptr);
}

TEST(AcpiTables, VersionTableCopies) {
    struct Case {
        std::string change; // merged into the default machine
        UINTN found;
        std::string errors;
    };
    const std::string table38 =
        "2456 4552 0300 1400 0100 0000 0500 1b00 3700 fe00 0800 2000 0200 3700 00a4 5100 0100 0328 0000";
    for (const Case& c : {
             Case{"{}", VERSION_TABLE_ACPI | VERSION_TABLE_VARIABLE, ""},
             // A table too short for the version table counts as missing.
             Case{std::string(R"({"uefi": {"acpi": {"tables": [{"guid": ")") + kVersionGuid +
                      R"(", "hex": ")" + table38.substr(0, table38.size() - 2) + R"("}]}}})",
                  VERSION_TABLE_VARIABLE, "ERROR: Failed to retreive ACPI table \"MoxZrcV\"\n"},
             Case{std::string(R"({"uefi": {"acpi": {"tables": [{"guid": ")") + kVersionGuid +
                      R"(", "hex": ")" + table38 + R"(", "length": 91}]}}})",
                  VERSION_TABLE_VARIABLE, "ERROR: Failed to retreive ACPI table \"MoxZrcV\"\n"},
             // A data offset field that points elsewhere changes nothing: the data is read at 54.
             Case{std::string(R"({"uefi": {"acpi": {"tables": [{"guid": ")") + kVersionGuid +
                      R"(", "hex": ")" + table38 + R"(", "data_offset": 60}]}}})",
                  VERSION_TABLE_ACPI | VERSION_TABLE_VARIABLE, ""},
             Case{R"({"uefi": {"acpi": {"table_protocol": false}}})", VERSION_TABLE_VARIABLE,
                  "ERROR: No ACPI_TABLE_PROTOCOL, can't find ACPI Table.\n"},
         }) {
        FirmwareRun run(MachineWithController().Merge(c.change));
        run.Group(3);
        run.firmware().ClearConsole();
        DriverVersionTable acpi, variable;
        EXPECT_EQ(ReadVersionTables(&acpi, &variable), c.found) << c.change;
        EXPECT_EQ(run.Screen(), c.errors);
        // Every ACPI copy here holds the variable's table.
        if (c.found == (VERSION_TABLE_ACPI | VERSION_TABLE_VARIABLE)) {
            EXPECT_EQ(std::memcmp(&acpi, &variable, sizeof(acpi)), 0) << c.change;
        }
    }
}

TEST(AcpiTables, VersionVariableOfAnotherSizeIsMissing) {
    for (const char* hex :
         {"2456 4552 0300 1400 0100 0000 0500 1b00 3700 fe00 0800 2000 0200 3700 00a4 5100 0100 0328 00",
          "2456 4552 0300 1400 0100 0000 0500 1b00 3700 fe00 0800 2000 0200 3700 00a4 5100 0100 0328 0000 "
          "00"}) {
        sim::MachineBuilder machine = MachineWithController();
        // The store keeps MoxZrcV seventh.
        FirmwareRun run(machine.Set("/firmware/variables/6/hex", std::string("\"") + hex + "\""));
        run.Group(3);
        run.firmware().ClearConsole();
        DriverVersionTable acpi, variable;
        EXPECT_EQ(ReadVersionTables(&acpi, &variable), (UINTN)VERSION_TABLE_ACPI) << hex;
        EXPECT_EQ(run.Screen(), "ERROR: Failed to locate EFI variable \"MoxZrcV\"\n");
    }
}

TEST(AcpiTables, FeatureVariables) {
    FirmwareRun run;
    run.Attach();
    UINT32 compiled = 1, firmware = 2;
    EXPECT_EQ(ReadFeatureVariables(&compiled, &firmware), EFI_SUCCESS);
    EXPECT_EQ(compiled, 0xA27Fu);
    EXPECT_EQ(firmware, 0x823Fu);
    run.machine().faults().Add(
        R"({"kind": "RuntimeServices.GetVariable", "match": {"name": "MoxZrcD"}, "outcome": {"efi_error": 14}})");
    compiled = 1;
    EXPECT_EQ(ReadFeatureVariables(&compiled, &firmware), EFI_NOT_FOUND);
    EXPECT_EQ(compiled, 1u);
    EXPECT_EQ(run.Screen(), "ERROR: Failed to locate \"MoxZrcD\" EFI variable\n");
}

TEST(FastBootGroup, Reports) {
    struct Case {
        std::string change;
        std::string tail; // the group's output after the two label lines
    };
    const std::string enabled = Line("  9.1  Fast Boot ACPI Table:", "ENABLED");
    for (const Case& c : {
             Case{"{}", enabled + Line("  9.2  Fast Boot ACPI Table:", "ENABLED") +
                            "Found 2 devices in Fast-Enum ACPI table:\nPort 1\nPort 1\n"},
             // A table whose length cannot hold the records it counts is missing.
             Case{std::string(
                      R"({"uefi": {"hob_list": false, "raid_drivers": [{"name": "ZRC", "fast_enum": false}],
                               "acpi": {"tables": [{"guid": ")") +
                      kFastEnumGuid + R"(", "hex": "03 00 01"}]}}})",
                  Line("  9.1  Fast Boot ACPI Table:", "DISABLED") +
                      Line("  9.2  Fast Boot ACPI Table:", "DISABLED")},
             // Without the driver there is no fast-enumeration row.
             Case{R"({"uefi": {"raid_drivers": null}})", enabled},
         }) {
        FirmwareRun run(MachineWithController().Merge(c.change));
        BOOLEAN passed = FALSE;
        EXPECT_EQ(run.Group(9, &passed), "\n 9. EFI Fast Boot Support\n" +
                                             Line("       SystemTable:", "Valid") +
                                             Line("       ConfigurationTable:", "Valid") + c.tail)
            << c.change;
        EXPECT_TRUE(passed);
    }
    // A driver without children publishes a table of no devices.
    FirmwareRun run(MachineWithController().Remove("/disks/2/uefi").Remove("/disks/4/uefi"));
    const std::string screen = run.Group(9);
    EXPECT_EQ(screen.substr(screen.find("  9.2")),
              Line("  9.2  Fast Boot ACPI Table:", "ENABLED") + "Found 0 devices in Fast-Enum ACPI table:\n");
}

} // namespace
