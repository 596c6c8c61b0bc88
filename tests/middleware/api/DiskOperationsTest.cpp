// The exported disk operations.
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "middleware/api/UviApi.h"
#include "middleware/api/UviOperations.h"
#include "middleware/ioctl/DeviceLocator.h"
#include "middleware/model/Session.h"
#include "middleware/model/WinDiskInterface.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"

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

} // namespace
