// The controller table built from simulated machines: classification, identity, location walk,
// legacy port names, what is skipped, and the named mutexes shared between processes.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "middleware/core/CfgMgrException.h"
#include "middleware/core/ConsolidatedError.h"
#include "middleware/ioctl/ControllerLocatorLock.h"
#include "middleware/ioctl/DeviceLocator.h"
#include "middleware/ioctl/DictionarySingleton.h"
#include "middleware/ioctl/IoctlInterfaceVersionStore.h"
#include "platform/win/WinSync.h"
#include "tests/middleware/ioctl/TableTestSupport.h"
#include "tests/support/ChildProcess.h"

namespace {

using namespace tabletest;

struct Expected {
    int32_t port;
    uint32_t flags;
    uint16_t vendor, device, subsystem;
    uint32_t rootKind;
    uint8_t rootNumber, pciDevice, pciFunction;
    const char* name;
    const char* service;
    uint32_t version[4];
};

TEST(DeviceLocatorBuild, KeepsEveryKindOfControllerWithItsIdentityAndLocation) {
    sim::ScopedMachine machine(ControllersMachine());
    DeviceLocator table;

    // Port 5 is another vendor's removable adapter, port 7 has no SCSI address and no identity to
    // find it by among the legacy names, and the storage-spaces port has no PCI identity.
    const Expected expected[] = {
        {0,
         kControllerSataRaid,
         0x1F4A,
         0x2826,
         0x7A21,
         kRootPortSat,
         0,
         0x17,
         0,
         "Orvex SATA RAID Controller",
         "moxraid",
         {20, 1, 0, 1007}},
        // Behind the root port on bus 0 whose ACPI element is RP05.
        {1,
         kControllerNvme,
         0x1C8F,
         0x5012,
         0x5012,
         kRootPortRp,
         5,
         0x1C,
         4,
         "Orvex NVMe Controller",
         "moxraid",
         {20, 1, 0, 1007}},
        {2,
         kControllerRemapping,
         0x1F4A,
         0x09AB,
         0x7A21,
         kRootPortNone,
         0xFF,
         0x0E,
         0,
         "Orvex Remapping Controller",
         "moxraid",
         {20, 1, 0, 1007}},
        {3,
         kControllerOtherSata,
         0x1B4B,
         0x9215,
         0x9215,
         kRootPortRp,
         1,
         0x1C,
         0,
         "Standard SATA AHCI Controller",
         "storahci",
         {10, 0, 22621, 1}},
        {4,
         kControllerOtherNvme,
         0x1D79,
         0x2263,
         0x2263,
         kRootPortPeg,
         0,
         0x01,
         0,
         "Standard NVM Express Controller",
         "stornvme",
         {10, 0, 22621, 2506}},
        // Its interface answers no SCSI address; "\\.\Scsi6:" shows the same adapter topology.
        {6,
         kControllerOtherSata,
         0x1B21,
         0x1166,
         0x2116,
         kRootPortNone,
         0xFF,
         0x19,
         0,
         "Standard SATA AHCI Controller",
         "storahci",
         {10, 0, 22621, 1}},
    };
    ASSERT_EQ(DeviceLocator::GetCount(), 6);
    for (size_t i = 0; i < std::size(expected); ++i) {
        const Expected& e = expected[i];
        SCOPED_TRACE("port " + std::to_string(e.port));
        const ControllerLocator* r = DeviceLocator::GetByIndex(static_cast<int>(i));
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r, DeviceLocator::FindByPort(e.port));
        EXPECT_EQ(r->signature, 0x46696E44u);
        EXPECT_EQ(r->flags, e.flags);
        EXPECT_EQ(r->pciVendorId, e.vendor);
        EXPECT_EQ(r->pciDeviceId, e.device);
        EXPECT_EQ(r->pciSubsystemId, e.subsystem);
        EXPECT_EQ(r->rootPortKind, e.rootKind);
        EXPECT_EQ(r->rootPortNumber, e.rootNumber);
        EXPECT_EQ(r->pciBus, 0);
        EXPECT_EQ(r->pciDevice, e.pciDevice);
        EXPECT_EQ(r->pciFunction, e.pciFunction);
        EXPECT_STREQ(r->controllerName, e.name);
        EXPECT_STREQ(r->serviceName, e.service);
        EXPECT_EQ(std::vector<uint32_t>(r->driverVersion, r->driverVersion + 4),
                  std::vector<uint32_t>(e.version, e.version + 4));
        EXPECT_NE(r->deviceHandle, nullptr);
        EXPECT_NE(r->deviceHandle, INVALID_HANDLE_VALUE);
        EXPECT_NE(r->mutex, nullptr);
        EXPECT_EQ(DeviceLocator::FindByHandle(r->deviceHandle), r);
        // The vendor's controllers keep the dictionary that classified them.
        const bool vendor = (e.flags & kControllerMaskVendor) != 0;
        EXPECT_EQ(r->dictionary.valid, vendor ? 1u : 0u);
        EXPECT_EQ(r->dictionary.controllerType, e.flags == kControllerSataRaid    ? 1
                                                : e.flags == kControllerNvme      ? 3
                                                : e.flags == kControllerRemapping ? 5
                                                                                  : 0);
    }
    EXPECT_EQ(DeviceLocator::FindByPort(5), nullptr);
    EXPECT_EQ(DeviceLocator::FindByPort(7), nullptr);

