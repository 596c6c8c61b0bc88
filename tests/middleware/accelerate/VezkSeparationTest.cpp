// The cache-memory pairing separation's first stage and automation, and the clears, against the
// paired controller of the pairing machine (port 1: module and hard disk joined).
#include <string>

#include <gtest/gtest.h>

#include "middleware/accelerate/UVIAccelerateAction.h"
#include "middleware/accelerate/UVIAccelerateVezkAction.h"
#include "middleware/core/GlobalLogger.h"
#include "middleware/core/NamedCriticalSection.h"
#include "middleware/pairing/PairingState.h"
#include "platform/win/WinService.h"
#include "sim/CallLog.h"
#include "sim/EventLog.h"
#include "sim/Files.h"
#include "sim/Services.h"
#include "tests/middleware/accelerate/ActionTestSupport.h"
#include "tests/middleware/accelerate/PairingTestSupport.h"
#include "tests/support/ChildProcess.h"

namespace {

using namespace actiontest;
using namespace pairingtest;

constexpr const char* kDatabase = "C:\\Orvex\\OrvexHalvexData\\usage_stats.db";
constexpr const char* kDisableSection = "Global\\HalvexDisableOneStepSemaphore";

// The paired controller's block cache in the driver's mode (0 off, 3 Safe, 5 Performance),
// accelerating the pair's hard disk; its migration done; the controller of port 0 without pairing. The cache
// service keeps its database.
sim::MachineBuilder PairedMachine(int mode) {
    sim::MachineBuilder b = moxtest::PairingMachine();
    b.Set("/adapters/0/volume_port/supported", "false"); // the paired controller is the first to pair
    b.Set("/adapters/1/volume_port/migration", R"({"progress": 100})");
    b.Set("/adapters/1/raid/nv_cache", R"({"state": 1, "mode": )" + std::to_string(mode) +
                                           R"(, "cache_volume": 0, "accelerated_volume": 0})");
    b.Set("/files", R"({"folders": ["C:\\Orvex\\OrvexHalvexData"],
                        "entries": [{"path": "C:\\Orvex\\OrvexHalvexData\\usage_stats.db", "id": 1}]})");
    return b;
}

class VezkSeparation : public ActionTest {
protected:
    void StartKeeping(const sim::MachineBuilder& b) {
        Start(b);
        machine_->machine().calls().Keep(100000);
        sim::eventlog::Clear();
    }
    size_t Separations() {
        return machine_->machine().calls().CountMatching(
            "DeviceIoControl", R"({"signature": "OrvexVlp", "control_code": "0x80000D04"})");
    }
    static uint32_t PairedController(Session& session) { return session.getControllers().at(1)->getHandle(); }
};

// In Safe mode the first stage asks the driver to separate at once; in Performance mode it only
// switches the block cache to Safe; in any other mode it refuses and logs the refusal.
TEST_F(VezkSeparation, TheFirstStageFollowsTheBlockCachesMode) {
    {
        StartKeeping(PairedMachine(3));
        UVIAccelerateAction facade;
        const _UVI_Error result = facade.doSeparateConcatenation(PairedController(*Fresh()));
        EXPECT_EQ(result.status, 0u) << Describe(result);
        EXPECT_EQ(Separations(), 1u);
        const auto entries = sim::eventlog::Entries();
        ASSERT_FALSE(entries.empty());
        EXPECT_EQ(entries.back().eventId, 0x40010016u);
        EXPECT_EQ(entries.back().strings.front().substr(1), "(disable entry)");
    }
    {
        StartKeeping(PairedMachine(5));
        UVIAccelerateAction facade;
        static_cast<void>(facade.doSeparateConcatenation(PairedController(*Fresh())));
        EXPECT_EQ(Separations(), 0u);
    }
    {
        StartKeeping(PairedMachine(0));
        UVIAccelerateAction facade;
        const _UVI_Error result = facade.doSeparateConcatenation(PairedController(*Fresh()));
        EXPECT_EQ(result.code, 0xA0070031u);
        EXPECT_STREQ(GetLoggedError(result).GetErrorMessage(), "Nvc in invalid mode - Performance expected.");
        EXPECT_EQ(Separations(), 0u);
        const auto entries = sim::eventlog::Entries();
        ASSERT_FALSE(entries.empty());
        EXPECT_EQ(entries.back().eventId, 0xC0010015u);
        const std::string& first = entries.back().strings.front();
        EXPECT_EQ(first.substr(first.size() - 15), "(disable entry)");
    }
}

