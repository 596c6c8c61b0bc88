#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "middleware/accelerate/MoxStorageSwDevice.h"
#include "middleware/accelerate/UviStorageSwDeviceEnumerateAction.h"
#include "middleware/core/CfgMgrDevEnumerator.h"
#include "middleware/core/CfgMgrPathsGetters.h"
#include "sim/Clock.h"
#include "sim/Machine.h"
#include "sim/SoftwareDevices.h"

namespace {

constexpr const char* kDisk = "SCSI\\Disk&Ven_A&Prod_B\\4&1&0&000100";
constexpr const wchar_t* kWideDisk = L"SCSI\\Disk&Ven_A&Prod_B\\4&1&0&000100";

std::string Node(const std::string& serial) {
    return "SWD\\SwStorageEnumerator\\SwStorageDevice&" + serial + "&FTW";
}

// Two disks, and software device nodes: S1's below the first disk, present; S2's below it, removed
// before; a node of another enumerator and one of this enumerator that is not a storage node.
sim::MachineBuilder Machine() {
    return sim::MachineBuilder("swdevices").Set("/devices", R"({"nodes": [
            {"id": "SCSI\\Disk&Ven_A&Prod_B\\4&1&0&000100"},
            {"id": "SCSI\\Disk&Ven_A&Prod_B\\4&1&0&000200"},
            {"id": "SWD\\SwStorageEnumerator\\SwStorageDevice&S1&FTW", "parent": "SCSI\\Disk&Ven_A&Prod_B\\4&1&0&000100",
             "properties": {"HardwareIds": ["ZQVSTORAGE\\X1", "ZQVSTORAGE\\X"]},
             "software": {"lifetime": "parent_present"}},
            {"id": "SWD\\SwStorageEnumerator\\SwStorageDevice&S2&FTW", "parent": "SCSI\\Disk&Ven_A&Prod_B\\4&1&0&000100",
             "present": false, "properties": {"HardwareIds": ["ZQVSTORAGE\\X"]}},
            {"id": "SWD\\OtherEnumerator\\SwStorageDevice&S3&FTW"},
            {"id": "SWD\\SwStorageDevice&S4&FTW\\SwStorageEnumerator"},
            {"id": "SWD\\PRINTENUM\\PRINTQUEUES", "properties": {"HardwareIds": ["PRINTENUM\\PrintQueues"]}}]})");
}

StorageDiskIdentity Identity(const char* serial, const char* nvmeSerial = nullptr) {
    return StorageDiskIdentity{"  Tamsin TS512S3 ", "2B7Q ", nvmeSerial, serial};
}

std::wstring Ids(std::initializer_list<const wchar_t*> ids) {
    std::wstring out;
    for (const wchar_t* id : ids) {
        out += id;
        out += L'\0';
    }
    out += L'\0';
    return out;
}

std::unique_ptr<MoxCfgMgr::IDev> Listed(const std::string& id) {
    return MakeCfgMgrDeviceFactory(MoxCfgMgr::kLocatePhantom, {})(L"", std::wstring(id.begin(), id.end()));
}

TEST(MoxStorageSwDevice, HardwareIdsArePaddedToTheirWidths) {
    const std::string model40(40, 'M');
    const std::wstring wide40(40, L'M');
    const struct {
        std::string model;
        std::string firmware;
        std::wstring ids;
    } cases[] = {
        {model40, "12345678",
         Ids({(L"ZQVSTORAGE\\" + wide40 + L"12345678").c_str(), (L"ZQVSTORAGE\\" + wide40).c_str()})},
        {"A B", "1.0",
         Ids({(L"ZQVSTORAGE\\" + std::wstring(37, L'_') + L"A_B_____1.0").c_str(),
              (L"ZQVSTORAGE\\" + std::wstring(37, L'_') + L"A_B").c_str()})},
        {model40 + "XY", "123456789",
         Ids({(L"ZQVSTORAGE\\" + wide40 + L"XY123456789").c_str(),
              (L"ZQVSTORAGE\\" + wide40 + L"XY").c_str()})},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MoxStorageSwDevice::MakeHardwareIds(c.model, c.firmware), c.ids) << c.model;
}

