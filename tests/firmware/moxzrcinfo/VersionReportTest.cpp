// Groups 3 and 4: the feature masks and the driver's version table.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "firmware/moxzrcinfo/Groups.h"
#include "firmware/moxzrcinfo/VersionTable.h"
#include "tests/firmware/moxzrcinfo/FirmwareRun.h"

namespace {

using zrcinfo::FirmwareRun;
using zrcinfo::Has;
using zrcinfo::Line;
using zrcinfo::MachineWithController;

// A version table of that revision with a valid checksum (byte 14 is not read: it balances the sum).
DriverVersionTable Table(UINT8 major, UINT8 minor, UINT16 raidLevels = 0x0037) {
    DriverVersionTable t;
    std::memset(&t, 0, sizeof(t));
    t.HeaderMajor = major;
    t.HeaderMinor = minor;
    t.RomVersion[0] = 20;
    t.RomVersion[1] = 1;
    t.RomVersion[3] = 5;
    t.RaidLevels = raidLevels;
    t.StripSizes = 0x00FE;
    t.MaxDisksPerArray = 8;
    t.MaxDisks = 32;
    t.MaxVolumesPerArray = 2;
    t.AcpiAttributes = 0x80000001;
    t.AcpiCapabilities = 0x0010;
    t.AcpiFeatures = 0x0800;
    t.Instances = 1;
    t.Reserved14[0] = (UINT8)(0 - TableChecksum(&t, sizeof(t)));
    return t;
}

std::string Printed(FirmwareRun& run, const DriverVersionTable& table, BOOLEAN* valid = nullptr) {
    run.Attach();
    const BOOLEAN result = PrintVersionTable(&table);
    if (valid)
        *valid = result;
    return run.Screen();
}

TEST(VersionTable, EachRevision) {
    FirmwareRun run;
    const std::string head = "Version Table Found:\n"
                             "  Version Header Revision: %s\n"
                             "  ROM Version:             20.1.0.5\n"
                             "  Version Table Checksum:  Valid\n";
    BOOLEAN valid = FALSE;
    // 1.x: the revision, version and checksum only.
    std::string screen = Printed(run, Table(1, 9), &valid);
    EXPECT_EQ(screen,
              "Version Table Found:\n  Version Header Revision: 1.9\n  ROM Version:             20.1.0.5\n"
              "  Version Table Checksum:  Valid\n");
    EXPECT_TRUE(valid);
    // 2.1: levels, limits and strip sizes, no ACPI features.
    screen = Printed(run, Table(2, 1));
    EXPECT_TRUE(Has(screen, "  Supported RAID Levels:   RAID0, RAID1, RAID10, RAID5, YQR\n"
                            "  Max Disks per Array:     8\n  Max Disks Supported:     32\n"
                            "  Max Volumes per Array:   2\n\n  Supported Strip Sizes:\n"
                            "     2k 4k 8k 16k 32k 64k 128k 256k 512k 1M 2M 4M 8M 16M 32M 64M\n"
                            "      0  1  1   1   1   1    1    1    0  0  0  0  0   0   0   0\n"))
        << screen;
    EXPECT_FALSE(Has(screen, "Supported ACPI features"));
    // 2.2 and 3.0: the ACPI feature table, then the instances.
    for (UINT8 minor : {2, 0}) {
        screen = Printed(run, Table(minor == 2 ? 2 : 3, minor));
        EXPECT_TRUE(Has(screen, "\n  Supported ACPI features:\n"
                                "      Attributes     |\t\tCapabilities      |       Features      |\n"
                                "---------------------+------------------------+---------------------|\n"
                                "RAID0           ( X ) |ESATA            ( - ) |HDD UNLOCK     ( - ) |\n"))
            << screen;
        EXPECT_TRUE(Has(screen, "RAID5           ( - ) |FAST ENUMERATION ( X ) |RAID0 TRIM     ( - ) |\n"));
        EXPECT_TRUE(Has(screen, "X X X                 |X X X                  |HALVEX         ( X ) |\n"));
        EXPECT_TRUE(Has(screen, "CHECKSUM VERIFY ( X ) |X X X                  |X X X                |\n\n"
                                "NUMBER OF SLAVE INSTANCES: 1\n\n"))
            << screen;
        // Bits reserved in all three columns have no row.
        EXPECT_FALSE(Has(screen, "X X X                 |X X X                  |X X X"));
    }
}

TEST(VersionTable, RaidLevelsText) {
    FirmwareRun run;
    // The last comma becomes a space, so the line ends in two spaces; a list ending in YQR keeps it.
    EXPECT_TRUE(Has(Printed(run, Table(2, 0, 0x0003)), "  Supported RAID Levels:   RAID0, RAID1  \n"));
    EXPECT_TRUE(Has(Printed(run, Table(2, 0, 0x0023)), "  Supported RAID Levels:   RAID0, RAID1, YQR\n"));
    EXPECT_TRUE(Has(Printed(run, Table(2, 0, 0x0000)), "  Supported RAID Levels:   \n"));
}

TEST(VersionTable, Checksum) {
    FirmwareRun run;
    DriverVersionTable table = Table(3, 0);
    EXPECT_EQ(TableChecksum(&table, sizeof(table)), 0u);
    table.Reserved0[0] = 1;
    EXPECT_EQ(TableChecksum(&table, sizeof(table)), 1u);
    BOOLEAN valid = TRUE;
    EXPECT_TRUE(Has(Printed(run, table, &valid), "  Version Table Checksum:  Invalid\n"));
    EXPECT_FALSE(valid);
}

TEST(VersionTable, VersionTableFeatureColumn) {
    DriverVersionTable table = Table(3, 0);
    table.AcpiAttributes = 0x37;   // RAID0, RAID1, RAID10, RAID5, YQR
    table.AcpiCapabilities = 0x01; // ESATA
    table.AcpiFeatures = 1u << 11; // HALVEX
    EXPECT_EQ(VersionTableFeatureMask(&table), 0x407Fu);
    table.AcpiAttributes = table.AcpiCapabilities = table.AcpiFeatures = 0;
    // The hibernation file cache row always shows the table's mark.
    EXPECT_EQ(VersionTableFeatureMask(&table), 0x4000u);
}

TEST(VersionGroups, FeatureReport) {
    FirmwareRun run;
    BOOLEAN passed = FALSE;
    const std::string screen = run.Group(3, &passed);
    EXPECT_TRUE(passed);
    EXPECT_TRUE(Has(screen, Line("  3.1  OCF and BCFS Features:", "ENABLED") +
                                "\nFeature        | DCFS | BCFS | VerTable |\n"
                                "RAID0          |  X   |  X   |    X     |\n"))
        << screen;
    EXPECT_TRUE(Has(
        screen, "HIBFILE CACH.  |  -   |  -   |    X     |\nRTA Protocol   |  X   |  X   |    -     |\n"));
}

TEST(VersionGroups, FeaturesDisabled) {
    // Both masks 0: the status row alone, though the version table exists.
    FirmwareRun run(MachineWithController()
                        .Set("/firmware/variables/4/hex", R"("0000 0000 0000 0000")")
                        .Set("/firmware/variables/5/hex", R"("0000 0000")"));
    EXPECT_EQ(run.Group(3),
              "\n 3. OCF and BCFS Feature Tests\n" + Line("  3.1  OCF and BCFS Features:", "DISABLED"));
}

TEST(VersionGroups, FeaturesReadBeforeAFailure) {
    // The firmware's mask was read before the driver's variable failed: it still enables the report.
    FirmwareRun run(MachineWithController().Remove("/firmware/variables/5"));
    const std::string screen = run.Group(3);
    EXPECT_TRUE(Has(screen, "ERROR: Failed to locate \"MoxZrcD\" EFI variable\n")) << screen;
    EXPECT_TRUE(Has(screen, "RAID0          |  -   |  X   |    X     |\n")) << screen;
}

TEST(VersionGroups, CopiesCompared) {
    struct Case {
        const char* variableHex; // the variable copy; null: as the default machine has it
        const char* rowText;
        bool secondary;
    };
    for (const Case& c : {
             Case{nullptr, "PASS", false},
             // A 2.1 table in the variable: printed after the ACPI copy; the row follows the ACPI copy.
             Case{"2456 4552 0201 1400 0100 0000 0500 1b00 3700 fe00 0800 2000 0200 3700 00a4 5100 0100 0328 "
                  "0000",
                  "PASS", true},
         }) {
        sim::MachineBuilder machine = MachineWithController();
        if (c.variableHex)
            machine.Set("/firmware/variables/6/hex", std::string("\"") + c.variableHex + "\"");
        FirmwareRun run(machine);
        BOOLEAN passed = FALSE;
        const std::string screen = run.Group(4, &passed);
        EXPECT_TRUE(passed);
        EXPECT_EQ(screen.rfind("\n 4. Version Table Tests\n\nVersion Table Found:\n", 0), 0u) << screen;
        EXPECT_TRUE(Has(screen, Line("  4.1  Version Table (ACPI Table and Variable):", c.rowText)))
            << screen;
        EXPECT_EQ(Has(screen, "Tables do not match, secondary table:\nVersion Table Found:\n"
                              "  Version Header Revision: 2.1\n"),
                  c.secondary)
            << screen;
    }
    // A table whose bytes sum to 1 fails the row though both copies match.
    const std::string bad =
        "2456 4552 0300 1400 0100 0000 0500 1c00 3700 fe00 0800 2000 0200 3700 00a4 5100 0100 0328 0000";
    sim::MachineBuilder machine = MachineWithController();
    machine.Set("/firmware/variables/6/hex", "\"" + bad + "\"")
        .Set("/uefi/acpi/tables/0/hex", "\"" + bad + "\"");
    FirmwareRun run(machine);
    const std::string screen = run.Group(4);
    EXPECT_TRUE(Has(screen, "  Version Table Checksum:  Invalid\n")) << screen;
    EXPECT_TRUE(Has(screen, Line("  4.1  Version Table (ACPI Table and Variable):", "FAIL")));
    EXPECT_FALSE(Has(screen, "Tables do not match"));
}

TEST(VersionGroups, NoAcpiCopy) {
    FirmwareRun run(MachineWithController().Set("/uefi/acpi/tables", "[]"));
    EXPECT_EQ(run.Group(4),
              "\n 4. Version Table Tests\nERROR: Failed to retreive ACPI table \"MoxZrcV\"\n\n" +
                  Line("  4.1  Version Table (ACPI Table and Variable):", "FAIL"));
}

} // namespace
