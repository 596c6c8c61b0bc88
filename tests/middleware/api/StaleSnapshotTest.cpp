// Changes made from a session that another process's change has made stale: each operation that
// addresses the driver's objects by index refuses once the index names another object, and leaves
// the driver's configuration exactly as the other process left it.
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "middleware/api/ArrayOperations.h"
#include "middleware/api/CacheOperations.h"
#include "middleware/api/DiskOperations.h"
#include "middleware/api/UviApi.h"
#include "middleware/api/UviVolumeCreation.h"
#include "middleware/api/VolumeOperations.h"
#include "middleware/ioctl/DeviceLocator.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Disk.h"
#include "middleware/model/RaidArray.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/Session.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"
#include "tests/middleware/api/RaidDiskEntries.h"
#include "tests/middleware/model/ModelTestSupport.h"
#include "tests/support/ChildProcess.h"

namespace {

// The default PC with four more disks (PT-4 to PT-7) holding two mirrors: Alpha on PT-4 and PT-5
// (array 1), Beta on PT-6 and PT-7 (array 2). Both arrays cache writes; the driver acts at once.
sim::MachineBuilder TwoMirrors() {
    sim::MachineBuilder b = sim::MachineBuilder::Default();
    b.Set("/adapters/0/raid/action_ms", "0");
    for (int target = 4; target <= 7; ++target) {
        b.Append("/disks", apitest::DiskEntry("PT-" + std::to_string(target), target, "1000215216"));
        b.Append("/adapters/0/raid/disks", apitest::RaidRecord(target));
        b.Append("/adapters/0/ports", apitest::RaidRecord(target));
    }
    b.Set("/adapters/0/raid/controller/disks_total", "16");
    b.Append("/adapters/0/raid/arrays", R"({"disks": [4, 5], "number": 1, "write_cache": 1})");
    b.Append("/adapters/0/raid/arrays", R"({"disks": [6, 7], "number": 2, "write_cache": 1})");
    b.Append("/adapters/0/raid/volumes",
             R"({"name": "Alpha", "level": 1, "size_mb": 100000, "strip_kb": 64, "array": 1})");
    b.Append("/adapters/0/raid/volumes",
             R"({"name": "Beta", "level": 1, "size_mb": 100000, "strip_kb": 64, "array": 2})");
    return b;
}

class StaleSnapshot : public ::testing::Test {
protected:
    StaleSnapshot() : machine_(TwoMirrors()) { DeviceLocator::ResetForTests(); }
    ~StaleSnapshot() override { DeviceLocator::ResetForTests(); }
    void SetUp() override {
        ASSERT_EQ(UviInitialize().status, UVI_STATUS_SUCCESS);
        modeltest::SessionOnPortZero(session_, controller_);
    }
    void TearDown() override { static_cast<void>(UviFinalize()); }

    std::shared_ptr<RaidVolume> Volume(const std::string& name) const {
        for (const auto& v : controller_->getVolumes())
            if (v->getName() == name)
                return v;
        ADD_FAILURE() << "no volume " << name;
        return nullptr;
    }
    uint32_t Disk(const std::string& serial) const {
        for (const auto& d : controller_->getDisks()) {
            char own[17] = {};
            if (d->getRaidDiskConfig() && d->getRaidDiskConfig()->copySerialNumber(own, sizeof own) &&
                serial == own)
                return d->getHandle();
        }
        ADD_FAILURE() << "no disk " << serial;
        return 0;
    }
    // Another process deletes Alpha: its array goes, Beta's array and Beta take index 1.
    static void DeleteAlphaElsewhere() {
        const moxtest::ChildResult r = moxtest::RunChild({"uvi-volume-delete", "Alpha"});
        ASSERT_EQ(r.exitCode, 0) << r.output;
    }
    // The controller's RAID configuration as the driver holds it.
    sim::Value Raid() { return machine_->At("/adapters/0/raid"); }

