// Groups 7 and 8: the driver's block devices and the functions in the controller's window.
#include <string>

#include <gtest/gtest.h>

#include "firmware/moxzrcinfo/Groups.h"
#include "firmware/moxzrcinfo/MoxZrcInfo.h"
#include "tests/firmware/moxzrcinfo/FirmwareRun.h"

namespace {

using zrcinfo::FirmwareRun;
using zrcinfo::Has;
using zrcinfo::Line;
using zrcinfo::MachineWithController;

TEST(MappedDevices, FormatSize) {
    struct Case {
        UINT64 blocks;
        const char* text;
        UINTN tenths;
    };
    for (const Case& c : {
             Case{1953525168, "931.5GB", 9315},
             Case{3907029168, "1.8TB", 18630},
             Case{0, "0.0GB", 0},
             Case{2048, "0.0GB", 0},
             Case{20971520, "10.0GB", 100},
             Case{21474836480ull, "10.0TB", 102400},
         }) {
        CHAR8 text[10];
        EXPECT_EQ(FormatSize(c.blocks, text), c.tenths) << c.blocks;
        EXPECT_STREQ(text, c.text) << c.blocks;
    }
}

TEST(MappedDevices, LastDevicePathNode) {
    UINT8 empty[] = {0x7F, 0xFF, 4, 0};
    EXPECT_EQ(LastDevicePathNode((EFI_DEVICE_PATH_PROTOCOL*)empty), nullptr);
    EXPECT_EQ(LastDevicePathNode(nullptr), nullptr);
    UINT8 path[] = {0x02, 0x01, 12,   0, 0xD0, 0x41, 0x03, 0x0A, 0,    0, 0,
                    0,    0x01, 0x01, 6, 0,    0,    14,   0x7F, 0xFF, 4, 0};
    EXPECT_EQ((UINT8*)LastDevicePathNode((EFI_DEVICE_PATH_PROTOCOL*)path), path + 12);
}

TEST(MappedDevices, ExportedDevices) {
    // The driver's children in the order of the machine's disks: the Virel, then the Kelvar.
    FirmwareRun run(MachineWithController().Set("/disks/4/uefi/block_io_revision", "\"0x20001\""));
    BOOLEAN passed = FALSE;
    EXPECT_EQ(run.Group(7, &passed),
              "\n 7. Exported Logical Devices\n\n" + Line("       Model Number:", "Virel NV2 1TB") +
                  Line("       Port Bitmap:", "0x1") + Line("       Size:", "931.5GB") +
                  Line("       MediaId:", "0") + Line("       Last Block:", "0x74706DAF") +
                  Line("       Block Size:", "512 bytes") + Line("       BlockIo Rev:", "0x02001F") + "\n" +
                  Line("       Model Number:", "Kelvar KV2000DM") + Line("       Port Bitmap:", "0x1") +
                  Line("       Size:", "1.8TB") + Line("       MediaId:", "0") +
                  Line("       Last Block:", "0xE8E088AF") + Line("       Block Size:", "512 bytes") +
                  Line("       BlockIo Rev:", "0x020001"));
    EXPECT_TRUE(passed);
}

TEST(MappedDevices, NamespaceAndPortAsPortBitmap) {
    FirmwareRun run(
        MachineWithController().Set("/disks/4/uefi/port", "5").Set("/disks/2/uefi/namespace", "\"0x12345\""));
    const std::string screen = run.Group(7);
    EXPECT_TRUE(Has(screen, Line("       Port Bitmap:", "0x5"))) << screen;
    EXPECT_TRUE(Has(screen, Line("       Port Bitmap:", "0x12345"))) << screen;
}

TEST(MappedDevices, ChildrenThatCannotBeShown) {
    // A device path handle that cannot be opened is named by its place in the list; a child whose
    // controller name cannot be had is left out.
    FirmwareRun run;
    run.machine().faults().Add(R"({"kind": "BootServices.OpenProtocol", "match": {"handle": "ZRC child 0",
        "protocol": "{09576e91-6d3f-11d2-8e39-00a0c969723b}"}, "times": -1, "outcome": {"efi_error": 2}})");
    run.machine().faults().Add(
        R"({"kind": "ComponentName2.GetControllerName", "match": {"child": "ZRC child 1"},
        "times": -1, "outcome": {"efi_error": 3}})");
    BOOLEAN passed = FALSE;
    const std::string screen = run.Group(7, &passed);
    EXPECT_TRUE(passed);
    EXPECT_FALSE(Has(screen, "Kelvar")) << screen;
    EXPECT_TRUE(Has(screen, "Virel NV2 1TB")) << screen;
    EXPECT_TRUE(Has(screen, "WARNING: Cannot open Device Path protocol for handle ")) << screen;
    EXPECT_TRUE(Has(screen, " (status EFI_INVALID_PARAMETER)\n")) << screen;
}

