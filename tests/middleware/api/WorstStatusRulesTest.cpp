#include <cstdint>

#include <gtest/gtest.h>

#include "middleware/api/WorstStatus.h"

namespace {

using namespace worst_status;

TEST(WorstStatusTable, DiskStatesAndUsages) {
    struct Case {
        uint32_t state, usage;
        bool accelerated;
        uint32_t share;
    };
    const Case cases[] = {
        {0, 9, false, 0}, {7, 0, false, 0}, {1, 1, false, 0}, {1, 1, true, 1},  {1, 2, false, 0},
        {1, 4, false, 0}, {1, 7, false, 0}, {1, 0, false, 1}, {1, 3, false, 1}, {1, 8, false, 1},
        {3, 1, false, 1}, {3, 3, false, 1}, {3, 7, false, 1}, {3, 2, false, 2}, {3, 0, false, 2},
        {3, 8, false, 2}, {6, 0, false, 0}, {8, 7, false, 0}, {6, 8, false, 1}, {2, 0, false, 1},
        {4, 1, false, 1}, {5, 1, false, 1}, {9, 1, false, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DiskContribution(c.state, c.usage, c.accelerated), c.share)
            << "state " << c.state << " usage " << c.usage;
}

TEST(WorstStatusTable, VolumeStates) {
    for (uint32_t state : {0, 2, 11, 13, 14, 15, 19, 21, 24, 26, 27, 28, 29, 33, 34, 38, 39, 41, 42})
        EXPECT_EQ(VolumeContribution(state, false, false, true), 1u) << state;
    for (uint32_t state : {1, 4, 5, 6, 7, 8, 9, 10, 12, 17, 18, 20, 22, 23, 25, 30, 31, 32, 35, 36, 37, 40}) {
        EXPECT_EQ(VolumeContribution(state, false, false, true), 0u) << state;
        EXPECT_EQ(VolumeContribution(state, false, false, false), 1u) << state;
    }
    for (uint32_t state : {3, 43, 1000})
        EXPECT_EQ(VolumeContribution(state, true, true, false), 2u) << state;
    EXPECT_EQ(VolumeContribution(16, false, false, true), 2u);
    EXPECT_EQ(VolumeContribution(16, true, false, true), 0u);
    EXPECT_EQ(VolumeContribution(16, false, true, true), 0u);
    EXPECT_EQ(VolumeContribution(16, false, true, false), 1u);
    EXPECT_EQ(CacheContribution(5), 1u);
    EXPECT_EQ(CacheContribution(4), 0u);
}

} // namespace
