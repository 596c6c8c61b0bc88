// The event interface: subscriptions for everything and for one controller, the records of the three
// kinds of event, time-outs, failures and closed subscriptions, and subscribers in other processes.
#include <cstring>
#include <thread>

#include <gtest/gtest.h>

#include "middleware/api/EventContext.h"
#include "middleware/api/UviApi.h"
#include "middleware/model/DeviceCustom.h"
#include "platform/win/WinSync.h"
#include "sim/Machine.h"
#include "sim/MachineBuilder.h"
#include "sim/driver/DriverEvents.h"
#include "tests/support/ChildProcess.h"

namespace {

constexpr unsigned kTimeout = 0xA0010061;
constexpr unsigned kWaitFailed = 0xA0010062;
constexpr unsigned kInvalidHandle = 0xA0010003;
constexpr unsigned kSuccess = 0x20000000;

// A record whose every byte is 0xAB, so that what a wait leaves alone can be seen.
_UVI_EventRecord Stale() {
    _UVI_EventRecord record;
    std::memset(&record, 0xAB, sizeof(record));
    return record;
}

bool SameBytes(const _UVI_EventRecord& a, const _UVI_EventRecord& b) {
    return std::memcmp(&a, &b, sizeof(a)) == 0;
}

// Every test starts and ends without an event context: its workers belong to the test's machine.
class EventInterface : public ::testing::Test {
protected:
    explicit EventInterface(const sim::MachineBuilder& description = sim::MachineBuilder::Default())
        : machine_(description) {
        EventContext::destroyForTesting();
    }
    ~EventInterface() override { EventContext::destroyForTesting(); }

    static UviEvents::DeviceCustom& SoftwareDevice() {
        auto sources = EventContext::instance().sourceManager.getSourcesForAll();
        return dynamic_cast<UviEvents::DeviceCustom&>(sources.back()->device());
    }

    sim::ScopedMachine machine_;
};

TEST_F(EventInterface, TwoSubscriptionsGetEveryControllerEventWithItsFlags) {
    const unsigned long long a = UviEventSetUpForAllWithHandle();
    const unsigned long long b = UviEventSetUpForAllWithHandle();
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    EXPECT_NE(a, b);

    ASSERT_TRUE(
        sim::driver::RaiseControllerEvent(0, sim::driver::kEventFlagVolumes | sim::driver::kEventFlagJobs));
    for (unsigned long long handle : {a, b}) {
        _UVI_EventRecord record = Stale();
        const _UVI_Error result = UviEventWaitWithHandle(0xFFFFFFFF, handle, &record);
        EXPECT_EQ(result.code, kSuccess);
        EXPECT_EQ(record.controllerPort, 0u);
        EXPECT_EQ(record.kind, 1u);
        EXPECT_EQ(record.firstData, 1u);
        EXPECT_EQ(record.secondData, sim::driver::kEventFlagVolumes | sim::driver::kEventFlagJobs);
        EXPECT_EQ(record.flags, 0x9u); // bits 20 and 23, nothing above bit 6
    }
    EXPECT_EQ(UviEventClose(a).code, kSuccess);
    EXPECT_EQ(UviEventClose(b).code, kSuccess);
}

TEST_F(EventInterface, NvmeAndSoftwareEventsWriteOnlyTheirFields) {
    const unsigned long long handle = UviEventSetUpForAllWithHandle();
    ASSERT_NE(handle, 0u);

    ASSERT_TRUE(sim::driver::RaiseNvmeEvent(1, 0, 0, 0, 0x0301));
    _UVI_EventRecord record = Stale();
    ASSERT_EQ(UviEventWaitWithHandle(0xFFFFFFFF, handle, &record).code, kSuccess);
    EXPECT_EQ(record.controllerPort, 1u);
    EXPECT_EQ(record.kind, 2u);
    EXPECT_EQ(record.firstData, 0xABABABAB01000000ull); // the address in the low 4 bytes only
    EXPECT_EQ(record.secondData, 3u);
    EXPECT_EQ(record.flags, 0xABABABABu);

    SoftwareDevice().push(77);
    record = Stale();
    ASSERT_EQ(UviEventWaitWithHandle(0xFFFFFFFF, handle, &record).code, kSuccess);
    EXPECT_EQ(record.controllerPort, 0u);
    EXPECT_EQ(record.kind, 3u);
    EXPECT_EQ(record.firstData, 77u);
    EXPECT_EQ(record.secondData, 0xABABABABABABABABull);
    EXPECT_EQ(record.flags, 0xABABABABu);
}

TEST_F(EventInterface, OneControllerByPortAndAPortWithoutControllerGivesZero) {
    EXPECT_EQ(UviEventSetUpForKindWithHandle(9), 0u);
    const unsigned long long raid = UviEventSetUpForKindWithHandle(0);
    const unsigned long long nvme = UviEventSetUpForKindWithHandle(1);
    ASSERT_NE(raid, 0u);
    ASSERT_NE(nvme, 0u);

    ASSERT_TRUE(sim::driver::RaiseControllerEvent(0, sim::driver::kEventFlagDisks));
    _UVI_EventRecord record = Stale();
    ASSERT_EQ(UviEventWaitWithHandle(0xFFFFFFFF, raid, &record).code, kSuccess);
    EXPECT_EQ(record.kind, 1u);
    EXPECT_EQ(record.flags, 0x2u);
    // The NVMe controller's subscription hears nothing of the RAID controller.
    record = Stale();
    EXPECT_EQ(UviEventWaitWithHandle(0, nvme, &record).code, kTimeout);
    EXPECT_TRUE(SameBytes(record, Stale()));
}

TEST_F(EventInterface, TimeOutFailureAndClosedSubscriptionLeaveTheRecordAlone) {
    const unsigned long long handle = UviEventSetUpForAllWithHandle();
    ASSERT_NE(handle, 0u);
    _UVI_EventRecord record = Stale();

    _UVI_Error result = UviEventWaitWithHandle(0, handle, &record);
    EXPECT_EQ(result.code, kTimeout);
    EXPECT_NE(result.status, UVI_STATUS_SUCCESS);

    // A wait in progress when the subscription is closed ends with a failure.
    // The waiter's time limit tells its wait apart from the workers' waits in the call log.
    constexpr unsigned kLongWait = 0xFFFFFFF0;
    std::thread waiter([&] { result = UviEventWaitWithHandle(kLongWait, handle, &record); });
    ASSERT_TRUE(machine_->calls().AwaitMatching("WaitForSingleObject",
                                                R"({"timeout": )" + std::to_string(kLongWait) + "}"));
    EXPECT_EQ(UviEventClose(handle).code, kSuccess);
    waiter.join();
    EXPECT_EQ(result.code, kWaitFailed);
    EXPECT_TRUE(SameBytes(record, Stale()));

    // Later waits do not know the handle; closing again and closing what never was succeed.
    EXPECT_EQ(UviEventWaitWithHandle(0, handle, &record).code, kInvalidHandle);
    EXPECT_EQ(UviEventClose(handle).code, kSuccess);
    EXPECT_EQ(UviEventClose(987654).code, kSuccess);
    EXPECT_TRUE(SameBytes(record, Stale()));
}

TEST_F(EventInterface, ANullRecordIsRefusedWithoutTakingTheEvent) {
    const unsigned long long handle = UviEventSetUpForAllWithHandle();
    ASSERT_NE(handle, 0u);
    SoftwareDevice().push(5);
    EXPECT_EQ(UviEventWaitWithHandle(0xFFFFFFFF, handle, nullptr).code, kInvalidHandle);
    _UVI_EventRecord record = Stale();
    ASSERT_EQ(UviEventWaitWithHandle(0xFFFFFFFF, handle, &record).code, kSuccess);
    EXPECT_EQ(record.firstData, 5u);
}

class FailingEventInterface : public EventInterface {
protected:
    FailingEventInterface()
        : EventInterface(sim::MachineBuilder::Default().Set(
              "/faults",
              R"([{"kind": "WaitForSingleObject", "match": {"object": "event", "timeout": 13},
                   "outcome": {"wait_result": "0xFFFFFFFF", "win32_error": 6}},
                  {"kind": "CreateThread", "times": 1}])")) {}
};