    // Walking by masks.
    std::vector<int> vendor, other;
    for (int i = DeviceLocator::FindNextByFlags(kControllerMaskVendor, -1); i >= 0;
         i = DeviceLocator::FindNextByFlags(kControllerMaskVendor, i))
        vendor.push_back(i);
    for (int i = DeviceLocator::FindNextByFlags(kControllerMaskOtherVendor, -1); i >= 0;
         i = DeviceLocator::FindNextByFlags(kControllerMaskOtherVendor, i))
        other.push_back(i);
    EXPECT_EQ(vendor, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(other, (std::vector<int>{3, 4, 5}));
    EXPECT_EQ(DeviceLocator::FindNextByFlags(kControllerPlaceholder, -1), -1);

    // The legacy names were scanned once, for the two adapters without a SCSI address.
    size_t legacyOpens = 0;
    for (const sim::Call& c : machine->calls().Of("CreateFile"))
        if (c.selectors.value("path", "") == "\\\\.\\Scsi6:")
            ++legacyOpens;
    EXPECT_EQ(legacyOpens, 1u);
    EXPECT_FALSE(IoctlInterfaceVersionStore::IsBuildBypassActive());
    EXPECT_EQ(DeviceLocator::Build(), 6) << "built once";
}

TEST(DeviceLocatorBuild, WithoutStoragePortInterfacesHoldsThePlaceholder) {
    json description = ControllersMachine();
    for (auto& node : description["devices"]["nodes"])
        node.erase("interfaces");
    sim::ScopedMachine machine(description);

    EXPECT_EQ(DeviceLocator::FindNextByFlags(kControllerMaskReal, -1), -1);
    EXPECT_EQ(DeviceLocator::GetCount(), 1);
    EXPECT_EQ(DeviceLocator::FindNextByFlags(kControllerPlaceholder, -1), 0);
    const ControllerLocator* placeholder = DeviceLocator::GetByIndex(0);
    EXPECT_EQ(placeholder->flags, kControllerPlaceholder);
    EXPECT_EQ(placeholder->deviceHandle, nullptr);
    EXPECT_EQ(placeholder->mutex, nullptr);
    EXPECT_EQ(DeviceLocator::FindByHandle(nullptr), placeholder);
    EXPECT_EQ(machine->calls().Count("DeviceIoControl"), 0u);
    // The store does not know the placeholder.
    EXPECT_THROW(IoctlInterfaceVersionStore::CheckInterfaceSupport(
                     const_cast<ControllerLocator*>(placeholder), "OrvexRdp"),
                 CConsolidatedError);
}

// What the build does with devices it cannot read as they should be: a removable controller of the
// vendor's own is kept, a driver version of three numbers is unknown, an overlong name is cut, a
// missing name gets its stand-in text, the vendor's NVMe and remapping controllers without a SCSI
// address are found among the legacy names by their identify serial number and their controller
// dictionary, a device without its PCI address and a controller of type 4 are left out, and the
// rest of the table is built.
TEST(DeviceLocatorBuild, OddDevicesAreCutDefaultedFoundOrSkipped) {
    json d = ControllersMachine();
    json& sata = Node(d, InstanceOf(d, 0))["properties"];
    sata["Capabilities"] = 4;
    sata["DriverVersion"] = "20.1.1007";
    sata["DeviceDesc"] = std::string(200, 'N');
    Adapter(d, 1)["answers_scsi_address"] = false;
    Adapter(d, 2)["answers_scsi_address"] = false;
    Node(d, InstanceOf(d, 2))["properties"].erase("DeviceDesc");
    Node(d, InstanceOf(d, 3))["properties"].erase("Address");
    Adapter(d, 4)["driver"] = "moxraid";
    Adapter(d, 4)["raid"] = {{"controller_type", 4}};
    sim::ScopedMachine machine(d);
    DeviceLocator table;

    std::vector<int32_t> ports;
    std::vector<uint32_t> flags;
    for (int i = 0; i < DeviceLocator::GetCount(); ++i) {
        ports.push_back(DeviceLocator::GetByIndex(i)->portNumber);
        flags.push_back(DeviceLocator::GetByIndex(i)->flags);
    }
    EXPECT_EQ(ports, (std::vector<int32_t>{0, 1, 2, 6}));
    EXPECT_EQ(flags, (std::vector<uint32_t>{kControllerSataRaid, kControllerNvme, kControllerRemapping,
                                            kControllerOtherSata}));

    const ControllerLocator* removable = DeviceLocator::FindByPort(0);
    ASSERT_NE(removable, nullptr);
    ASSERT_NE(DeviceLocator::FindByPort(1), nullptr);
    ASSERT_NE(DeviceLocator::FindByPort(2), nullptr);
    EXPECT_EQ(std::string(removable->controllerName), std::string(127, 'N'));
    for (uint32_t part : removable->driverVersion)
        EXPECT_EQ(part, 0u);
    EXPECT_STREQ(DeviceLocator::FindByPort(2)->controllerName, "Unknown Controller");
    EXPECT_STREQ(DeviceLocator::FindByPort(1)->controllerName, "Orvex NVMe Controller");
}

// Only another vendor's adapter is asked whether it is removable: with the Capabilities property
// unreadable everywhere, the vendor's own controllers keep their records and only the other
// vendors' adapters (whose removability cannot be told) are skipped.
TEST(DeviceLocatorBuild, AnUnreadableCapabilitiesPropertyCostsOnlyOtherVendorsAdapters) {
    std::vector<std::pair<int32_t, uint32_t>> all;
    {
        sim::ScopedMachine machine(ControllersMachine());
        DeviceLocator table;
        for (int i = 0; i < DeviceLocator::GetCount(); ++i)
            all.emplace_back(DeviceLocator::GetByIndex(i)->portNumber, DeviceLocator::GetByIndex(i)->flags);
    }
    DeviceLocator::ResetForTests();
    IoctlInterfaceVersionStore::ResetForTests();
    CDictionarySingleton::Release();

    sim::ScopedMachine machine(ControllersMachine());
    machine->faults().Add(
        sim::FaultRule{"CM_Get_DevNode_Property", {{"property", "Capabilities"}}, 0, -1, {{"cr", 37}}});
    DeviceLocator table;
    std::vector<int32_t> expected, kept;
    for (const auto& [port, flags] : all)
        if (!(flags & kControllerMaskOtherVendor))
            expected.push_back(port);
    for (int i = 0; i < DeviceLocator::GetCount(); ++i)
        kept.push_back(DeviceLocator::GetByIndex(i)->portNumber);
    ASSERT_GE(expected.size(), 3u);
    ASSERT_LT(expected.size(), all.size());
    EXPECT_EQ(kept, expected);
}

// An identity request whose answer fails its checks throws: the device is left out (and the legacy
// name that gave the same answer is no match), the build goes on.
TEST(DeviceLocatorBuild, AThrowingIdentityRequestSkipsTheDevice) {
    json d = ControllersMachine();
    Adapter(d, 1)["answers_scsi_address"] = false;
    sim::ScopedMachine machine(d);
    machine->faults().Add(sim::FaultRule{"DeviceIoControl", json{{"control_code", "0xF0002800"}}, 0, -1,
                                         json{{"srb_return_code", 0}}});
    DeviceLocator table;
    EXPECT_EQ(DeviceLocator::GetCount(), 5);
    EXPECT_EQ(DeviceLocator::FindByPort(1), nullptr);
    EXPECT_NE(DeviceLocator::FindByPort(2), nullptr);
}

TEST(DeviceLocatorBuild, KeepsTheFirstSixteenControllers) {
    json nodes = json::array();
    json adapters = json::array();
    for (int i = 0; i < 18; ++i) {
        char id[96];
        std::snprintf(id, sizeof(id), "PCI\\VEN_1D79&DEV_2263&SUBSYS_22631D79&REV_03\\4&1f2e3d4c&0&%04X", i);
        nodes.push_back({{"id", id},
                         {"properties",
                          {{"Service", "stornvme"},
                           {"Address", i << 16},
                           {"BusNumber", 0},
                           {"LocationPaths", {"PCIROOT(0)#PCI(0100)"}},
                           {"Capabilities", 0}}},
                         {"interfaces", {{{"class", "{2accfe60-c130-11d2-b082-00a0c91efb8b}"}}}}});
        adapters.push_back({{"port", 20 + i}, {"instance_id", id}, {"driver", "stornvme"}, {"bus_type", 17}});
    }
    sim::ScopedMachine machine(
        json{{"name", "many"}, {"devices", {{"nodes", nodes}}}, {"adapters", adapters}});
    ASSERT_EQ(DeviceLocator::Build(), 16);
    EXPECT_EQ(DeviceLocator::GetByIndex(15)->portNumber, 35);
    EXPECT_EQ(DeviceLocator::FindByPort(36), nullptr);
}

TEST(DeviceLocatorBuild, AFailedListingLeavesTheTableUnbuiltForTheNextUse) {
    sim::ScopedMachine machine(ControllersMachine());
    machine->faults().Add(
        sim::FaultRule{"CM_Get_Device_Interface_List_Size", json::object(), 0, 1, json{{"cr", 3}}});
    EXPECT_THROW(DeviceLocator(), MoxCfgMgr::CfgMgrException);
    EXPECT_EQ(DeviceLocator::GetCount(), 0);
    EXPECT_TRUE(IoctlInterfaceVersionStore::IsBuildBypassActive());
    DeviceLocator table;
    EXPECT_EQ(DeviceLocator::GetCount(), 6);
}

// Two processes of one session build their own tables and share each controller's mutex by its
// name "Scsi" + port + ":_RO".
TEST(DeviceLocatorBuild, TwoProcessesShareEachControllersMutex) {
    sim::ScopedMachine machine(ControllersMachine());
    DeviceLocator table;
    const ControllerLocator* record = DeviceLocator::FindByPort(2);
    ASSERT_NE(record, nullptr);

    moxtest::Child child({"table-lock", "2"});
    ASSERT_EQ(child.ReadLine(), "built 6");
    child.WriteLine("lock");
    ASSERT_EQ(child.ReadLine(), "locked");
    EXPECT_EQ(WaitForSingleObject(record->mutex, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    child.WriteLine("release");
    ASSERT_EQ(child.ReadLine(), "released");

    {
        ControllerLocatorLock lock(const_cast<ControllerLocator*>(record));
        child.WriteLine("try");
        EXPECT_EQ(child.ReadLine(), std::to_string(WAIT_TIMEOUT));
    }
    child.WriteLine("try");
    EXPECT_EQ(child.ReadLine(), std::to_string(WAIT_OBJECT_0));
    child.WriteLine("end");
    EXPECT_EQ(child.Wait(), 0);
}

} // namespace
