#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <vector>

#include <gtest/gtest.h>

#include "cli/PeriodicTimer.h"
#include "platform/win/WinBase.h"
#include "sim/Clock.h"
#include "sim/Machine.h"

namespace {

// What the timer's thread did, for the test thread to wait on.
struct Calls {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<uint64_t> startsMs;

    void record() {
        std::lock_guard<std::mutex> lock(mutex);
        startsMs.push_back(sim::Clock::NowMs());
        changed.notify_all();
    }
    void awaitCount(size_t n) {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return startsMs.size() >= n; });
    }
    size_t count() {
        std::lock_guard<std::mutex> lock(mutex);
        return startsMs.size();
    }
};

struct PeriodicTimerTest : ::testing::Test {
    sim::ScopedMachine machine;
    sim::ScopedVirtualClock clock;
    Calls calls;
};

TEST_F(PeriodicTimerTest, ATimerEndedAtOnceCallsAtMostOnceAndDoesNotWaitOutItsPeriod) {
    const uint64_t before = sim::Clock::NowMs();
    {
        MOX::PeriodicTimer timer(2000, [&] { calls.record(); });
    }
    EXPECT_LE(calls.count(), 1u);
    EXPECT_LE(sim::Clock::NowMs() - before, 2000u);
}

TEST_F(PeriodicTimerTest, CallsStartOnePeriodAfterThePreviousCallReturned) {
    {
        MOX::PeriodicTimer timer(2000, [&] {
            calls.record();
            Sleep(300); // the display's own work
        });
        calls.awaitCount(3);
    }
    std::lock_guard<std::mutex> lock(calls.mutex);
    ASSERT_GE(calls.startsMs.size(), 3u);
    EXPECT_EQ(calls.startsMs[1] - calls.startsMs[0], 2300u);
    EXPECT_EQ(calls.startsMs[2] - calls.startsMs[1], 2300u);
}

TEST_F(PeriodicTimerTest, APeriodOfZeroOrLessCallsAgainWithoutPausing) {
    for (const int32_t period : {0, -5}) {
        const uint64_t before = sim::Clock::NowMs();
        {
            MOX::PeriodicTimer timer(period, [&] { calls.record(); });
            calls.awaitCount(5);
        }
        EXPECT_EQ(sim::Clock::NowMs(), before) << period;
        std::lock_guard<std::mutex> lock(calls.mutex);
        calls.startsMs.clear();
    }
}

TEST_F(PeriodicTimerTest, ACallbackThatThrowsIsCalledAgainAndTheProcessGoesOn) {
    {
        MOX::PeriodicTimer timer(2000, [&] {
            calls.record();
            throw std::runtime_error("display failed");
        });
        calls.awaitCount(2);
    }
    EXPECT_GE(calls.count(), 2u);
}

TEST(PeriodicTimer, AWorkerThatCannotStartMakesNoTimer) {
    sim::ScopedMachine machine;
    machine->faults().Add(R"({"kind": "CreateThread"})");
    bool called = false;
    try {
        MOX::PeriodicTimer timer(2000, [&] { called = true; });
        ADD_FAILURE() << "the timer started";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code(), std::errc::resource_unavailable_try_again);
    }
    EXPECT_FALSE(called);
    EXPECT_EQ(machine->faults().Pending(), 0u);
}

} // namespace