TEST(MoxStorageSwDevice, ADisksNodeIsNamedByItsTrimmedSerial) {
    MoxStorageSwDevice disk(Identity(" ZA1B2C3D "));
    EXPECT_TRUE(disk.isFromDisk());
    EXPECT_FALSE(disk.isPresent());
    EXPECT_EQ(disk.getInstanceId(), L"SwStorageDevice&ZA1B2C3D&FTW");
    EXPECT_EQ(disk.getParentInstanceId(), L"");
    EXPECT_EQ(disk.getHardwareIds(), MoxStorageSwDevice::MakeHardwareIds("Tamsin TS512S3", "2B7Q"));
    // The NVMe controller's serial comes first.
    EXPECT_EQ(MoxStorageSwDevice(Identity("DISK", "NVME")).getInstanceId(), L"SwStorageDevice&NVME&FTW");

    for (const char* serial : {" \t ", "", static_cast<const char*>(nullptr)}) {
        try {
            MoxStorageSwDevice refused(Identity(serial));
            ADD_FAILURE() << "accepted";
        } catch (const MoxStorageSwDeviceException& e) {
            EXPECT_STREQ(e.what(), "[MoxStorageSwDeviceException] serial number string cannot be empty");
        }
    }
}

TEST(MoxStorageSwDevice, ANodeIsMadeBelowItsDiskAndRemovedAgain) {
    sim::ScopedMachine machine(Machine());
    MoxStorageSwDevice disk(Identity("S5"));
    EXPECT_TRUE(disk.create(kWideDisk, " Virel NV2 ", "5B2Q"));
    auto made = sim::swdevices::Node(Node("S5"));
    ASSERT_TRUE(made);
    EXPECT_TRUE(sim::swdevices::Present(Node("S5")));
    EXPECT_EQ((*made)["parent"], sim::Value(kDisk));
    EXPECT_EQ((*made)["software"]["lifetime"], sim::Value("parent_present"));
    EXPECT_EQ((*made)["properties"]["DeviceDesc"], sim::Value("ZQVD Tamsin TS512S3"));
    const std::string model = std::string(31, '_') + "Virel_NV2";
    EXPECT_EQ((*made)["properties"]["HardwareIds"],
              sim::Value::array({"ZQVSTORAGE\\" + model + "____5B2Q", "ZQVSTORAGE\\" + model}));

    auto listed = Listed(Node("S5"));
    MoxStorageSwDevice node(listed.get());
    EXPECT_FALSE(node.isFromDisk());
    EXPECT_TRUE(node.isPresent());
    EXPECT_EQ(node.getParentInstanceId(), kWideDisk);
    EXPECT_EQ(node.getInstanceId(), L"SwStorageDevice&S5&FTW");
    EXPECT_TRUE(disk.matches(node));
    EXPECT_TRUE(node.matches(disk));
    EXPECT_TRUE(node.remove());
    EXPECT_FALSE(sim::swdevices::Present(Node("S5")));

    // A node that is not present is left alone: nothing is asked of Windows.
    auto gone = Listed(Node("S5"));
    MoxStorageSwDevice absent(gone.get());
    EXPECT_FALSE(absent.isPresent());
    EXPECT_FALSE(absent.remove());
    EXPECT_EQ(machine->calls().Count("SwDeviceCreate"), 2u);
}

