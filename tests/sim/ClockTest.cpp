#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "sim/Clock.h"

namespace {

TEST(Clock, VirtualSleepReturnsAtOnceAndMovesTime) {
    sim::ScopedVirtualClock clock(5000);
    auto realStart = std::chrono::steady_clock::now();
    EXPECT_EQ(sim::Clock::NowMs(), 5000u);
    for (int i = 0; i < 120; ++i)
        sim::Clock::SleepMs(500);
    EXPECT_EQ(sim::Clock::NowMs(), 5000u + 60000u);
    EXPECT_LT(std::chrono::steady_clock::now() - realStart, std::chrono::seconds(5));
}

TEST(Clock, VirtualTimedWaitTimesOutAtTheDeadline) {
    sim::ScopedVirtualClock clock(0);
    std::mutex m;
    std::condition_variable cv;
    std::unique_lock lock(m);
    EXPECT_FALSE(sim::Clock::WaitFor(lock, cv, 60000, [] { return false; }));
    EXPECT_EQ(sim::Clock::NowMs(), 60000u);
    EXPECT_FALSE(sim::Clock::WaitFor(lock, cv, 0, [] { return false; }));
    EXPECT_EQ(sim::Clock::NowMs(), 60000u);
}

TEST(Clock, TimedWaitEndsWhenAnotherThreadSignals) {
    sim::ScopedVirtualClock clock(0);
    std::mutex m;
    std::condition_variable cv;
    bool set = false;
    std::thread t([&] {
        std::lock_guard g(m);
        set = true;
        cv.notify_all();
    });
    {
        std::unique_lock lock(m);
        EXPECT_TRUE(sim::Clock::WaitFor(lock, cv, sim::Clock::kInfinite, [&] { return set; }));
    }
    t.join();
}

TEST(Clock, RealClockIsTheDefault) {
    EXPECT_FALSE(sim::Clock::IsVirtual());
    // The real clock is the monotonic one: read between two of its readings, it lies between them.
    const auto steadyNs = [] {
        return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                         std::chrono::steady_clock::now().time_since_epoch())
                                         .count());
    };
    const uint64_t before = steadyNs();
    const uint64_t now = sim::Clock::NowNs();
    const uint64_t after = steadyNs();
    EXPECT_LE(before, now);
    EXPECT_LE(now, after);
}

} // namespace

namespace {

TEST(Clock, AdvancingToADeadlineNeverMovesTimeBack) {
    sim::ScopedVirtualClock clock(100);
    sim::Clock::AdvanceToMs(60100);
    EXPECT_EQ(sim::Clock::NowMs(), 60100u);
    // A second wait running out at the same (or an earlier) deadline leaves the clock where it is.
    sim::Clock::AdvanceToMs(60100);
    sim::Clock::AdvanceToMs(500);
    EXPECT_EQ(sim::Clock::NowMs(), 60100u);
}

} // namespace