    // Runs the change on the stale session: refused as a changed configuration, and the driver's
    // configuration is what the other process left.
    void ExpectRefusedAndNothingChanged(const std::function<CConsolidatedError()>& change) {
        const sim::Value before = Raid();
        const CConsolidatedError result = change();
        EXPECT_EQ(result.GetErrorCode(), 0xA006001Bu) << result.GetDebugInformation();
        const char* message = result.GetErrorMessage();
        EXPECT_NE(std::string(message ? message : "").find("has changed since it was read"),
                  std::string::npos)
            << (message ? message : "");
        EXPECT_EQ(Raid(), before);
    }

    sim::ScopedMachine machine_;
    std::unique_ptr<Session> session_;
    std::shared_ptr<Controller> controller_;
};

TEST_F(StaleSnapshot, CreationOnADeletedArrayLeavesTheArrayThatTookItsIndex) {
    const uint32_t alphaArray = Volume("Alpha")->getArray()->getHandle();
    DeleteAlphaElsewhere();
    _UVI_VolumeCreateParams params{};
    params.arrayHandle = alphaArray;
    std::strcpy(params.name, "Gamma");
    params.stripSize = 32;
    params.raidLevel = 2;
    ExpectRefusedAndNothingChanged([&] { return createVolumeOnArray(*session_, &params, 0); });
}

TEST_F(StaleSnapshot, ArrayChangesOfADeletedArrayLeaveTheArrayThatTookItsIndex) {
    const uint32_t alpha = Volume("Alpha")->getHandle();
    const uint32_t alphaArray = Volume("Alpha")->getArray()->getHandle();
    const uint32_t added = Disk("ZA1B2C3D");
    DeleteAlphaElsewhere();
    {
        SCOPED_TRACE("write cache");
        ExpectRefusedAndNothingChanged(
            [&] { return internalUviArraySetWriteCacheState(*session_, alphaArray, 0); });
    }
    // A migration to RAID 5 with a disk added: refused before the disk is claimed.
    _UVI_RaidLevelModifyParams params{};
    params.stripSize = 32;
    params.raidLevel = 8;
    params.diskHandles = &added;
    params.diskCount = 1;
    SCOPED_TRACE("migration");
    ExpectRefusedAndNothingChanged([&] { return internalUviRaidLevelModify(*session_, alpha, params); });
}

TEST_F(StaleSnapshot, VolumeChangesOfADeletedVolumeLeaveTheVolumeThatTookItsIndex) {
    const uint32_t alpha = Volume("Alpha")->getHandle();
    DeleteAlphaElsewhere();
    const std::vector<std::pair<const char*, std::function<CConsolidatedError()>>> changes = {
        {"rename", [&] { return internalUviVolumeRename(*session_, alpha, "Renamed"); }},
        {"cache policy", [&] { return internalUviVolumeSetCachePolicy(*session_, alpha, 2); }},
        {"verify", [&] { return internalUviVolumeVerify(*session_, alpha, true); }},
        {"delete", [&] { return internalUviVolumeDelete(*session_, alpha); }},
    };
    for (const auto& [name, change] : changes) {
        SCOPED_TRACE(name);
        ExpectRefusedAndNothingChanged(change);
    }
}

TEST_F(StaleSnapshot, DiskChangesAfterADiskLeftTheTableLeaveTheDiskThatTookItsIndex) {
    const uint32_t pt6 = Disk("PT-6");
    const uint32_t pt7 = Disk("PT-7");
    // The pass-through disk at index 0 is pulled out: every disk after it moves up one index.
    const moxtest::ChildResult unplugged = moxtest::RunChild({"sim-raid-disk-unplug", "0", "0"});
    ASSERT_EQ(unplugged.exitCode, 0) << unplugged.output;
    const std::vector<std::pair<const char*, std::function<CConsolidatedError()>>> changes = {
        {"offline", [&] { return internalUviDiskMarkOffline(*session_, pt6); }},
        {"failed", [&] { return internalUviDiskMarkAsFailed(*session_, pt7); }},
        {"cache mode", [&] { return SetDiskCacheModeAction(*session_, controller_->getHandle(), pt6, 8); }},
    };
    for (const auto& [name, change] : changes) {
        SCOPED_TRACE(name);
        ExpectRefusedAndNothingChanged(change);
    }
}

} // namespace
