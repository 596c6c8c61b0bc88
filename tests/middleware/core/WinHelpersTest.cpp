#include <atomic>
#include <chrono>
#include <optional>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "middleware/core/DeadlineTimer.h"
#include "middleware/core/ScopedHandle.h"
#include "middleware/core/SharedCriticalSection.h"
#include "middleware/core/StopSignal.h"
#include "middleware/core/SystemPrivilege.h"
#include "platform/win/WinSync.h"
#include "sim/Clock.h"
#include "sim/Machine.h"
#include "sim/Os.h"

namespace {

using namespace std::chrono_literals;

class WinHelpers : public ::testing::Test {
protected:
    sim::ScopedMachine machine;

    void Fail(const char* kind, sim::Value outcome, sim::Value match = sim::Value::object()) {
        machine->faults().Add(sim::FaultRule::FromJson(
            {{"kind", kind}, {"match", std::move(match)}, {"outcome", std::move(outcome)}}));
    }
};

// Whether a handle is still open in the process's handle table.
bool IsOpen(HANDLE handle) {
    return WaitForSingleObject(handle, 0) != WAIT_FAILED || GetLastError() != ERROR_INVALID_HANDLE;
}

HANDLE NewEvent() {
    return CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

// ---- ScopedHandle ----

TEST_F(WinHelpers, ScopedHandleClosesWhatItOwnsOnce) {
    HANDLE a = NewEvent();
    HANDLE b = NewEvent();
    {
        ScopedHandle owner(a);
        owner = std::move(owner); // a self-move keeps the handle open
        EXPECT_EQ(owner.get(), a);
        EXPECT_TRUE(IsOpen(a));

        ScopedHandle other(b);
        owner = std::move(other); // closes a, takes b
        EXPECT_FALSE(IsOpen(a));
        EXPECT_EQ(owner.get(), b);
        EXPECT_EQ(other.get(), nullptr);

        owner.reset(b); // the held handle itself stays open
        EXPECT_TRUE(IsOpen(b));
        EXPECT_EQ(owner.release(), b);
        EXPECT_EQ(owner.get(), nullptr);
    }
    EXPECT_TRUE(IsOpen(b)); // released: not closed
    {
        ScopedHandle owner;
        owner.reset(b);
        ScopedHandle moved(std::move(owner));
        EXPECT_EQ(moved.get(), b);
    }
    EXPECT_FALSE(IsOpen(b));
}

// ---- SharedCriticalSection ----

TEST_F(WinHelpers, SharedCriticalSectionExcludesThreadsThroughEveryCopy) {
    SharedCriticalSection section;
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
    int counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([copy = section, &inside, &overlapped, &counter] {
            for (int i = 0; i < 2000; ++i) {
                auto lock = copy.lock();
                if (++inside != 1)
                    overlapped = true;
                auto again = copy.lock(); // re-entrant for the holder
                ++counter;
                --inside;
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_FALSE(overlapped);
    EXPECT_EQ(counter, 8000);
}

TEST_F(WinHelpers, ALockOutlivesItsSection) {
    std::optional<SharedCriticalSectionLock> lock;
    {
        SharedCriticalSection section;
        lock.emplace(section.lock());
    }
    // The section is left and then deleted when the lock goes; the sanitizers see any misuse.
    lock.reset();
}

TEST_F(WinHelpers, AssigningALockLeavesTheOldSectionBeforeItGoes) {
    SharedCriticalSection other;
    std::optional<SharedCriticalSectionLock> lock;
    {
        SharedCriticalSection first;
        lock.emplace(first.lock());
    }
    // The lock holds the only reference to the first section: it must leave it while it still exists.
    *lock = other.lock();
    lock.reset();
}

// ---- StopSignal ----

TEST_F(WinHelpers, StopSignalWaitsOnTheMachinesClockUntilSet) {
    sim::ScopedVirtualClock clock(0);
    StopSignal signal;
    EXPECT_FALSE(signal.waitFor(0));
    EXPECT_EQ(sim::Clock::NowMs(), 0u);
    EXPECT_FALSE(signal.waitFor(60000));
    EXPECT_EQ(sim::Clock::NowMs(), 60000u);

    std::thread setter([&] { signal.set(); });
    EXPECT_TRUE(signal.waitFor(UINT64_MAX));
    setter.join();
    const uint64_t now = sim::Clock::NowMs();
    EXPECT_TRUE(signal.waitFor(0));
    EXPECT_TRUE(signal.waitFor(1000));
    EXPECT_EQ(sim::Clock::NowMs(), now);
}

// ---- DeadlineTimer ----

TEST_F(WinHelpers, DeadlinePollOfOneMinuteEvery500MsRunsInVirtualTime) {
    sim::ScopedVirtualClock clock(0);
    const auto realStart = std::chrono::steady_clock::now();
    DeadlineTimer timer(60000);
    EXPECT_FALSE(timer.wait(500));
    ASSERT_TRUE(timer.start());
    int polls = 0;
    while (timer.wait(500))
        ++polls;
    EXPECT_EQ(polls, 119);
    EXPECT_EQ(sim::Clock::NowMs(), 60000u);
    EXPECT_FALSE(timer.wait(500));
    EXPECT_LT(std::chrono::steady_clock::now() - realStart, 2s);

    // Starting again sets a new deadline.
    ASSERT_TRUE(timer.start());
    EXPECT_TRUE(timer.wait(59999));
    EXPECT_FALSE(timer.wait(1));
}

TEST_F(WinHelpers, DeadlineTimerThatCannotBeMadeSetOrWaitedOnEndsThePoll) {
    sim::ScopedVirtualClock clock(0);
    DeadlineTimer timer(60000);
    Fail("CreateWaitableTimer", {{"win32_error", 8}});
    EXPECT_FALSE(timer.start());
    EXPECT_FALSE(timer.wait(500));

    ASSERT_TRUE(timer.start());
    Fail("SetWaitableTimer", {{"win32_error", 87}});
    EXPECT_FALSE(timer.start()); // a failed restart leaves no deadline behind
    EXPECT_FALSE(timer.wait(500));

    ASSERT_TRUE(timer.start());
    Fail("WaitForSingleObject", {{"wait_result", "0xFFFFFFFF"}, {"win32_error", 6}}, {{"object", "timer"}});
    EXPECT_FALSE(timer.wait(500));
    EXPECT_TRUE(timer.wait(500));
}

// ---- SystemPrivilege ----

TEST_F(WinHelpers, SystemPrivilegeEnablesForItsLifetimeOnly) {
    ASSERT_FALSE(sim::os::PrivilegeEnabled("SeSystemEnvironmentPrivilege"));
    {
        SystemPrivilege outer("SeSystemEnvironmentPrivilege");
        EXPECT_TRUE(sim::os::PrivilegeEnabled("SeSystemEnvironmentPrivilege"));
        {
            // Already enabled: the inner object has nothing to restore.
            SystemPrivilege inner("SeSystemEnvironmentPrivilege");
        }
        EXPECT_TRUE(sim::os::PrivilegeEnabled("SeSystemEnvironmentPrivilege"));
    }
    EXPECT_FALSE(sim::os::PrivilegeEnabled("SeSystemEnvironmentPrivilege"));

    auto opens = machine->calls().Of("OpenProcessToken");
    ASSERT_EQ(opens.size(), 3u); // two enables, one restore
    for (const auto& call : opens)
        EXPECT_EQ(call.selectors["access"], 0x200E8);
}

TEST_F(WinHelpers, SystemPrivilegeThatCannotBeHadRestoresNothing) {
    { SystemPrivilege unknown("SeNoSuchPrivilege"); }
    EXPECT_EQ(machine->calls().Count("AdjustTokenPrivileges"), 0u);

    Fail("OpenProcessToken", {{"win32_error", 5}});
    {
        SystemPrivilege refused("SeSystemEnvironmentPrivilege");
        EXPECT_FALSE(sim::os::PrivilegeEnabled("SeSystemEnvironmentPrivilege"));
    }
    EXPECT_EQ(machine->calls().Count("AdjustTokenPrivileges"), 0u);

    Fail("AdjustTokenPrivileges", {{"win32_error", 1300}});
    { SystemPrivilege notAssigned("SeSystemEnvironmentPrivilege"); }
    EXPECT_EQ(machine->calls().Count("AdjustTokenPrivileges"), 1u);
}

} // namespace
