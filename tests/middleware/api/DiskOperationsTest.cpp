// The exported disk operations.
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "middleware/api/UviApi.h"
#include "middleware/api/UviDiskOperations.h"
#include "middleware/api/UviOperations.h"
#include "middleware/ioctl/DeviceLocator.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Disk.h"
#include "middleware/model/RaidDiskConfig.h"
#include "middleware/model/Session.h"
#include "middleware/model/WinDiskInterface.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"
#include "tests/middleware/api/QueryTestSupport.h"
#include "tests/middleware/api/RaidDiskEntries.h"
#include "tests/middleware/model/ModelTestSupport.h"

namespace {

TEST(DiskOperations, StoragePoolAndHybridSubClassAreNotImplementedEvenBeforeTheLibraryStarts) {
    for (_UVI_Error (*call)() : {UviDiskAssignStoragePool, UviSetOrvexHybridDiskSubClassCode}) {
        const _UVI_Error error = call();
        EXPECT_EQ(error.code, 0xA001000Au);
        EXPECT_EQ(error.status, UVI_STATUS_NOT_IMPLEMENTED);
    }
}

class WindowsDriveSettings : public ::testing::Test {
protected:
    WindowsDriveSettings() : machine_(sim::MachineBuilder::Default()) { DeviceLocator::ResetForTests(); }
    ~WindowsDriveSettings() override { DeviceLocator::ResetForTests(); }
    void SetUp() override { ASSERT_EQ(UviInitialize().status, UVI_STATUS_SUCCESS); }
    void TearDown() override { static_cast<void>(UviFinalize()); }

    // What a fresh snapshot reads of Windows disk 1's write cache.
    static bool WriteCacheEnabled() {
        Session* built = nullptr;
        static_cast<void>(Session::Create(built, nullptr));
        std::unique_ptr<Session> session(built);
        EXPECT_TRUE(session);
        DISK_CACHE_INFORMATION information{};
        const auto& drive = session->findWinDiskInterfaceByDeviceNumber(1);
        EXPECT_TRUE(drive && drive->getCacheInformation(information));
        return information.WriteCacheEnabled;
    }

    sim::ScopedMachine machine_;
};

TEST_F(WindowsDriveSettings, OnlyTheSettingOneEnablesWriteCaching) {
    for (int setting : {2, 1, 0, 1}) {
        SCOPED_TRACE(setting);
        EXPECT_EQ(UviDiskSetWriteCachingPolicySetting(1, setting).status, UVI_STATUS_SUCCESS);
        EXPECT_EQ(WriteCacheEnabled(), setting == 1);
    }
}

TEST_F(WindowsDriveSettings, UnknownDriveNumberNamesIt) {
    struct Case {
        _UVI_Error (*call)(int, int);
        const char* message;
    };
    const Case cases[] = {
        {UviDiskSetWriteCachingPolicySetting, "Cannot set write caching policy. Invalid drive number 99:"},
        {UviDiskSetCacheBufferFlushSetting, "Cannot set cache buffer flush. Invalid drive number 99:"}};
    for (const Case& c : cases) {
        const _UVI_Error error = c.call(99, 1);
        EXPECT_EQ(error.code, 0xA0010003u);
        EXPECT_STREQ(GetLoggedError(error).GetErrorMessage(), c.message);
    }
}

// The driver remembers a missing disk (GONE-4, record 4) at target 4, where disk PT-4 (record 5) now
// sits; the driver acts at once.
class RememberedDiskWhereAnotherSits : public ::testing::Test {
protected:
    RememberedDiskWhereAnotherSits() : machine_(Machine()) { DeviceLocator::ResetForTests(); }
    ~RememberedDiskWhereAnotherSits() override { DeviceLocator::ResetForTests(); }
    void SetUp() override { ASSERT_EQ(UviInitialize().status, UVI_STATUS_SUCCESS); }
    void TearDown() override { static_cast<void>(UviFinalize()); }

    static sim::MachineBuilder Machine() {
        sim::MachineBuilder b = sim::MachineBuilder::Default();
        b.Set("/adapters/0/raid/action_ms", "0");
        b.Append("/disks", apitest::DiskEntry("PT-4", 4, "1000215216"));
        b.Append(
            "/adapters/0/raid/disks",
            R"({"path": 0, "target": 4, "lun": 0, "state_flags": 33554432, "remembered_serial": "GONE-4"})");
        b.Append("/adapters/0/raid/disks", apitest::RaidRecord(4));
        b.Append("/adapters/0/ports", apitest::RaidRecord(4));
        return b;
    }
    // The handle a fresh session gives the disk whose driver record has this serial number.
    static uint32_t Handle(const std::string& serial) {
        std::unique_ptr<Session> session;
        std::shared_ptr<Controller> controller;
        modeltest::SessionOnPortZero(session, controller);
        uint32_t found = 0;
        for (const auto& d : controller->getDisks()) {
            char own[17] = {};
            if (d->getRaidDiskConfig() && d->getRaidDiskConfig()->copySerialNumber(own, sizeof own) &&
                serial == own) {
                EXPECT_EQ(found, 0u) << "two disks of serial " << serial;
                found = d->getHandle();
            }
        }
        EXPECT_NE(found, 0u) << "no disk " << serial;
        return found;
    }
    bool Claimed(int record) {
        const sim::Value claimed =
            machine_->At("/adapters/0/raid/disks/" + std::to_string(record) + "/claimed");
        return !claimed.is_null() && claimed.get<bool>();
    }

    sim::ScopedMachine machine_;
};

TEST_F(RememberedDiskWhereAnotherSits, EachHasAHandleOfItsOwnAndAnActionReachesOnlyTheDiskNamed) {
    const uint32_t present = Handle("PT-4");
    const uint32_t missing = Handle("GONE-4");
    ASSERT_NE(present, missing);

    const _UVI_Error claim = UviDiskClaim(present);
    EXPECT_EQ(claim.status, UVI_STATUS_SUCCESS) << querytest::Message(claim) << querytest::Debug(claim);
    EXPECT_TRUE(Claimed(5));
    EXPECT_FALSE(Claimed(4));
    EXPECT_EQ(Handle("PT-4"), present);
    EXPECT_EQ(Handle("GONE-4"), missing);
}

} // namespace
