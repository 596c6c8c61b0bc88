// The trigger protocol of a RAID configuration change against the simulated driver: the refusal
// while actions run, the pending error number, the polling on the virtual clock with its deadline
// and failed reads, and the driver's error number turned into a code.
#include <cstring>
#include <string>

#include "middleware/ioctl/ControllerLocatorLock.h"
#include "middleware/ioctl/RaidConfig.h"
#include "middleware/ioctl/RaidConfigSetters.h"
#include "middleware/model/TransactionManager.h"
#include "sim/Clock.h"
#include "tests/middleware/model/ModelTestSupport.h"
#include "tests/middleware/model/RaidConfigWord.h"

namespace {

// The default machine's RAID controller, its driver taking one second per trigger.
sim::MachineBuilder RaidMachine() {
    sim::MachineBuilder b = sim::MachineBuilder::Default();
    b.Set("/adapters/0/raid/action_ms", "1000");
    return b;
}

class TransactionTest : public modeltest::ModelTest {
protected:
    explicit TransactionTest(const sim::MachineBuilder& machine) : ModelTest(machine) {}

    uint32_t ConfigWord(size_t offset) { return modeltest::RaidConfigWord(Controller(0), offset); }
    // Marks volume 0 for "mark normal", which the driver carries out without other effect.
    void PrepareVolumeAction() {
        CIoctlRaidVolume_SetAction action(Controller(0), 0, 2);
        action.SetVerifyOnInvoke(true);
        ASSERT_TRUE(action.Invoke().IsSuccessful());
    }
    CConsolidatedError RunTrigger(uint32_t kind) {
        ControllerLocatorLock lock(Controller(0));
        TransactionManager transaction;
        return transaction.triggerTransaction(Controller(0), kind);
    }

    sim::ScopedVirtualClock clock_;
};

class Trigger : public TransactionTest {
protected:
    Trigger() : TransactionTest(RaidMachine()) {}
};

TEST_F(Trigger, WaitsForTheActionsOnTheClockAndSucceeds) {
    PrepareVolumeAction();
    const uint64_t start = sim::Clock::NowMs();
    CConsolidatedError result = RunTrigger(kTriggerVolumeActions);
    EXPECT_TRUE(result.IsSuccessful()) << result.GetDebugInformation();
    // In progress at 0 and 500 ms, done at 1000 ms.
    EXPECT_EQ(sim::Clock::NowMs() - start, 1000u);
    EXPECT_EQ(ConfigWord(24), kTriggerVolumeActions);
    const std::string debug = result.GetDebugInformation();
    EXPECT_NE(debug.find("class TransactionManager TransactionManager::verifyTrigger"), std::string::npos);
    EXPECT_NE(debug.find("class TransactionManager TransactionManager::triggerTransaction"),
              std::string::npos);
    EXPECT_EQ(debug.find("TimedOut"), std::string::npos);
}

TEST_F(Trigger, DriverStatusBecomesTheCode) {
    struct Case {
        int32_t status;
        uint32_t code;
    };
    const Case cases[] = {{1, 0xA0060001},  {14, 0xA0010006}, {22, 0xA0060016}, {29, 0xA006001D},
                          {41, 0xA0060029}, {42, 0xA006001D}, {-1, 0xA006001D}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        CConsolidatedError error;
        TransactionManager::mapTriggerStatus(c.status, kTriggerDiskActions, error);
        EXPECT_EQ(error.GetErrorCode(), c.code);
        EXPECT_STREQ(error.GetErrorMessage(), "TriggerTransaction operation failed for Trigger: DiskActions");
    }
    CConsolidatedError untouched;
    TransactionManager::mapTriggerStatus(0, kTriggerDiskActions, untouched);
    EXPECT_TRUE(untouched.IsSuccessful());
    for (uint32_t kind : {11u, 13u, 15u, 0xFFFFFFFFu}) {
        CConsolidatedError error;
        TransactionManager::mapTriggerStatus(5, kind, error);
        EXPECT_STREQ(error.GetErrorMessage(), "TriggerTransaction operation failed for Trigger: Unknown");
    }
    EXPECT_STREQ(TriggerKindName(14), "BogusTriggerAction");
    EXPECT_STREQ(TriggerKindName(12), "EnclosureActions");
}

TEST_F(Trigger, KindTheDriverDoesNotKnowEndsWithItsErrorNumber) {
    // Kind 11 has no name: the driver answers "not implemented" (19).
    CConsolidatedError result = RunTrigger(11);
    EXPECT_EQ(result.GetErrorCode(), 0xA0060013u);
    EXPECT_STREQ(result.GetErrorMessage(), "TriggerTransaction operation failed for Trigger: Unknown");
}

TEST_F(Trigger, PendingErrorNumberIsClearedBeforeTheTrigger) {
    PrepareVolumeAction();
    ASSERT_TRUE(RunTrigger(11).IsError()); // leaves error number 19 behind
    ASSERT_EQ(ConfigWord(16), 19u);
    PrepareVolumeAction();
    EXPECT_TRUE(RunTrigger(kTriggerVolumeActions).IsSuccessful());
    EXPECT_EQ(ConfigWord(16), 0u);
}

TEST_F(Trigger, FailedClearOfTheErrorNumberWritesNoTrigger) {
    ASSERT_TRUE(RunTrigger(11).IsError());
    Inject(R"({"kind": "RaidRequest", "match": {"group": 1, "field": 37, "direction": 1},
               "outcome": {"win32_error": 31}})");
    CConsolidatedError result = RunTrigger(kTriggerVolumeActions);
    EXPECT_TRUE(result.IsError());
    EXPECT_NE(std::string(result.GetDebugInformation())
                  .find("Unable to clear Error. Not going to trigger the action!"),
              std::string::npos);
    EXPECT_EQ(ConfigWord(24), 11u); // the last trigger written is still the first one
}

