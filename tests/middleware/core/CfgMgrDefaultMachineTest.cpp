#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "middleware/core/CfgMgrDevLocationInfo.h"
#include "middleware/core/CfgMgrPathsGetters.h"
#include "sim/Machine.h"
#include "tests/middleware/core/CfgMgrTestFixture.h"

namespace {

using namespace MoxCfgMgr;

std::string Narrow(const std::wstring& s) {
    return std::string(s.begin(), s.end());
}

struct Controller {
    std::string vendor, device, subsystem;
    std::wstring service, description, driverVersion;
    // The location of the nearest device on bus 0.
    int bus0Device, bus0Function;
    std::wstring element;
    int elementNumber;
    size_t disks;
};

TEST(CfgMgrDefaultMachine, StoragePortsEnumerateWithTheirBusZeroLocations) {
    sim::ScopedMachine machine;
    DevEnumerator ports(std::make_unique<DevInterfacePathsGetter>(GUID_DEVINTERFACE_STORAGEPORT),
                        cfgmgrtest::Factory(kLocateNormal, {1, 2, 3, 4, 5, 7, 6, 15}));
    auto devices = ports.enumerate();
    const std::vector<Controller> expected = {
        // The RAID volume and the pass-through disk; the volume's members and the spare are phantoms.
        {"1F4A", "2826", "7A21", L"moxraid", L"Orvex SATA RAID Controller", L"20.1.0.1007", 0x17, 0, L"SAT",
         0, 2},
        {"1C8F", "5012", "5012", L"moxraid", L"Orvex NVMe Controller", L"20.1.0.1007", 0x1D, 0, L"RP", 9, 1},
        {"1D79", "2263", "2263", L"stornvme", L"Standard NVM Express Controller", L"10.0.22621.2506", 0x01, 0,
         L"PEG", 0, 1},
    };
    ASSERT_EQ(devices.size(), expected.size());

    DevEnumerator disks(std::make_unique<DevInterfacePathsGetter>(GUID_DEVINTERFACE_DISK),
                        cfgmgrtest::Factory(kLocateNormal, {DevProperty::Parent}));
    auto diskDevices = disks.enumerate();

    for (size_t i = 0; i < devices.size(); ++i) {
        const IDev& dev = *devices[i];
        const Controller& c = expected[i];
        SCOPED_TRACE(Narrow(dev.getInstanceId()));
        std::smatch m;
        const std::string id = Narrow(dev.getInstanceId());
        ASSERT_TRUE(std::regex_search(id, m, std::regex(R"(VEN_(\w{4})&DEV_(\w{4})&SUBSYS_(\w{4}))")));
        EXPECT_EQ(m[1].str(), c.vendor);
        EXPECT_EQ(m[2].str(), c.device);
        EXPECT_EQ(m[3].str(), c.subsystem);
        EXPECT_EQ(dev.getProperty(DevProperty::Service).asString(), c.service);
        EXPECT_EQ(dev.getProperty(DevProperty::DeviceDesc).asString(), c.description);
        EXPECT_EQ(dev.getProperty(DevProperty::DriverVersion).asString(), c.driverVersion);
        EXPECT_EQ(dev.getProperty(DevProperty::Capabilities).asUint32() & CM_DEVCAP_REMOVABLE, 0u);

        // Up the tree to bus 0.
        DevLocationInfo location(dev);
        std::wstring parent = dev.getProperty(DevProperty::Parent).asString();
        int steps = 0;
        while (location.getBusNumber() != 0 && steps++ < 8) {
            auto up = cfgmgrtest::Factory(kLocateNormal, {1, 2, 3, 4, 5})(L"", parent);
            parent = up->getProperty(DevProperty::Parent).asString();
            location = DevLocationInfo(*up);
        }
        EXPECT_EQ(location.getBusNumber(), 0);
        EXPECT_EQ(location.getDevice(), c.bus0Device);
        EXPECT_EQ(location.getFunction(), c.bus0Function);
        EXPECT_EQ(location.getAcpiElementName(), c.element);
        EXPECT_EQ(location.getAcpiElementNumber(), c.elementNumber);

        size_t children = 0;
        for (const auto& disk : diskDevices)
            if (disk->getProperty(DevProperty::Parent).asString() == dev.getInstanceId())
                ++children;
        EXPECT_EQ(children, c.disks);
    }
    // Every present disk interface belongs to one of the controllers; the phantom USB disk is absent.
    EXPECT_EQ(diskDevices.size(), 4u);
}

TEST(CfgMgrDefaultMachine, SetupClassesAndEnumerators) {
    sim::ScopedMachine machine;
    struct Case {
        const char* name;
        int mode;
        int presentOnly;
        GUID setupClass;
        std::wstring filter;
        size_t count;
    };
    const std::vector<Case> cases = {
        {"storage adapters", DevNodePathsGetter::kBySetupClass, 1, GUID_DEVCLASS_SCSIADAPTER, L"", 3},
        {"present disks", DevNodePathsGetter::kBySetupClass, 1, GUID_DEVCLASS_DISKDRIVE, L"", 4},
        {"all disks", DevNodePathsGetter::kBySetupClass, 0, GUID_DEVCLASS_DISKDRIVE, L"", 8},
        {"system devices", DevNodePathsGetter::kBySetupClass, 1, GUID_DEVCLASS_SYSTEM, L"", 5},
        {"software devices", DevNodePathsGetter::kByEnumerator, 0, GUID{}, L"SWD", 1},
        {"PCI devices", DevNodePathsGetter::kByEnumerator, 0, GUID{}, L"PCI", 6},
    };
    for (const auto& c : cases) {
        DevEnumerator e(std::make_unique<DevNodePathsGetter>(c.mode, c.presentOnly, c.setupClass, c.filter),
                        cfgmgrtest::Factory(kLocatePhantom, {DevProperty::IsPresent}));
        EXPECT_EQ(e.enumerate().size(), c.count) << c.name;
    }
}

} // namespace