// The cache service's database goes unless the request keeps the pinning data; the tools stop either
// way.
TEST_F(VezkSeparation, PreservingThePinningDataKeepsTheDatabase) {
    for (const bool preserve : {true, false}) {
        StartKeeping(PairedMachine(3));
        UVIAccelerateAction facade;
        facade.setPreservePinningData(preserve);
        static_cast<void>(facade.doSeparateConcatenation(PairedController(*Fresh())));
        EXPECT_EQ(sim::files::Exists(kDatabase), preserve) << preserve;
        EXPECT_EQ(sim::services::State("KeplinAfsService"), SERVICE_STOPPED) << preserve;
    }
}

// Another process inside the disable's section: the tools are stopped anyway, the stage fails with
// the section's error and the action's type name, and nothing is logged.
TEST_F(VezkSeparation, ABusySectionStillStopsTheTools) {
    StartKeeping(PairedMachine(3));
    moxtest::Child holder({"ncs-hold", kDisableSection});
    ASSERT_EQ(holder.ReadLine(), "ready 0X20000000");
    UVIAccelerateAction facade;
    const _UVI_Error result = facade.doSeparateConcatenation(PairedController(*Fresh()));
    EXPECT_EQ(result.code, 0xA0070037u);
    EXPECT_NE(std::string(GetLoggedError(result).GetDebugInformation())
                  .find("class UVIAccelerateVezkAction UVIAccelerateVezkAction::disableHalvexEntryPoint"),
              std::string::npos);
    EXPECT_EQ(sim::services::State("KeplinAfsService"), SERVICE_STOPPED);
    EXPECT_FALSE(sim::files::Exists(kDatabase));
    EXPECT_TRUE(sim::eventlog::Entries().empty());
    EXPECT_EQ(Separations(), 0u);
    uint32_t performed = 9;
    EXPECT_EQ(facade.doVezkAutomation(performed).code, 0xA0070037u);
    EXPECT_EQ(performed, 0u);
    holder.WriteLine("done");
    EXPECT_EQ(holder.Wait(), 0);
}

// Nothing in progress: the automation takes no step and logs nothing.
TEST_F(VezkSeparation, AutomationWithNothingInProgressDoesNothing) {
    StartKeeping(PairedMachine(5));
    UVIAccelerateAction facade;
    uint32_t performed = 9;
    const _UVI_Error result = facade.doVezkAutomation(performed);
    EXPECT_EQ(result.status, 0u) << Describe(result);
    EXPECT_EQ(performed, 0u);
    EXPECT_TRUE(sim::eventlog::Entries().empty());
}

// ---- the clears ----

TEST_F(VezkSeparation, ClearingIsRefusedWhileAnOperationRunsOrNothingIsCached) {
    {
        // The pair's blocks still migrate into it: its operation status is 5.
        sim::MachineBuilder b = PairedMachine(5);
        b.Set("/adapters/1/volume_port/migration", R"({"progress": 40})");
        b.Set("/adapters/1/volume_port/migration_type", "1");
        b.Set("/adapters/1/raid/volumes/0/flags", "65536"); // the pairing's volume
        StartKeeping(b);
        machine_->machine().calls().Clear();
        UVIAccelerateAction facade;
        const _UVI_Error result = facade.doClearBlockCache();
        EXPECT_EQ(result.code, 0xA0010012u);
        EXPECT_STREQ(GetLoggedError(result).GetErrorMessage(),
                     "Cannot perform clear cache when Halvex operation in progress");
        EXPECT_EQ(RaidWrites(machine_->machine().calls()), 0u);
    }
    {
        sim::MachineBuilder b = PairedMachine(0);
        b.Set("/adapters/1/raid/nv_cache/accelerated_volume", "-1");
        StartKeeping(b);
        UVIAccelerateAction facade;
        const _UVI_Error result = facade.doClearBlockCache();
        EXPECT_EQ(result.code, 0xA0010012u);
        EXPECT_STREQ(GetLoggedError(result).GetErrorMessage(), "No disk or volume is currently using cache.");
    }
}

TEST_F(VezkSeparation, ASecondClearIsRefusedWhileOneRuns) {
    StartKeeping(PairedMachine(5));
    moxtest::Child holder({"ncs-hold", kClearCacheSection});
    ASSERT_EQ(holder.ReadLine(), "ready 0X20000000");
    UVIAccelerateAction facade;
    const _UVI_Error result = facade.doClearBlockCache();
    EXPECT_EQ(result.code, 0xA0010012u);
    // The running clear shows in the pairing's status first.
    const std::string message = GetLoggedError(result).GetErrorMessage();
    EXPECT_TRUE(message == "Clear cache already in progress" ||
                message == "Cannot perform clear cache when Halvex operation in progress")
        << message;
    EXPECT_EQ(RaidWrites(machine_->machine().calls()), 0u);
    holder.WriteLine("done");
    EXPECT_EQ(holder.Wait(), 0);
}

} // namespace