TEST_F(FailingEventInterface, AFailedThreadStartGivesZeroAndAFailedWaitIsAFailure) {
    // The first worker cannot start: nothing escapes, and the next subscription works.
    EXPECT_EQ(UviEventSetUpForAllWithHandle(), 0u);
    const unsigned long long handle = UviEventSetUpForAllWithHandle();
    ASSERT_NE(handle, 0u);
    _UVI_EventRecord record = Stale();
    EXPECT_EQ(UviEventWaitWithHandle(13, handle, &record).code, kWaitFailed);
    EXPECT_TRUE(SameBytes(record, Stale()));
    EXPECT_EQ(machine_->faults().Pending(), 0u);
}

TEST_F(EventInterface, ASubscriberWakesWhenAnotherProcessPullsADisk) {
    const unsigned long long handle = UviEventSetUpForAllWithHandle();
    ASSERT_NE(handle, 0u);
    const moxtest::ChildResult run = moxtest::RunChild({"sim-disk-present", "0", "3", "0"});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    _UVI_EventRecord record = Stale();
    // A real-time limit, so that a lost wake-up fails the test instead of hanging it.
    ASSERT_EQ(UviEventWaitWithHandle(60000, handle, &record).code, kSuccess);
    EXPECT_EQ(record.kind, 1u);
    EXPECT_EQ(record.flags, 0x2u);
}

TEST_F(EventInterface, AProcessThatExitsWhileSubscribedEndsCleanly) {
    moxtest::Child child({"uvi-event-exit-subscribed"});
    ASSERT_EQ(child.ReadLine(), "ready");
    ASSERT_TRUE(sim::driver::RaiseControllerEvent(0, sim::driver::kEventFlagArrays));
    EXPECT_EQ(child.ReadLine(), "536870912 1 4");
    // The sanitizers' leak check runs at its exit and would fail it.
    EXPECT_EQ(child.Wait(), 0);
}

TEST(EventInterfaceWithoutController, TheSoftwareSourceAloneIsASubscription) {
    sim::ScopedMachine machine(sim::MachineBuilder::Default()
                                   .Set("/adapters/0/driver", R"("storahci")")
                                   .Set("/adapters/1/driver", R"("stornvme")"));
    const moxtest::ChildResult run = moxtest::RunChild({"uvi-event-subscribe-all"});
    ASSERT_EQ(run.exitCode, 0);
    EXPECT_NE(run.output, "0\n");
    EXPECT_FALSE(run.output.empty());
}

TEST(EventInterfaceFirstUse, AControllerTableThatCannotBeBuiltGivesZeroAndTheNextCallTriesAgain) {
    // In a process of its own, so that its controller table is built by the subscription.
    sim::ScopedMachine machine(sim::MachineBuilder::Default().Set(
        "/faults", R"([{"kind": "CM_Get_Device_Interface_List_Size", "outcome": {"cr": 19}}])"));
    const moxtest::ChildResult run = moxtest::RunChild({"uvi-event-subscribe-all", "2"});
    ASSERT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, "0\n1\n");
}

} // namespace