TEST(MoxStorageSwDevice, AReportThatComesAfterTheWaitIsHarmless) {
    sim::ScopedMachine machine(Machine());
    sim::ScopedVirtualClock clock;
    machine->faults().Add(R"({"kind": "SwDeviceCreate", "times": 1, "outcome": {"callback": "late"}})");
    machine->faults().Add(R"({"kind": "SwDeviceCreate", "times": 1, "outcome": {"callback": "none"}})");
    const uint64_t start = sim::Clock::NowMs();
    MoxStorageSwDevice disk(Identity("S6"));
    // The creator gives up waiting, sets the lifetime (the report arrives then) and closes the handle.
    EXPECT_TRUE(disk.create(kWideDisk, "M", "F"));
    EXPECT_GE(sim::Clock::NowMs() - start, 1000u);
    EXPECT_TRUE(sim::swdevices::Present(Node("S6")));
    // No report at all: the same, and nothing is touched later.
    EXPECT_TRUE(disk.create(kWideDisk, "M", "F"));
    EXPECT_EQ((*sim::swdevices::Node(Node("S6")))["software"]["lifetime"], sim::Value("parent_present"));
}

TEST(MoxStorageSwDevice, MatchingComparesInstanceIdPrefixes) {
    sim::ScopedMachine machine(Machine());
    auto listed = Listed(Node("S1"));
    MoxStorageSwDevice node(listed.get());
    EXPECT_TRUE(node.matches(MoxStorageSwDevice(Identity("S1"))));
    EXPECT_FALSE(node.matches(MoxStorageSwDevice(Identity("S"))));
    EXPECT_TRUE(MoxStorageSwDevice(Identity("S1")).matches(node));
    EXPECT_FALSE(MoxStorageSwDevice(Identity("S12")).matches(node));
    EXPECT_EQ(node.getHardwareIds(), Ids({L"ZQVSTORAGE\\X1", L"ZQVSTORAGE\\X"}));
}

TEST(MoxStorageSwDevice, NodesThatAreNotStorageNodesAreRefused) {
    sim::ScopedMachine machine(Machine());
    auto other = Listed("SWD\\PRINTENUM\\PRINTQUEUES");
    try {
        MoxStorageSwDevice refused(other.get());
        ADD_FAILURE() << "accepted";
    } catch (const MoxStorageSwDeviceException& e) {
        EXPECT_STREQ(e.what(), "[MoxStorageSwDeviceException] invalid instance path of "
                               "storageSwDev:[SWD\\PRINTENUM\\PRINTQUEUES]");
    }
    try {
        MoxStorageSwDevice refused(static_cast<MoxCfgMgr::IDev*>(nullptr));
        ADD_FAILURE() << "accepted";
    } catch (const MoxStorageSwDeviceException& e) {
        EXPECT_STREQ(e.what(), "[MoxStorageSwDeviceException] SW Device not initialized in SwDeviceNodeDisk");
    }
}

// The action with the separation's factories; disks stand for their identities here.
class EnumerateAction : public ::testing::Test {
protected:
    UviStorageSwDeviceEnumerateAction Action() {
        return UviStorageSwDeviceEnumerateAction(
            this,
            [this](Disk* disk) {
                ++fromDiskCalls;
                return std::make_unique<MoxStorageSwDevice>(*reinterpret_cast<StorageDiskIdentity*>(disk));
            },
            [](MoxCfgMgr::IDev* node) { return std::make_unique<MoxStorageSwDevice>(node); },
            [] {
                return std::make_unique<MoxCfgMgr::DevNodePathsGetter>(
                    MoxCfgMgr::DevNodePathsGetter::kByEnumerator, 2, GUID{}, L"SWD");
            });
    }
    std::shared_ptr<Disk> DiskOf(StorageDiskIdentity& identity) {
        return std::shared_ptr<Disk>(reinterpret_cast<Disk*>(&identity), [](Disk*) {});
    }

    int fromDiskCalls = 0;
};

TEST_F(EnumerateAction, OnlyStorageNodesOfTheEnumeratorAreListed) {
    sim::ScopedMachine machine(Machine());
    std::vector<std::wstring> ids;
    for (const auto& node : Action().enumerate())
        ids.push_back(node->getInstanceId());
    EXPECT_EQ(ids, (std::vector<std::wstring>{L"SWD\\SwStorageEnumerator\\SwStorageDevice&S1&FTW",
                                              L"SWD\\SwStorageEnumerator\\SwStorageDevice&S2&FTW"}));
}

