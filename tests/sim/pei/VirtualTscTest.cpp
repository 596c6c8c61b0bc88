// The virtual time-stamp counter: stalls, polls and device events.
#include <gtest/gtest.h>

#include "sim/pei/VirtualTsc.h"

namespace {

using sim::pei::VirtualTsc;

// Polls like a firmware wait: until the counter reaches `until`; the number of reads.
int PollUntil(VirtualTsc& tsc, uint64_t until) {
    int reads = 1;
    while (tsc.Read() < until)
        ++reads;
    return reads;
}

TEST(VirtualTscTest, ALongWaitIsAFewReads) {
    VirtualTsc tsc;
    const uint64_t start = tsc.Now();
    const int reads = PollUntil(tsc, start + tsc.MicrosecondsToTicks(31000000));
    EXPECT_LT(reads, 40);
    // The last reading may be up to twice the wait, and the counter has moved on by one more step.
    EXPECT_LT(tsc.Now() - start, 4 * tsc.MicrosecondsToTicks(31000000));
}

TEST(VirtualTscTest, APollLandsOnADeviceEventAndStartsSmallAgain) {
    VirtualTsc tsc;
    PollUntil(tsc, tsc.Now() + tsc.MicrosecondsToTicks(1000000));
    // After a long wait the steps are long; an event a little ahead still stops the next one.
    const uint64_t event = tsc.Now() + tsc.MicrosecondsToTicks(250);
    tsc.ScheduleEvent(event);
    tsc.Read();
    EXPECT_EQ(tsc.Now(), event);
    const uint64_t before = tsc.Now();
    tsc.Read();
    EXPECT_EQ(tsc.Now() - before, tsc.MicrosecondsToTicks(1));
}

TEST(VirtualTscTest, AStallMovesTheCounterByExactlyItsTime) {
    VirtualTsc tsc;
    tsc.SetTicksPerMicrosecond(3000);
    const uint64_t before = tsc.Now();
    tsc.AdvanceMicroseconds(3000);
    EXPECT_EQ(tsc.Now() - before, 9000000u);
}

TEST(VirtualTscTest, TheCounterStopsAtItsLastValue) {
    VirtualTsc tsc;
    tsc.Set(~uint64_t{0} - 10);
    tsc.AdvanceMicroseconds(1);
    EXPECT_EQ(tsc.Read(), ~uint64_t{0});
    EXPECT_EQ(tsc.Read(), ~uint64_t{0});
}

TEST(VirtualTscTest, ATestsReaderAnswersInstead) {
    VirtualTsc tsc;
    tsc.SetReader([] { return uint64_t{42}; });
    EXPECT_EQ(tsc.Read(), 42u);
}

} // namespace
