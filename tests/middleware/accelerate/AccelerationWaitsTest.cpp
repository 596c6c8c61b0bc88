// The waits for the driver's NV cache mode and block migration, on the simulator's virtual clock,
// and the reset of the volume port's performance counters.
#include <string>

#include <gtest/gtest.h>

#include "middleware/accelerate/UVIAccelerateVezkAction.h"
#include "middleware/accelerate/UVIAccelerateWynAction.h"
#include "tests/middleware/accelerate/ActionTestSupport.h"

namespace {

using namespace actiontest;

class AccelerationWaits : public ActionTest {
protected:
    // From now on the volume port's migration status request fails as the outcome says, `times`
    // times.
    void FailMigrationReads(const std::string& outcome, int times) {
        machine_->machine().faults().Add(
            R"({"kind": "DeviceIoControl", "match": {"control_code": "0x80000D02"}, "times": )" +
            std::to_string(times) + R"(, "outcome": )" + outcome + "}");
    }
};

TEST_F(AccelerationWaits, NvcModeIsWaitedForThroughTheDriversSteps) {
    sim::MachineBuilder b = SsdCachingMachine();
    Start(AddCache(b, -1, 0, 1, R"(, "transition_ms": 5000)"));
    UVIAccelerateWynAction action;
    const uint32_t controller = SataController(action.getSession());

    // An intermediate mode is refused before any round.
    uint64_t before = sim::Clock::NowMs();
    const CConsolidatedError intermediate = action.waitForNvcMode(controller, UVI_NVC_MODE_32);
    EXPECT_EQ(intermediate.GetErrorCode(), 0xA0010002u);
    EXPECT_STREQ(intermediate.GetErrorMessage(), "Cannot wait for an intermediate NVC mode");
    EXPECT_EQ(sim::Clock::NowMs(), before);

    // A mode already reached still takes one round.
    EXPECT_TRUE(action.waitForNvcMode(controller, UVI_NVC_MODE_OFF).IsSuccessful());
    EXPECT_EQ(sim::Clock::NowMs(), before + 2000);

    ASSERT_TRUE(action
                    .configVolumeAcceleration(Volume(action.getSession(), "Volume0")->getHandle(),
                                              UVI_NVC_MODE_PERFORMANCE)
                    .IsSuccessful());
    EXPECT_EQ(Nvc().mode, UVI_NVC_MODE_4);
    before = sim::Clock::NowMs();
    const CConsolidatedError reached = action.waitForNvcMode(controller, UVI_NVC_MODE_PERFORMANCE);
    EXPECT_TRUE(reached.IsSuccessful()) << reached.GetErrorMessage();
    EXPECT_GE(sim::Clock::NowMs(), before + 4000); // rounds passed the step

    ASSERT_TRUE(action.turnOffAcceleration(controller).IsSuccessful());
    EXPECT_EQ(Nvc().mode, UVI_NVC_MODE_64);
    EXPECT_TRUE(action.waitForNvcMode(controller, UVI_NVC_MODE_OFF).IsSuccessful());
    EXPECT_EQ(Nvc().acceleratedVolumeHandle, 0u);
}

// A driver that reaches the mode without the acceleration agreeing: the wait says so.
TEST_F(AccelerationWaits, NvcModeDisagreeingWithTheAccelerationIsRefused) {
    struct Case {
        const char* name;
        int accelerated;
        int mode;
        _UVI_NvcMode target;
        const char* message;
    };
    const Case cases[] = {
        {"off, still accelerated", 0, 0, UVI_NVC_MODE_OFF,
         "Cache mode is set to off but accelerated disk/volume still exist!"},
        {"on, nothing accelerated", -1, 3, UVI_NVC_MODE_SAFE,
         "Cache mode is set to on but accelerated disk/volume is not set!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::MachineBuilder b = SsdCachingMachine();
        Start(AddCache(b, c.accelerated, c.mode));
        UVIAccelerateWynAction action;
        const CConsolidatedError result =
            action.waitForNvcMode(SataController(action.getSession()), c.target);
        EXPECT_EQ(result.GetErrorCode(), 0xA0010012u);
        EXPECT_STREQ(result.GetErrorMessage(), c.message);
    }

    // A driver held at the end of a switch-off keeps the volume accelerated.
    sim::MachineBuilder b = SsdCachingMachine();
    Start(AddCache(b, 0, 3, 1, R"(, "transition_ms": 4000, "hold": 0)"));
    UVIAccelerateWynAction action;
    const uint32_t controller = SataController(action.getSession());
    ASSERT_TRUE(action.turnOffAcceleration(controller).IsSuccessful());
    EXPECT_STREQ(action.waitForNvcMode(controller, UVI_NVC_MODE_OFF).GetErrorMessage(),
                 "Cache mode is set to off but accelerated disk/volume still exist!");
}

TEST_F(AccelerationWaits, BlockMigrationCountsFailedReadsInARow) {
    struct Case {
        const char* name;
        const char* outcome;
        int times;
        uint32_t code;
        uint64_t slept;
    };
    const Case cases[] = {
        {"six failed reads", R"({"win32_error": 31})", 6, 0xA0010009u, 12000},
        {"five failed, then done", R"({"win32_error": 31})", 5, 0u, 10000},
        // The request itself sends once more on a busy answer, after a millisecond.
        {"busy at once", R"({"win32_error": 170})", 2, 0xA00000AAu, 1},
        {"99, then done", R"({"run": true, "patch": [{"offset": 28, "hex": "63000000"}]})", 1, 0u, 2000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::MachineBuilder b = SsdCachingMachine();
        b.Set("/adapters/0/volume_port/migration", R"({"progress": 100})");
        Start(b);
        UVIAccelerateVezkAction action;
        FailMigrationReads(c.outcome, c.times);
        const uint64_t before = sim::Clock::NowMs();
        const CConsolidatedError result =
            action.waitForBlockMigration(SataController(action.getSession()), 10000, 2000);
        EXPECT_EQ(static_cast<uint32_t>(result.GetErrorCode()), c.code == 0 ? 0x20000000u : c.code)
            << result.GetErrorMessage();
        if (c.code == 0xA0010009u) {
            EXPECT_STREQ(result.GetErrorMessage(), "Timed out waiting for progress to change");
        }
        EXPECT_EQ(sim::Clock::NowMs() - before, c.slept);
    }
}

TEST_F(AccelerationWaits, PerformanceCountersAreReset) {
    sim::MachineBuilder b = SsdCachingMachine();
    Start(b.Set("/adapters/0/volume_port/counters", "[5, 6, 7]"));
    UVIAccelerateVezkAction action;
    const CConsolidatedError reset = action.resetVolportPerformanceCounters();
    ASSERT_TRUE(reset.IsSuccessful()) << reset.GetErrorMessage() << reset.GetDebugInformation();
    EXPECT_EQ(machine_->machine().At("/adapters/0/volume_port/counters").size(), 0u);
}

} // namespace
