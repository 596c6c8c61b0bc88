// Finding the remapping controller among the machine's PCI functions, and its attributes.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "firmware/moxzrcinfo/ZrcController.h"
#include "tests/firmware/moxzrcinfo/FirmwareRun.h"

namespace {

using zrcinfo::FirmwareRun;

UINT16 DeviceId(EFI_PCI_IO_PROTOCOL* pciIo) {
    UINT16 id = 0;
    EXPECT_EQ(pciIo->Pci.Read(pciIo, EfiPciIoWidthUint16, 2, 1, &id), EFI_SUCCESS);
    return id;
}

// A PCI function of the description's device tree, at bus:device.function.
std::string PciNode(const char* ids, int bus, int device, int function) {
    char text[256];
    std::snprintf(text, sizeof(text),
                  R"({"id": "PCI\\%s\\3&11583659&0&%02X", "parent": "ACPI\\PNP0A08\\0",
                      "properties": {"Address": %d, "BusNumber": %d}})",
                  ids, (device << 3) | function, (device << 16) | function, bus);
    return text;
}

TEST(ZrcController, IdTable) {
    EXPECT_TRUE(IsSupportedZrcController(gZrcControllerIds, 0x1F4A, 0x09AB));
    EXPECT_TRUE(IsSupportedZrcController(gZrcControllerIds, 0x1F4A, 0x09AE));
    EXPECT_FALSE(IsSupportedZrcController(gZrcControllerIds, 0x1F4A, 0x2826));
    EXPECT_FALSE(IsSupportedZrcController(gZrcControllerIds, 0x8086, 0x09AB));
    // The end row is not a controller.
    EXPECT_FALSE(IsSupportedZrcController(gZrcControllerIds, 0xFFFF, 0xFFFF));
    const MOX_ZRC_CONTROLLER_ID endsEarly[] = {{0x1F4A, 0x09AB}, {0x1F4A, 0xFFFF}, {0x1F4A, 0x09AC}};
    EXPECT_FALSE(IsSupportedZrcController(endsEarly, 0x1F4A, 0x09AC));
}

TEST(ZrcController, FoundByItsIdsWhereverItSits) {
    // Another vendor's function first, then the controller away from 0:14.0; every handle looked at
    // is closed again and the handle buffer freed (the fixture checks).
    FirmwareRun run(zrcinfo::MachineWithoutController()
                        .Append("/devices/nodes", PciNode("VEN_8086&DEV_09AB", 0, 3, 0))
                        .Append("/devices/nodes", PciNode("VEN_1F4A&DEV_09AD&REV_01", 5, 0, 2)));
    run.Attach();
    EFI_PCI_IO_PROTOCOL* found = FindZrcController(gZrcControllerIds);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(DeviceId(found), 0x09AD);
    EXPECT_EQ(FindPciIoByLocation(5, 0, 2), found);
    EXPECT_EQ(FindPciIoByLocation(0, 14, 0), nullptr);
    EXPECT_NE(FindPciIoByLocation(0, 3, 0), nullptr);
    EXPECT_EQ(DeviceId(FindPciIoByLocation(0, 23, 0)), 0x2826);
}

TEST(ZrcController, NoneWhenTheMachineHasNone) {
    FirmwareRun run(zrcinfo::MachineWithoutController());
    run.Attach();
    EXPECT_EQ(FindZrcController(gZrcControllerIds), nullptr);
}

TEST(ZrcController, NoPciFunctionsAtAll) {
    FirmwareRun run(sim::MachineBuilder("bare"));
    run.Attach();
    EXPECT_EQ(FindZrcController(gZrcControllerIds), nullptr);
    EXPECT_EQ(FindPciIoByLocation(0, 0, 0), nullptr);
}

TEST(ZrcController, AttributesSavedEnabledAndRestored) {
    FirmwareRun run(zrcinfo::MachineWithController());
    run.Attach();
    EFI_PCI_IO_PROTOCOL* pciIo = FindZrcController(gZrcControllerIds);
    ASSERT_NE(pciIo, nullptr);
    ASSERT_EQ(pciIo->Attributes(pciIo, EfiPciIoAttributeOperationSet, EFI_PCI_IO_ATTRIBUTE_IO, nullptr),
              EFI_SUCCESS);
    UINT64 saved = 0;
    ASSERT_TRUE(SetZrcPciAttributes(pciIo, &saved, ZRC_ATTRIBUTES_ENABLE));
    EXPECT_EQ(saved, EFI_PCI_IO_ATTRIBUTE_IO);
    UINT64 now = 0;
    pciIo->Attributes(pciIo, EfiPciIoAttributeOperationGet, 0, &now);
    EXPECT_EQ(now, EFI_PCI_IO_ATTRIBUTE_IO | ZRC_PCI_ATTRIBUTES);
    // The command register shows memory decoding and bus mastering.
    UINT16 command = 0;
    pciIo->Pci.Read(pciIo, EfiPciIoWidthUint16, 4, 1, &command);
    EXPECT_EQ(command, 0x7);
    ASSERT_TRUE(SetZrcPciAttributes(pciIo, &saved, ZRC_ATTRIBUTES_RESTORE));
    pciIo->Attributes(pciIo, EfiPciIoAttributeOperationGet, 0, &now);
    EXPECT_EQ(now, EFI_PCI_IO_ATTRIBUTE_IO);
    EXPECT_FALSE(SetZrcPciAttributes(pciIo, &saved, 2));
    EXPECT_FALSE(SetZrcPciAttributes(nullptr, &saved, ZRC_ATTRIBUTES_ENABLE));
}

} // namespace
