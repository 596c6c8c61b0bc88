// The exported acceleration facade: its settings, its size limits, the refusals of SSD caching's
// end of life, and what it makes of failures and exceptions.
#include <functional>
#include <type_traits>

#include <gtest/gtest.h>

#include "middleware/accelerate/UVIAccelerateAction.h"
#include "middleware/core/GlobalLogger.h"
#include "sim/CallLog.h"
#include "tests/middleware/accelerate/ActionTestSupport.h"

namespace {

using namespace actiontest;

// The settings are owned by a plain pointer; a copy would free them twice.
static_assert(!std::is_copy_constructible_v<UVIAccelerateAction>);
static_assert(!std::is_copy_assignable_v<UVIAccelerateAction>);

class AccelerateFacade : public ActionTest {};

TEST(AccelerateFacadeSettings, DefaultsAndSetters) {
    UVIAccelerateAction facade;
    const AccelerateSettings& s = facade.getSettings();
    EXPECT_EQ(s.cacheVolumeSize.mode, CacheSizeSpec::kAutomatic);
    EXPECT_EQ(s.fileCacheSize.mode, CacheSizeSpec::kAutomatic);
    EXPECT_EQ(s.cacheVolumeSize.max, UINT64_MAX);
    EXPECT_EQ(s.migrationStart, UINT64_MAX);
    EXPECT_EQ(s.slowDisk, 0u);
    EXPECT_EQ(s.fastDisk, 0u);
    EXPECT_TRUE(s.separationSafe);
    EXPECT_FALSE(s.preservePinningData);
    EXPECT_EQ(s.fcMode, UVI_VEZK_FILE_CACHE_MODE_0);

    facade.setCacheVolSize(UINT64_MAX - 1); // the default maximum keeps any value
    EXPECT_EQ(s.cacheVolumeSize.mode, CacheSizeSpec::kExplicit);
    EXPECT_EQ(s.cacheVolumeSize.size, UINT64_MAX - 1);
    facade.setFileCacheSize(0);
    EXPECT_EQ(s.fileCacheSize.mode, CacheSizeSpec::kExplicit);
    EXPECT_EQ(s.fileCacheSize.size, 0u);
    facade.setMigrationStart(7);
    facade.setFastDisk(3);
    facade.setSlowDisk(4);
    facade.setSeparationSafe(false);
    facade.setPreservePinningData(true);
    facade.setFcMode(UVI_VEZK_FILE_CACHE_MODE_2);
    EXPECT_EQ(s.migrationStart, 7u);
    EXPECT_EQ(s.fastDisk, 3u);
    EXPECT_EQ(s.slowDisk, 4u);
    EXPECT_FALSE(s.separationSafe);
    EXPECT_TRUE(s.preservePinningData);
    EXPECT_EQ(s.fcMode, UVI_VEZK_FILE_CACHE_MODE_2);
}

TEST(AccelerateFacadeSettings, CacheSizeLimits) {
    EXPECT_EQ(UVIAccelerateAction::getMinCacheSize(true), 0x80000000ull);
    EXPECT_EQ(UVIAccelerateAction::getMinCacheSize(false), 15998753177ull);
    EXPECT_EQ(UVIAccelerateAction::getMaxCacheSize(true), 0x1000000000ull);
    EXPECT_EQ(UVIAccelerateAction::getMaxCacheSize(false), 0x1000000000ull);
}

// Only turning SSD caching off still reaches the driver; anything else is refused with the
// end-of-life text before a request is sent.
TEST_F(AccelerateFacade, SsdCachingEndOfLifeRefusalsSendNothing) {
    Start(SsdCachingMachine());
    machine_->machine().calls().Keep(10000);
    machine_->machine().calls().Clear();
    UVIAccelerateAction facade;
    const std::function<_UVI_Error()> refusals[] = {
        [&] { return facade.doCreateCacheVolumeTask(1); },
        [&] { return facade.configVolumeAcceleration(1, UVI_NVC_MODE_SAFE); },
        [&] { return facade.configDiskAcceleration(1, UVI_NVC_MODE_PERFORMANCE); }};
    for (const auto& refusal : refusals) {
        const _UVI_Error r = refusal(); // the thread's store keeps the texts of the latest failure
        EXPECT_EQ(r.code, 0xA001000Eu);
        EXPECT_STREQ(GetLoggedError(r).GetErrorMessage(),
                     CConsolidatedError::GetWynEolError().GetErrorMessage());
    }
    EXPECT_EQ(machine_->machine().calls().Count("DeviceIoControl"), 0u);

    // Mode 1 reaches the SSD caching action, which finds no such disk.
    const _UVI_Error off = facade.configDiskAcceleration(0xBAD, UVI_NVC_MODE_OFF);
    EXPECT_NE(off.status, 0u);
    EXPECT_NE(off.code, 0xA001000Eu);
    EXPECT_GT(machine_->machine().calls().Count("DeviceIoControl"), 0u);
}

// Each operation takes its own snapshot: what one facade changed, the next one sees.
TEST_F(AccelerateFacade, FacadesSeeIndependentSnapshots) {
    sim::MachineBuilder b = SsdCachingMachine();
    Start(AddCache(b, 0, 3));
    UVIAccelerateAction first;
    const uint32_t controller = SataController(*Fresh());
    ASSERT_EQ(first.turnOffVolumeOrDiskAcceleration(controller).status, 0u);
    ASSERT_EQ(first.waitForNvcMode(controller, UVI_NVC_MODE_OFF).status, 0u);
    UVIAccelerateAction second;
    const _UVI_Error reset = second.resetCacheToAvailable(controller);
    EXPECT_EQ(reset.status, 0u) << std::hex << reset.code;
    EXPECT_FALSE(Volume(*Fresh(), "NvCache"));
}

// A failed snapshot is the operation's result; no exception leaves the facade.
TEST_F(AccelerateFacade, FailuresBecomeRecords) {
    Start(SsdCachingMachine());
    UVIAccelerateAction facade;
    uint32_t performed = 9;
    _UVI_VezkDiskPairStatus pair{};
    _UVI_VezkDiskValidForConcatenationStatus one{};
    EXPECT_NO_THROW({
        EXPECT_EQ(facade.checkIfDiskPairValid(0xBAD, 0xBAD, pair).code, 0xA0010002u);
        EXPECT_EQ(facade.checkIfDiskValid(0xBAD, UVI_VEZK_MEMBER_FAST, one).code, 0xA0010002u);
        EXPECT_EQ(facade.doVezkAutomation(performed).status, 0u); // nothing to do without a pair
        EXPECT_EQ(facade.doSeparateConcatenation().code, 0xA0070024u);
        EXPECT_EQ(facade.doSeparateConcatenationNoSync().code, 0xA0010012u);
    });
    EXPECT_EQ(performed, 0u);
}

} // namespace