TEST_F(EnumerateAction, TheNodesOfTheDisksAreRemoved) {
    sim::ScopedMachine machine(Machine());
    StorageDiskIdentity first = Identity("S1");
    StorageDiskIdentity second = Identity("S2");
    StorageDiskIdentity third = Identity("S9");
    const CConsolidatedError error = Action().removeForDisks({DiskOf(first), DiskOf(second), DiskOf(third)});
    EXPECT_TRUE(error.IsSuccessful());
    EXPECT_EQ(error.GetErrorCode(), 0x20000000u);
    EXPECT_FALSE(sim::swdevices::Present(Node("S1")));
    // S2's node was not present: it is not made again.
    EXPECT_EQ(machine->calls().Count("SwDeviceCreate"), 1u);
    EXPECT_EQ(fromDiskCalls, 6);
}

TEST_F(EnumerateAction, WithoutStorageNodesNoDiskIsLookedAt) {
    sim::ScopedMachine machine(sim::MachineBuilder("none"));
    StorageDiskIdentity refused = Identity(" ");
    EXPECT_TRUE(Action().removeForDisks({DiskOf(refused)}).IsSuccessful());
    EXPECT_EQ(fromDiskCalls, 0);
}

TEST_F(EnumerateAction, AFailureOnTheWayIsAGeneralFault) {
    sim::ScopedMachine machine(Machine());
    StorageDiskIdentity good = Identity("S1");
    StorageDiskIdentity refused = Identity(" ");
    const CConsolidatedError error = Action().removeForDisks({DiskOf(good), DiskOf(refused)});
    EXPECT_EQ(error.GetErrorCode(), 0xA0000002u);
    EXPECT_STREQ(error.GetErrorMessage(),
                 "Exception while removing Storage SW Device. Msg: "
                 "[MoxStorageSwDeviceException] serial number string cannot be empty");
    EXPECT_STREQ(error.GetDebugInformation(),
                 "class UviStorageSwDeviceEnumerateAction UviStorageSwDeviceEnumerateAction::removeForDisks");

    // A configuration manager failure the same way.
    machine->faults().Add(R"({"kind": "CM_Get_Device_ID_List_Size", "times": 1, "outcome": {"cr": 31}})");
    EXPECT_EQ(Action().removeForDisks({DiskOf(good)}).GetErrorCode(), 0xA0000002u);
}

TEST_F(EnumerateAction, EveryFactoryIsNeeded) {
    auto fromDisk = [](Disk*) { return std::unique_ptr<IMoxStorageSwDevice>(); };
    auto fromNode = [](MoxCfgMgr::IDev*) { return std::unique_ptr<IMoxStorageSwDevice>(); };
    auto list = [] { return std::unique_ptr<MoxCfgMgr::IDevPathsGetter>(); };
    const struct {
        StorageSwDeviceFromDiskFactory fromDisk;
        StorageSwDeviceFromNodeFactory fromNode;
        StorageSwDeviceListFactory list;
        const char* text;
    } cases[] = {
        {nullptr, nullptr, nullptr, "StorageSwDevice from Disk factory not provided"},
        {fromDisk, nullptr, nullptr, "StorageSwDevice from CfgMgrDev factory not provided"},
        {fromDisk, fromNode, nullptr, "CfgMgrDev enumerator(getter) factory not provided"},
    };
    for (const auto& c : cases) {
        try {
            UviStorageSwDeviceEnumerateAction action(nullptr, c.fromDisk, c.fromNode, c.list);
            ADD_FAILURE() << c.text;
        } catch (const UviStorageSwDeviceEnumerateException& e) {
            EXPECT_EQ(std::string(e.what()), std::string("[UviStorageSwDeviceEnumerateException] ") + c.text);
        }
    }
    EXPECT_NO_THROW(UviStorageSwDeviceEnumerateAction(nullptr, fromDisk, fromNode, list));
}

} // namespace
