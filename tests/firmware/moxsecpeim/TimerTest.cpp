// The time-stamp counter's calibration, deadlines and stalls.
#include "tests/firmware/moxsecpeim/PeiModuleTest.h"

#include <chrono>
#include <deque>

#include "firmware/moxsecpeim/Timer.h"
#include "platform/uefi/pi/PeiStall.h"

namespace {

class TimerTest : public PeiModuleTest {
protected:
    TimerTest() { UseServices(); }
};

TEST_F(TimerTest, TheRateIsTheTicksOfA3MsStallPerMicrosecond) {
    std::deque<uint64_t> readings{1000, 1000 + 7200000};
    env_.tsc().SetReader([&] {
        uint64_t v = readings.front();
        readings.pop_front();
        return v;
    });
    StartTimer();
    EXPECT_EQ(gMoxSecPeim.TscTicksPerMicrosecond, 2400u);
    EXPECT_EQ(Calls("PeiStall", R"({"microseconds": 3000})"), 1u);
    EXPECT_TRUE(readings.empty());
}

TEST_F(TimerTest, TheRateIsTruncatedToWholeTicks) {
    env_.tsc().SetTicksPerMicrosecond(1999);
    CalibrateTsc();
    // The reading after the stall is a step late: a fraction of a tick per microsecond.
    EXPECT_EQ(gMoxSecPeim.TscTicksPerMicrosecond, 1999u);
}

TEST_F(TimerTest, WithoutTheStallPpiEveryWaitEndsAtOnce) {
    env_.ppis().Remove(gEfiPeiStallPpiGuid);
    CalibrateTsc();
    EXPECT_EQ(gMoxSecPeim.TscTicksPerMicrosecond, 0u);
    const uint64_t before = env_.tsc().Now();
    StallMicroseconds(1000000);
    EXPECT_TRUE(DeadlineExpired(TscDeadline(5000000)));
    EXPECT_LT(env_.tsc().Now() - before, 100u * 2400);
}

TEST_F(TimerTest, AWaitOf31SecondsTakesNoRealTime) {
    CalibrateTsc();
    const uint64_t before = env_.tsc().Now();
    const auto realStart = std::chrono::steady_clock::now();
    StallMicroseconds(31000000);
    const uint64_t waited = env_.tsc().Now() - before;
    EXPECT_GE(waited, 31000000ull * 2400);
    // Polls move the counter by doubling steps: the wait ends up to one step late, and the counter
    // has moved on by the step of the last reading.
    EXPECT_LT(waited, 4 * 31000000ull * 2400);
    EXPECT_LT(std::chrono::steady_clock::now() - realStart, std::chrono::seconds(2));
}

TEST_F(TimerTest, AStallWaitsAtLeastItsTime) {
    CalibrateTsc();
    for (uint16_t us : {1, 5, 5000}) {
        const uint64_t before = env_.tsc().Now();
        StallShort(us);
        EXPECT_GE(env_.tsc().Now() - before, uint64_t{us} * 2400) << us;
    }
}

TEST_F(TimerTest, ADeadlineThatWouldOverflowNeverExpires) {
    gMoxSecPeim.TscTicksPerMicrosecond = 2400;
    EXPECT_EQ(TscDeadline(MOX_NO_TIME_LIMIT), MOX_NO_TIME_LIMIT);
    EXPECT_EQ(TscDeadline(MOX_NO_TIME_LIMIT / 2400 + 1), MOX_NO_TIME_LIMIT);
    env_.tsc().Set(MOX_NO_TIME_LIMIT - 1000);
    EXPECT_EQ(TscDeadline(1), MOX_NO_TIME_LIMIT);
    env_.tsc().Set(MOX_NO_TIME_LIMIT - 2400000);
    EXPECT_FALSE(DeadlineExpired(MOX_NO_TIME_LIMIT));
}

TEST(TimeoutTest, PpiTimeoutsOf100NanosecondsBecomeMicroseconds) {
    EXPECT_EQ(TimeoutToMicroseconds(0), MOX_NO_TIME_LIMIT);
    EXPECT_EQ(TimeoutToMicroseconds(35), 3u);
    EXPECT_EQ(TimeoutToMicroseconds(9), 0u);
    EXPECT_EQ(TimeoutToMicroseconds(MOX_NO_TIME_LIMIT), MOX_NO_TIME_LIMIT / 10);
}

TEST_F(TimerTest, ATimeoutOfNothingExpiresAtOnce) {
    CalibrateTsc();
    EXPECT_TRUE(DeadlineExpired(TscDeadline(TimeoutToMicroseconds(9))));
}

} // namespace
