// Groups 1 and 2: the firmware's services and the protocols of the remapping controller's driver.
#include <string>

#include <gtest/gtest.h>

#include "firmware/moxzrcinfo/FirmwareLib.h"
#include "firmware/moxzrcinfo/Groups.h"
#include "firmware/moxzrcinfo/Report.h"
#include "tests/firmware/moxzrcinfo/FirmwareRun.h"

namespace {

using zrcinfo::FirmwareRun;
using zrcinfo::Has;
using zrcinfo::Line;
using zrcinfo::MachineWithController;

std::string Protocol(const std::string& label, const std::string& result) {
    return Line("       " + label + " Protocol:", result);
}

size_t Count(const std::string& screen, const std::string& text) {
    size_t n = 0;
    for (size_t at = screen.find(text); at != std::string::npos; at = screen.find(text, at + 1))
        ++n;
    return n;
}

TEST(DriverGroups, ServicesAndTheAcpiTableProtocol) {
    FirmwareRun run(MachineWithController().Merge(R"({"uefi": {"acpi": {"table_protocol": false}}})"));
    run.Attach();
    // A boot service the firmware lacks is "Invalid" and fails the services test.
    EFI_BOOT_SERVICES services = *gBS;
    services.Stall = nullptr;
    gBS = &services;
    EXPECT_TRUE(RunSystemProvidedProtocolsAndTables(nullptr));
    const std::string screen = run.Screen();
    EXPECT_TRUE(Has(screen, Line("       Stall:", "Invalid") + "\nEfi Runtime Services\n")) << screen;
    EXPECT_TRUE(
        Has(screen, Line("  1.1  UEFI Services:", "FAIL") + Line("  1.2  ACPI Table Protocol:", "FAIL")))
        << screen;
    EXPECT_EQ(gAcpiTableProtocol, nullptr);
    EXPECT_EQ(gFailureCount, 2u);
}

TEST(DriverGroups, EveryProtocolOfTheDriver) {
    FirmwareRun run;
    BOOLEAN passed = FALSE;
    EXPECT_EQ(run.Group(2, &passed),
              "\n 2. Driver-Provided Protocols and Tables\n" +
                  Line("       EFI Driver Name:", "Orvex(R) RST 20.1.0.1007 RAID Driver") +
                  Line("       EFI Driver Version:", "0x20010") + "\nProtocols Supported:\n" +
                  Protocol("Driver Binding", "PASS") + Protocol("Component Name", "PASS") +
                  Protocol("Component Name 2", "PASS") + Protocol("Driver Supported EFI Version", "PASS") +
                  Protocol("RAID Config", "PASS") + Protocol("Device Path", "PASS") +
                  Protocol("Config Access", "PASS") + Protocol("ATA Pass Thru", "PASS") +
                  Protocol("NVM Express Pass Thru", "PASS") + Line("  2.1  EFI Driver Protocols:", "PASS") +
                  Line("  2.2  EFI Driver Protocols for HII:", "PASS"));
    EXPECT_TRUE(passed);
    EXPECT_NE(gZrcDriverHandle, nullptr);
    EXPECT_EQ(gZrcPciHandle, run.firmware().FindHandle("PCI 0:14.0"));
}

TEST(DriverGroups, MissingProtocols) {
    struct Case {
        const char* driver; // the driver's entry, merged into the default's
        std::string lines;  // expected among the group's lines
        bool driverPasses, hiiPasses;
    };
    for (const Case& c : {
             // Without HII configuration access: a warning, counted as one.
             Case{R"({"without": ["hii_config_access"]})", Protocol("Config Access", "WARN"), true, false},
             // Without binding and component name 2: no name or version line, the test fails.
             Case{R"({"without": ["driver_binding", "component_name2"]})",
                  "\nProtocols Supported:\n" + Protocol("Driver Binding", "FAIL") +
                      Protocol("Component Name", "PASS") + Protocol("Component Name 2", "FAIL"),
                  false, true},
             // NVM Express pass-through only on another function: no line for it.
             Case{R"({"pass_thru": [{"protocol": "ata"}, {"protocol": "nvme", "location": "0:23.0"}]})",
                  Protocol("ATA Pass Thru", "PASS") + Line("  2.1  EFI Driver Protocols:", "FAIL"), false,
                  true},
         }) {
        sim::MachineBuilder machine = MachineWithController();
        machine.Merge(std::string(R"({"uefi": {"raid_drivers": [)") +
                      R"({"name": "ZRC", "controller": "0:14.0", )" + std::string(c.driver).substr(1) +
                      "]}}");
        FirmwareRun run(machine);
        const std::string screen = run.Group(2);
        EXPECT_TRUE(Has(screen, c.lines)) << c.driver << "\n" << screen;
        EXPECT_EQ(Has(screen, "EFI Driver Name"), !Has(c.driver, "component_name2")) << screen;
        EXPECT_TRUE(Has(screen, Line("  2.1  EFI Driver Protocols:", c.driverPasses ? "PASS" : "FAIL")))
            << screen;
        EXPECT_TRUE(Has(screen, Line("  2.2  EFI Driver Protocols for HII:", c.hiiPasses ? "PASS" : "WARN")))
            << screen;
        EXPECT_EQ(gWarningCount, c.hiiPasses ? 0u : 1u);
    }
}

TEST(DriverGroups, TwoInstancesNamedZrc) {
    // The first is the driver handle; both print the first's name and version; the second's checks
    // decide the test.
    FirmwareRun run(MachineWithController().Append(
        "/uefi/raid_drivers", R"({"name": "ZRC", "without": ["supported_efi_version"]})"));
    const std::string screen = run.Group(2);
    EXPECT_EQ(Count(screen, "EFI Driver Name"), 2u) << screen;
    EXPECT_EQ(Count(screen, "Protocols Supported:"), 2u);
    EXPECT_TRUE(Has(screen, Line("  2.1  EFI Driver Protocols:", "FAIL"))) << screen;
    EXPECT_EQ(gZrcDriverHandle, run.firmware().FindHandle("RAID driver 0"));
}

TEST(DriverGroups, OnlyTheNameZrcMatches) {
    FirmwareRun run(MachineWithController().Set("/uefi/raid_drivers/0/name", R"("ZRCX")"));
    EXPECT_EQ(run.Group(2),
              "\n 2. Driver-Provided Protocols and Tables\n" + Protocol("ATA Pass Thru", "PASS") +
                  Protocol("NVM Express Pass Thru", "PASS") + Line("  2.1  EFI Driver Protocols:", "FAIL") +
                  Line("  2.2  EFI Driver Protocols for HII:", "PASS"));
    EXPECT_EQ(gZrcDriverHandle, nullptr);
}

TEST(DriverGroups, NoConfigurationProtocolAnywhere) {
    FirmwareRun run(MachineWithController().Remove("/uefi/raid_drivers"));
    BOOLEAN passed = TRUE;
    EXPECT_EQ(run.Group(2, &passed),
              "\n 2. Driver-Provided Protocols and Tables\n"
              "ERROR: Failed to locate any handle with required RAID config protocol.\n");
    EXPECT_FALSE(passed);
    EXPECT_EQ(gTestCount, 2u); // group 1's
}

TEST(DriverGroups, ConfigurationProtocolThatCannotBeOpened) {
    FirmwareRun run;
    run.machine().faults().Add(R"({"kind": "BootServices.OpenProtocol",
        "match": {"protocol": "{089b17f4-0cbe-4387-ad55-f3c157b813ef}", "attributes": 1}, "outcome": {"efi_error": 3}})");
    BOOLEAN passed = TRUE;
    EXPECT_EQ(run.Group(2, &passed), "\n 2. Driver-Provided Protocols and Tables\n"
                                     "ERROR: Failed to open required protocol: RAID config Protocol.\n");
    EXPECT_FALSE(passed);
}

} // namespace
