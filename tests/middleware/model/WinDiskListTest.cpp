#include <algorithm>
#include <gtest/gtest.h>
#include <stdexcept>

#include "middleware/core/CfgMgrException.h"
#include "middleware/model/WinDiskList.h"
#include "sim/Machine.h"
#include "tests/middleware/model/WinDiskTestMachine.h"

namespace {

using windisktest::DrivePath;

class PathDev : public MoxCfgMgr::IDev {
public:
    explicit PathDev(std::wstring path) : path_(std::move(path)) {}
    std::wstring getInterfacePath() const override {
        if (path_.empty())
            throw MoxCfgMgr::CfgMgrException("device vanished");
        return path_;
    }
    std::wstring getInstanceId() const override { return L""; }
    DEVINST getDevNode() const override { return 0; }
    IDev& updateProperty(int) override { return *this; }
    MoxCfgMgr::DevPropertyValue getProperty(int) const override { return {}; }

private:
    std::wstring path_;
};

// Lists the given disk paths; a negative number is a device whose path cannot be read, -2 makes the
// enumeration itself throw.
class PathEnumerator : public MoxCfgMgr::IDevEnumerator {
public:
    explicit PathEnumerator(std::vector<int> numbers) : numbers_(std::move(numbers)) {}
    std::vector<std::unique_ptr<MoxCfgMgr::IDev>> enumerate() override {
        ++calls;
        std::vector<std::unique_ptr<MoxCfgMgr::IDev>> devices;
        for (int n : numbers_) {
            if (n == -2)
                throw MoxCfgMgr::CfgMgrException("enumeration failed");
            devices.push_back(std::make_unique<PathDev>(n < 0 ? L"" : DrivePath(n)));
        }
        return devices;
    }
    int calls = 0;

private:
    std::vector<int> numbers_;
};

class WinDisks : public ::testing::Test {
protected:
    WinDiskList List(std::vector<int> numbers) {
        enumerator_ = std::make_shared<PathEnumerator>(std::move(numbers));
        WinDiskList list(enumerator_);
        EXPECT_TRUE(list.Populate().IsSuccessful());
        return list;
    }
    static std::vector<std::wstring> Paths(const WinDiskList& list) {
        std::vector<std::wstring> paths;
        for (const WinDiskInterface& disk : list)
            paths.push_back(disk.getDevicePath());
        return paths;
    }

    sim::ScopedMachine machine_{windisktest::Machine()};
    std::shared_ptr<PathEnumerator> enumerator_;
};

TEST_F(WinDisks, HoldsTheDisksThatCouldBeReadInEnumerationOrder) {
    // Disk 9 does not exist: it is left out without a trace in the result.
    WinDiskList list = List({1, 9, 0});
    EXPECT_EQ(Paths(list), (std::vector<std::wstring>{DrivePath(1), DrivePath(0)}));
}

TEST_F(WinDisks, FillsOnlyOnce) {
    WinDiskList list = List({0});
    EXPECT_TRUE(list.Populate().IsSuccessful());
    EXPECT_EQ(enumerator_->calls, 1);
    EXPECT_EQ(Paths(list).size(), 1u);
}

TEST_F(WinDisks, EnumerationFailureKeepsWhatWasRead) {
    WinDiskList list = List({1, -1, 0});
    EXPECT_EQ(Paths(list), (std::vector<std::wstring>{DrivePath(1)}));
    EXPECT_TRUE(Paths(List({1, -2})).empty());
    WinDiskList none = List({});
    EXPECT_EQ(none.find("ZA1B2C3D", PackScsiAddress(0, 0, 1, 0)), nullptr);
}

TEST_F(WinDisks, UsbDisksAreLeftOut) {
    sim::ScopedMachine usb(windisktest::Machine().Set("/disks/1/bus_type", "7"));
    WinDiskList list = List({0, 1});
    EXPECT_EQ(Paths(list), (std::vector<std::wstring>{DrivePath(0)}));
}

// Disk 0: serial "ZA1B2C3D" at 0:0:1:0; disk 1: "TS-77" at 0:0:2:0; disk 3: no serial at 0:1:0:0.
TEST_F(WinDisks, FindTriesEachEntryBySerialNumberThenByAddress) {
    WinDiskList list = List({0, 1, 3});
    const PackedScsiAddress first = PackScsiAddress(0, 0, 1, 0);
    const PackedScsiAddress second = PackScsiAddress(0, 0, 2, 0);
    const PackedScsiAddress third = PackScsiAddress(0, 1, 0, 0);
    struct Case {
        const char* name;
        std::string serial;
        PackedScsiAddress address;
        const wchar_t* expected; // null: no match
    };
    const std::wstring d0 = DrivePath(0), d1 = DrivePath(1), d3 = DrivePath(3);
    const Case cases[] = {
        {"serial of the second at the first's address", "TS-77", first, d0.c_str()},
        {"serial of the second elsewhere", "TS-77", 0x7F000000, d1.c_str()},
        {"empty serial by address only", "", second, d1.c_str()},
        {"serial that none has, by address", "NOPE", third, d3.c_str()},
        {"serial matched exactly, not by prefix", "TS-7", 0x7F000000, nullptr},
        {"serial case matters", "za1b2c3d", 0x7F000000, nullptr},
        {"nothing", "", 0x7F000000, nullptr},
    };
    for (const Case& c : cases) {
        std::unique_ptr<WinDiskInterface> found = list.find(c.serial, c.address);
        if (!c.expected) {
            EXPECT_EQ(found, nullptr) << c.name;
            continue;
        }
        ASSERT_NE(found, nullptr) << c.name;
        EXPECT_EQ(found->getDevicePath(), c.expected) << c.name;
    }
    // A copy: the list keeps its own.
    std::unique_ptr<WinDiskInterface> copy = list.find("ZA1B2C3D", first);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->getPartitionInfos().size(), 3u);
}

TEST(WinDiskEnumerator, DefaultMachineListsThePresentWindowsDisks) {
    sim::ScopedMachine machine(sim::MachineBuilder::Default());
    WinDiskList list(MakeWinDiskEnumerator());
    ASSERT_TRUE(list.Populate().IsSuccessful());
    std::vector<uint32_t> numbers;
    for (const WinDiskInterface& disk : list)
        numbers.push_back(disk.getDeviceNumber());
    std::sort(numbers.begin(), numbers.end());
    EXPECT_EQ(numbers, (std::vector<uint32_t>{0, 1, 2, 3}));
    std::unique_ptr<WinDiskInterface> system = list.find("Volume0", kNoScsiAddress);
    ASSERT_NE(system, nullptr);
    EXPECT_TRUE(system->hasEfiSystemPartition());
    EXPECT_TRUE(IsSystemDriveAtScsiAddress(system->getScsiAddress()));
}

} // namespace