TEST_F(Trigger, BusyReadsAreRetriedEvery300Ms) {
    Inject(R"({"kind": "RaidRequest", "match": {"group": 1, "direction": 0}, "times": 3,
               "outcome": {"win32_error": 170}})");
    const uint64_t start = sim::Clock::NowMs();
    CConsolidatedError result = RunTrigger(kTriggerNone);
    EXPECT_TRUE(result.IsSuccessful()) << result.GetDebugInformation();
    EXPECT_EQ(sim::Clock::NowMs() - start, 900u);
}

TEST_F(Trigger, FirstReadBusyForFiveSecondsFailsWithoutTrigger) {
    Inject(R"({"kind": "RaidRequest", "match": {"group": 1, "direction": 0}, "times": -1,
               "outcome": {"win32_error": 170}})");
    const uint64_t start = sim::Clock::NowMs();
    CConsolidatedError result = RunTrigger(kTriggerVolumeActions);
    EXPECT_TRUE(result.IsError());
    const uint64_t waited = sim::Clock::NowMs() - start;
    EXPECT_GE(waited, 5000u);
    EXPECT_LT(waited, 5400u);
    machine_->faults().Clear();
    EXPECT_EQ(ConfigWord(24), 0u);
}

TEST_F(Trigger, FailedReadsWhileVerifyingAreCounted) {
    struct Case {
        int failures;
        bool succeeds;
        const char* text;
    };
    const Case cases[] = {{2, true, "Failed [2] calls while waiting for verify"},
                          {5, false, "Failed [5] calls while waiting for verify"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failures);
        PrepareVolumeAction();
        // The first read before the trigger passes; the verification's reads fail.
        Inject(R"({"kind": "RaidRequest", "match": {"group": 1, "direction": 0, "field": 4294967295},
                   "skip": 1, "times": )" +
               std::to_string(c.failures) + R"(, "outcome": {"win32_error": 31}})");
        CConsolidatedError result = RunTrigger(kTriggerVolumeActions);
        EXPECT_EQ(result.IsSuccessful(), c.succeeds);
        EXPECT_NE(std::string(result.GetDebugInformation()).find(c.text), std::string::npos)
            << result.GetDebugInformation();
        machine_->faults().Clear();
        sim::Clock::SleepMs(2000); // let an unfinished trigger complete
    }
}

class TriggerWhileBusy : public TransactionTest {
protected:
    TriggerWhileBusy()
        : TransactionTest(RaidMachine().Set("/adapters/0/raid/pending",
                                            R"({"trigger": 2, "due_ms": 18000000000, "disk_actions": 1})")) {}
};

