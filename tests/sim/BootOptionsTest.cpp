#include <gtest/gtest.h>

#include "sim/BootOptions.h"
#include "sim/FirmwareVariables.h"
#include "sim/Machine.h"

namespace {

using sim::firmware::DevicePathNode;

// The layout by its documented offsets: attributes, list length, description, list, optional data.
TEST(BootOptions, LoadOptionsFollowTheDocumentedLayout) {
    const std::vector<uint8_t> option =
        sim::firmware::LoadOption(1, "Ab", {sim::firmware::FilePathNode("\\x")}, true, {0xEE});
    const std::vector<uint8_t> expected = {1,    0,    0,   0,                        // attributes
                                           14,   0,                                   // file path list length
                                           'A',  0,    'b', 0, 0,    0,               // description
                                           4,    4,    10,  0, '\\', 0, 'x', 0, 0, 0, // file path node
                                           0x7F, 0xFF, 4,   0,                        // end node
                                           0xEE};                                     // optional data
    EXPECT_EQ(option, expected);
    EXPECT_EQ(sim::firmware::BootOrder({1, 0x100}), (std::vector<uint8_t>{1, 0, 0, 1}));
    EXPECT_EQ(sim::firmware::BootOptionName(10), "Boot000A");
    EXPECT_EQ(sim::firmware::NodeBytes(DevicePathNode{4, 4, {}, 2}), (std::vector<uint8_t>{4, 4, 2, 0}));
    EXPECT_EQ(sim::firmware::NodeBytes(
                  sim::firmware::HardDriveNode(1, 2, 3, "{00000000-0000-0000-0000-000000000000}"))
                  .size(),
              42u);
    EXPECT_EQ(sim::firmware::NodeBytes(sim::firmware::MacNode({1, 2})).size(), 37u);
    EXPECT_EQ(sim::firmware::NodeBytes(sim::firmware::Ipv4Node()).size(), 27u);
}

// The default machine's boot order: the Windows boot manager, a network entry, a USB key.
TEST(BootOptions, TheDefaultMachineBootsTheWindowsBootManagerFirst) {
    sim::ScopedMachine machine;
    EXPECT_EQ(sim::firmware::ReadBootOrder(), (std::vector<uint16_t>{0, 1, 2}));
    const auto manager = sim::firmware::Find("Boot0000", sim::firmware::kGlobalVariableGuid);
    ASSERT_TRUE(manager);
    const std::vector<uint8_t> wanted = sim::firmware::LoadOption(
        sim::firmware::kLoadOptionActive, "Windows Boot Manager",
        {sim::firmware::HardDriveNode(1, 2048, 204800, "{5c1e7a93-2d4b-4e8f-a16c-3b9d0e7f4a21}"),
         sim::firmware::FilePathNode("\\EFI\\Microsoft\\Boot\\bootmgfw.efi")},
        true, {'W', 'I', 'N', 'D', 'O', 'W', 'S', 0, 1, 0, 0, 0});
    EXPECT_EQ(manager->data, wanted);
    const auto network = sim::firmware::Find("Boot0001", sim::firmware::kGlobalVariableGuid);
    ASSERT_TRUE(network);
    EXPECT_EQ(network->data,
              sim::firmware::LoadOption(1, "UEFI: PXE IPv4 Orvex Ethernet Connection",
                                        {sim::firmware::PciNode(0x1F, 6),
                                         sim::firmware::MacNode({0x00, 0x1B, 0x7A, 0x3C, 0x52, 0x91}),
                                         sim::firmware::Ipv4Node()}));
    const auto usb = sim::firmware::Find("Boot0002", sim::firmware::kGlobalVariableGuid);
    ASSERT_TRUE(usb);
    EXPECT_EQ(usb->data,
              sim::firmware::LoadOption(1, "UEFI: Sandor Flash Key 1.00",
                                        {sim::firmware::PciNode(0x14, 0), sim::firmware::UsbNode(3, 0)}));
}

} // namespace
