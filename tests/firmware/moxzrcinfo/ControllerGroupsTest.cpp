// Groups 5 and 6: the controller and the processor, and the controller's registers.
#include <string>

#include <gtest/gtest.h>

#include "firmware/moxzrcinfo/ZrcController.h"
#include "tests/firmware/moxzrcinfo/FirmwareRun.h"

namespace {

using zrcinfo::FirmwareRun;
using zrcinfo::Has;
using zrcinfo::Line;
using zrcinfo::MachineWithController;
using zrcinfo::MachineWithoutController;

const std::string kNotFound = "Orvex ZRC controller not found, exiting...\n";

TEST(ControllerGroups, ControllerAndProcessor) {
    FirmwareRun run;
    BOOLEAN passed = FALSE;
    // The brand string's leading spaces are trimmed.
    EXPECT_EQ(run.Group(5, &passed),
              "\n 5. Orvex(R) ZRC Controller Info Tests\n" +
                  Line("  5.1  Orvex(R) ZRC Controller Detected:", "PASS") +
                  Line("  5.2  Orvex(R) ZRC Controller Supported:", "PASS") +
                  Line("  5.3  CPU Brand String:", "Orvex(R) Core(TM) i7-12700 CPU @ 2.10GHz") +
                  Line("  5.4  CPUID:", "0x90672"));
    EXPECT_TRUE(passed);
}

TEST(ControllerGroups, ControllerAwayFromItsLocation) {
    // Found by its IDs at 5:0.2: group 5 finds nothing at 0:14.0, group 6 still dumps it.
    FirmwareRun run(MachineWithoutController().Append(
        "/devices/nodes",
        R"({"id": "PCI\\VEN_1F4A&DEV_09AD&REV_01\\3&11583659&0&02", "parent": "ACPI\\PNP0A08\\0",
                              "properties": {"Address": 2, "BusNumber": 5}})"));
    BOOLEAN passed = TRUE;
    EXPECT_EQ(run.Group(5, &passed), "\n 5. Orvex(R) ZRC Controller Info Tests\n" +
                                         Line("  5.1  Orvex(R) ZRC Controller Detected:", "FAIL") +
                                         kNotFound);
    EXPECT_FALSE(passed);
    const std::string dump = run.Group(6, &passed);
    EXPECT_TRUE(passed);
    EXPECT_TRUE(Has(dump, Line("       Device ID:", "0x09AD") + Line("       Vendor ID:", "0x1F4A"))) << dump;
}

TEST(ControllerGroups, UnknownFunctionAtTheControllersLocation) {
    FirmwareRun run(
        MachineWithController().Set("/devices/nodes/7/id", R"("PCI\\VEN_8086&DEV_1234\\3&11583659&0&70")"));
    const std::string screen = run.Group(5);
    EXPECT_TRUE(Has(screen, Line("  5.1  Orvex(R) ZRC Controller Detected:", "PASS") +
                                Line("  5.2  Orvex(R) ZRC Controller Supported:", "FAIL")))
        << screen;
}

TEST(ControllerGroups, RegisterDump) {
    FirmwareRun run(MachineWithController().Set(
        "/uefi/pci_config/0/hex", R"("0000 00c0 0100 0000 0400 00a0 0000 0000 0000 0000 0000 0000")"));
    BOOLEAN passed = FALSE;
    const std::string screen = run.Group(6, &passed);
    EXPECT_TRUE(passed);
    EXPECT_EQ(screen.substr(0, screen.find("       Device ID")),
              "\n 6. Orvex(R) ZRC Controller Info Tests\n" +
                  Line("  6.1  PCI Config Space RAW data:", "PASS"));
    for (const std::string& line : {
             Line("       ClassCode:", "0x0104"),
             Line("       Command:", "0x0006"), // memory decoding and bus mastering as the run enables them
             Line("       Subsystem ID:", "0x7A21"),
             Line("  6.2  ZRC Configuration Base Address (10h):", "0x1_C0000000"),
             Line("  6.3  ZRC Configuration Base Address Size:", "0x18"),
             Line("  6.4  ZRC Memory Base Address 1:", "0x0_A0000004"),
             Line("  6.5  ZRC Memory Base Address 2:", "0x0_00000000"),
             Line("  6.9  VM Device Assignment Register:", "0x00000003"),
             Line("  6.11 VM Function 1 Assignment Register:", "0x00170100"),
             Line("  6.17 VM Function 7 Assignment Register:", "0x00000000"),
         })
        EXPECT_TRUE(Has(screen, line)) << line << screen;
}

TEST(ControllerGroups, FailedReads) {
    // A register that cannot be read shows 0; a header that cannot be read ends the group silently.
    FirmwareRun run;
    run.machine().faults().Add(
        R"({"kind": "PciIo.Pci.Read", "match": {"location": "0:14.0", "offset": 76}, "outcome": {"efi_error": 7}})");
    EXPECT_TRUE(Has(run.Group(6), Line("  6.3  ZRC Configuration Base Address Size:", "0x00")));
    run.machine().faults().Add(
        R"({"kind": "PciIo.Pci.Read", "match": {"location": "0:14.0", "count": 256}, "outcome": {"efi_error": 7}})");
    BOOLEAN passed = TRUE;
    EXPECT_EQ(run.Group(6, &passed), "\n 6. Orvex(R) ZRC Controller Info Tests\n");
    EXPECT_FALSE(passed);
}

TEST(ControllerGroups, ExtendedRegistersThroughTheRootBridge) {
    FirmwareRun run(MachineWithController().Append(
        "/uefi/pci_config", R"({"location": "0:14.0", "offset": 256, "hex": "7856 3412"})"));
    run.Attach();
    EFI_PCI_IO_PROTOCOL* zrc = FindZrcController(gZrcControllerIds);
    ASSERT_NE(zrc, nullptr);
    EXPECT_EQ(ReadPciConfig32(zrc, 0x100), 0x12345678u);
    EXPECT_EQ(ReadPciConfig16(zrc, 0x102), 0x1234u);
    EXPECT_EQ(ReadPciConfig8(zrc, 0x4C), 0x18u);
    run.machine().faults().Add(R"({"kind": "PciRootBridgeIo.Pci.Read", "outcome": {"efi_error": 7}})");
    EXPECT_EQ(ReadPciConfig32(zrc, 0x100), 0u);
}

} // namespace