TEST_F(TriggerWhileBusy, ActionsInProgressRefuseTheTrigger) {
    CConsolidatedError result = RunTrigger(kTriggerVolumeActions);
    EXPECT_EQ(result.GetErrorCode(), 0xA0060023u);
    EXPECT_STREQ(result.GetErrorMessage(), "Actions are in progress - won't trigger action");
    EXPECT_EQ(ConfigWord(24), 0u);
}

class TriggerNeverEnds : public TransactionTest {
protected:
    TriggerNeverEnds() : TransactionTest(RaidMachine().Set("/adapters/0/raid/action_ms", "120000")) {}
};

TEST_F(TriggerNeverEnds, SixtySecondsOfActionsInProgressEndInSuccessWithTheTimeOutText) {
    PrepareVolumeAction();
    const uint64_t start = sim::Clock::NowMs();
    CConsolidatedError result = RunTrigger(kTriggerVolumeActions);
    EXPECT_TRUE(result.IsSuccessful());
    EXPECT_NE(std::string(result.GetDebugInformation()).find("TimedOut waiting for transaction to complete"),
              std::string::npos);
    const uint64_t waited = sim::Clock::NowMs() - start;
    EXPECT_GE(waited, 60000u);
    EXPECT_LE(waited, 60500u);
}

class TriggerRefused : public TransactionTest {
protected:
    TriggerRefused() : TransactionTest(RaidMachine().Set("/adapters/0/raid/trigger_errors", "[14, -1]")) {}
};

TEST_F(TriggerRefused, DriverErrorNumbersReachTheCaller) {
    PrepareVolumeAction();
    CConsolidatedError first = RunTrigger(kTriggerVolumeActions);
    EXPECT_EQ(first.GetErrorCode(), 0xA0010006u);
    EXPECT_STREQ(first.GetErrorMessage(), "TriggerTransaction operation failed for Trigger: VolumeActions");
    CConsolidatedError second = RunTrigger(kTriggerArrayCachePolicy);
    EXPECT_EQ(second.GetErrorCode(), 0xA006001Du);
    EXPECT_STREQ(second.GetErrorMessage(), "TriggerTransaction operation failed for Trigger: Unknown");
    EXPECT_TRUE(RunTrigger(kTriggerVolumeActions).IsSuccessful());
}

} // namespace

namespace {

// The driver's own refusals and a delete that it reports without carrying it out.
class DriverAnswers : public TransactionTest {
protected:
    DriverAnswers()
        : TransactionTest(RaidMachine()
                              .Set("/adapters/0/raid/volumes/0/job", R"({"kind": "verify", "progress": 100})")
                              .Set("/adapters/0/raid/volumes/0/survives_delete", "true")) {}

    CConsolidatedError VolumeAction(uint32_t action, uint32_t deviceAction) {
        CIoctlRaidDeviceCfg_SetAction argument(Controller(0), 0, deviceAction);
        EXPECT_TRUE(argument.Invoke().IsSuccessful());
        CIoctlRaidVolume_SetAction set(Controller(0), 0, action);
        EXPECT_TRUE(set.Invoke().IsSuccessful());
        return RunTrigger(kTriggerVolumeActions);
    }
};

TEST_F(DriverAnswers, BusyAndInvalidActionsAndADeleteThatLeavesTheVolume) {
    struct Case {
        uint32_t action, deviceAction, code;
    };
    const Case cases[] = {
        {4, 0, 0xA0060016},                // verify while a verification runs: busy
        {3, 0, 0xA0060016},                // initialise likewise
        {9, 0x200, 0xA006001D},            // a cache policy the driver does not know: invalid (42)
        {9, 0x101, 0},          {1, 0, 0}, // the delete is reported done
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.action);
        CConsolidatedError result = VolumeAction(c.action, c.deviceAction);
        if (c.code == 0) {
            EXPECT_TRUE(result.IsSuccessful()) << result.GetErrorMessage();
        } else {
            EXPECT_EQ(result.GetErrorCode(), c.code);
        }
    }
    EXPECT_EQ(ConfigWord(4), 1u); // yet the volume is still there
}

} // namespace
