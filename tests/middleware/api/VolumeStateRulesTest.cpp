#include <cstdint>

#include <gtest/gtest.h>

#include "middleware/api/UviVolumeRecords.h"
#include "middleware/api/VolumeStateRules.h"

namespace {

using namespace volume_rules;

TEST(RaidLevelCode, TableOfLevelsDomainsAndDisks) {
    struct Case {
        uint32_t level, domains, disks, flags;
        bool pairing;
        uint32_t code, mode;
    };
    const Case cases[] = {
        {0, 1, 2, 0, true, UVI_RAID_LEVEL_PAIRING, 0},
        {0, 1, 2, 0, false, UVI_RAID_LEVEL_0, 0},
        {0, 1, 1, 0, false, UVI_RAID_LEVEL_0_SINGLE, 0},
        {0, 2, 3, 0, false, 0, 0},
        {1, 2, 4, 0, false, UVI_RAID_LEVEL_10, 0},
        {1, 2, 3, 0, false, UVI_RAID_LEVEL_1E, 0},
        {1, 2, 2, kFlagRecoveryMode1 | kFlagRecoveryMode2, false, UVI_RAID_LEVEL_RECOVERY, 1},
        {1, 2, 2, kFlagRecoveryMode2, false, UVI_RAID_LEVEL_RECOVERY, 2},
        {1, 2, 2, 0, false, UVI_RAID_LEVEL_1, 0},
        {1, 1, 2, 0, false, 0, 0},
        {5, 1, 3, 0, false, UVI_RAID_LEVEL_5, 0},
        {5, 2, 6, 0, false, UVI_RAID_LEVEL_50, 0},
        {5, 2, 5, 0, false, 0, 0},
        {6, 1, 4, 0, false, UVI_RAID_LEVEL_6, 0},
        {6, 2, 8, 0, false, UVI_RAID_LEVEL_60, 0},
        {3, 1, 3, 0, false, UVI_RAID_LEVEL_3, 0},
        {3, 2, 6, 0, false, UVI_RAID_LEVEL_30, 0},
        {2, 1, 3, 0, false, 0, 0},
    };
    for (const Case& c : cases) {
        const RaidLevel level = ComputeRaidLevel(c.level, c.domains, c.disks, c.flags, c.pairing);
        EXPECT_EQ(level.code, c.code) << c.level << "/" << c.domains << "/" << c.disks;
        EXPECT_EQ(level.recoveryUpdateMode, c.mode) << c.level << "/" << c.domains << "/" << c.disks;
    }
}

TEST(VolumeState, MapOfRawStatesAndTheLockOverride) {
    const uint32_t expected[] = {1, 10, 2, 3, 11, 4, 5, 6, 8, 12, 7, 13, 14, 0, 0};
    for (uint32_t raw = 0; raw < std::size(expected); ++raw) {
        EXPECT_EQ(BaseVolumeState(raw, 0), expected[raw]) << raw;
        EXPECT_EQ(BaseVolumeState(raw, kFlagLocked), 9u) << raw;
    }
}

TEST(VolumeState, SyncCodes) {
    EXPECT_EQ(RecoverySyncCode(0, 2), 0u);
    EXPECT_EQ(RecoverySyncCode(1, 0), 1u);
    EXPECT_EQ(RecoverySyncCode(1, 2), 2u);
    EXPECT_EQ(RecoverySyncCode(2, 2), 3u);
    EXPECT_EQ(RecoverySyncCode(5, 0), 6u);
    EXPECT_EQ(RecoverySyncCode(9, 0), 7u);
}

// Disk states: 1 offline, 2 missing, 3 failed, 4 SMART event (usable), 6 normal (usable).
TEST(RecoveryStateMachine, TableOfBothUpdateModes) {
    struct Case {
        uint32_t mode, t, s, m, r, state;
    };
    const Case cases[] = {
        // Update mode 2.
        {2, 1, 0, 6, 6, 1},
        {2, 15, 0, 6, 1, 31},
        {2, 15, 4, 6, 8, 36},
        {2, 15, 6, 6, 2, 32},
        {2, 15, 4, 6, 2, 37},
        {2, 15, 4, 6, 3, 33},
        {2, 15, 5, 6, 4, 35},
        {2, 15, 3, 6, 6, 15},
        {2, 2, 0, 1, 6, 34},
        {2, 2, 0, 2, 6, 38},
        {2, 2, 4, 2, 4, 42},
        {2, 2, 2, 2, 6, 2},
        {2, 2, 4, 3, 6, 39},
        {2, 2, 1, 3, 6, 2},
        {2, 2, 2, 6, 6, 40},
        {2, 2, 4, 1, 6, 41},
        {2, 5, 2, 1, 6, 5},
        {2, 5, 2, 6, 6, 40},
        {2, 8, 5, 4, 6, 35},
        {2, 8, 3, 4, 6, 8},
        // Update mode 1.
        {1, 15, 0, 6, 1, 17},
        {1, 15, 4, 6, 1, 21},
        {1, 15, 0, 6, 2, 18},
        {1, 15, 4, 6, 2, 22},
        {1, 15, 6, 6, 3, 19},
        {1, 15, 1, 6, 6, 20},
        {1, 15, 3, 6, 3, 23},
        {1, 2, 0, 1, 6, 24},
        {1, 2, 0, 2, 6, 25},
        {1, 2, 4, 2, 6, 28},
        {1, 2, 3, 2, 6, 29},
        {1, 2, 3, 2, 4, 2},
        {1, 2, 0, 2, 1, 2},
        {1, 2, 4, 3, 6, 26},
        {1, 2, 3, 3, 6, 29},
        {1, 2, 2, 6, 6, 30},
        {1, 2, 4, 1, 6, 27},
        {1, 2, 3, 4, 1, 29},
        {1, 2, 3, 1, 6, 29},
        {1, 2, 3, 1, 4, 2},
        {1, 5, 2, 4, 6, 30},
        {1, 8, 1, 6, 4, 20},
        {1, 5, 2, 1, 6, 5},
        // No recovery volume: the state is kept.
        {0, 2, 2, 6, 6, 2},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RecoveryVolumeState(c.mode, c.t, c.s, c.m, c.r), c.state)
            << "mode " << c.mode << " T " << c.t << " S " << c.s << " M " << c.m << " R " << c.r;
}

TEST(VolumeCachePolicy, DeviceConfigurationWords) {
    EXPECT_EQ(CachePolicyFromConfig(0), 1u);
    EXPECT_EQ(CachePolicyFromConfig(0x100), 4u);
    EXPECT_EQ(CachePolicyFromConfig(0x101), 3u);
    EXPECT_EQ(CachePolicyFromConfig(0x102), 2u);
    EXPECT_EQ(CachePolicyFromConfig(0x103), 2u);
    EXPECT_EQ(CachePolicyFromConfig(0x104), 0u);
    EXPECT_EQ(CachePolicyFromConfig(0xFE00), 1u);
}

} // namespace