TEST(MappedDevices, ExportedDevicesPrerequisites) {
    {
        FirmwareRun run(MachineWithController().Remove("/uefi/raid_drivers"));
        BOOLEAN passed = TRUE;
        EXPECT_EQ(run.Group(7, &passed),
                  "\n 7. Exported Logical Devices\nERROR: Global ZRC driver handle is NULL.\n");
        EXPECT_FALSE(passed);
    }
    {
        FirmwareRun run;
        run.machine().faults().Add(R"({"kind": "BootServices.LocateHandleBuffer",
            "match": {"protocol": "{09576e91-6d3f-11d2-8e39-00a0c969723b}"}, "outcome": {"efi_error": 14}})");
        EXPECT_EQ(run.Group(7),
                  "\n 7. Exported Logical Devices\nERROR: Cannot locate any of Device Path protocols.\n");
    }
}

TEST(MappedDevices, Window) {
    FirmwareRun run;
    BOOLEAN passed = FALSE;
    const std::string screen = run.Group(8, &passed);
    EXPECT_TRUE(passed);
    EXPECT_EQ(screen.rfind("\n 8. Mapped Devices Information\n" +
                               Line("  8.1  Mapped device information:", "ENABLED") +
                               Line("       Controller Types:", "PCI BRIDGE #0") +
                               Line("       Device ID:", "0x09B0"),
                           0),
              0u)
        << screen;
    // The SATA and the NVMe controller share one count.
    EXPECT_TRUE(Has(screen, Line("       Controller Type:", "SATA CONTROLLER #0"))) << screen;
    EXPECT_TRUE(Has(screen, Line("       BAR 5:", "0xA0104000") + Line("       CFGSPC Segment:", "01/00/00") +
                                Line("       MMIO offset:", "0x00000001_C0100000") + "\n"));
    EXPECT_TRUE(Has(screen, Line("       Controller Type:", "NVME CONTROLLER #1"))) << screen;
}

TEST(MappedDevices, WindowOfOneBus) {
    // Exponent 20 (1 MiB) covers bus 0 only: the functions on bus 1 are never read.
    FirmwareRun run(
        MachineWithController().Set("/uefi/pci_config/1/hex", R"("0100 0000 0300 0000 1415 0e00")"));
    const std::string screen = run.Group(8);
    EXPECT_TRUE(Has(screen, "PCI BRIDGE #0")) << screen;
    EXPECT_FALSE(Has(screen, "CONTROLLER #")) << screen;
}

TEST(MappedDevices, WindowsThatCannotBe) {
    struct Case {
        const char* register10; // hex of the 64-bit base register
        const char* register44; // hex of registers 44h to 4Fh
        const char* error;
    };
    for (const Case& c : {
             Case{"0000 0000 0000 0000 0400 00a0 0000 0000 0400 00a2 0000 0000",
                  "0100 0000 0300 0000 1815 0e00",
                  "ERROR: Invalid ZRC configuration window (base 0x0_00000000, size exponent 24).\n"},
             Case{"0400 00c0 0100 0000 0400 00a0 0000 0000 0400 00a2 0000 0000",
                  "0100 0000 0300 0000 1d15 0e00",
                  "ERROR: Invalid ZRC configuration window (base 0x1_C0000000, size exponent 29).\n"},
         }) {
        FirmwareRun run(MachineWithController()
                            .Set("/uefi/pci_config/0/hex", std::string("\"") + c.register10 + "\"")
                            .Set("/uefi/pci_config/1/hex", std::string("\"") + c.register44 + "\""));
        BOOLEAN passed = TRUE;
        EXPECT_EQ(run.Group(8, &passed), "\n 8. Mapped Devices Information\n" +
                                             Line("  8.1  Mapped device information:", "ENABLED") + c.error);
        EXPECT_FALSE(passed);
    }
}

TEST(MappedDevices, ControllersTheRemapRequestLists) {
    // The request moxcli writes (count 2: 0:23.0, a RAID controller the group does not list, and
    // 2:0.0, an NVMe controller) is applied at boot: both sit in the window after the ones it had.
    FirmwareRun run(MachineWithController().Append("/firmware/variables",
                                                   R"({"name": "OrvexZrcOsVariable",
        "guid": "{61a14fe8-4dab-4a19-b1e3-97fb23d09212}", "hex": "0200 0017 0200)" +
                                                       std::string(58 * 2, '0') + R"("})"));
    const std::string screen = run.Group(8);
    EXPECT_TRUE(Has(screen, Line("       Controller Type:", "NVME CONTROLLER #2") +
                                Line("       Device ID:", "0x5012")))
        << screen;
    EXPECT_TRUE(Has(screen, Line("       CFGSPC Segment:", "00/11/00") +
                                Line("       MMIO offset:", "0x00000001_C0088000")))
        << screen;
    EXPECT_FALSE(Has(screen, "0x2826")) << screen;
}

} // namespace
