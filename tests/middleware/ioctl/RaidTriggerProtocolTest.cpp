// The trigger protocol as the library's configuration transactions run it, with the RAID requests
// against the simulated driver: action fields written and read back, the actions-in-progress
// counters, the pending error number, the trigger, and polling every 500 ms on the virtual clock.
#include "middleware/ioctl/RaidConfig.h"
#include "middleware/ioctl/RaidConfigSetters.h"
#include "sim/Clock.h"
#include "tests/middleware/ioctl/RaidTestMachine.h"

namespace {

using namespace raidtest;

struct Counters {
    uint32_t volumes = 0, errorNumber = 0;
    int32_t volumeActions = 0, diskActions = 0;
};

class RaidTriggerProtocol : public RaidTest {
protected:
    void SetUp() override {
        RaidTest::SetUp();
        machine_->Update([](json& s) { s["adapters"][0]["raid"]["action_ms"] = 1000; });
    }

    Counters ReadConfig() {
        CIoctlRaidCfgGroup cfg(adapter_);
        cfg.SetVerifyOnInvoke(true);
        EXPECT_TRUE(cfg.InvokeBusyRetry(5000, 300).IsSuccessful());
        const BYTE* g = cfg.GetGroupData();
        return {Word(g, 4), Word(g, 16), static_cast<int32_t>(Word(g, 188)),
                static_cast<int32_t>(Word(g, 192))};
    }

    // Writes the trigger after clearing a pending error number, then polls every 500 ms until no
    // action is in progress; answers the driver's error number and counts the polls.
    uint32_t Trigger(uint32_t kind, int* polls) {
        Counters before = ReadConfig();
        EXPECT_EQ(before.volumeActions + before.diskActions, 0);
        if (before.errorNumber != 0) {
            CIoctlRaidCfg_ClearErrorNum clear(adapter_);
            clear.SetVerifyOnInvoke(true);
            EXPECT_TRUE(clear.Invoke().IsSuccessful());
        }
        CIoctlRaidCfg_SetTrigger trigger(adapter_, kind);
        trigger.SetVerifyOnInvoke(true);
        EXPECT_TRUE(trigger.Invoke().IsSuccessful());
        *polls = 0;
        for (;;) {
            Counters now = ReadConfig();
            ++*polls;
            if (now.volumeActions == 0 && now.diskActions == 0)
                return now.errorNumber;
            sim::Clock::SleepMs(500);
        }
    }

    sim::ScopedVirtualClock clock_;
};

TEST_F(RaidTriggerProtocol, VolumeDeletionCompletesOverVirtualTime) {
    CIoctlRaidVolume_SetAction action(adapter_, 0, 1);
    action.SetVerifyOnInvoke(true);
    ASSERT_TRUE(action.Invoke().IsSuccessful());
    // The setup is read back before the trigger.
    CIoctlRaidVolumeGroup check(adapter_, 0);
    check.SetVerifyOnInvoke(true);
    ASSERT_TRUE(check.Invoke().IsSuccessful());
    EXPECT_EQ(Word(check.GetGroupData(), 88), 1u);

    const uint64_t start = sim::Clock::NowMs();
    int polls = 0;
    EXPECT_EQ(Trigger(1, &polls), 0u);
    EXPECT_EQ(polls, 3); // in progress at 0 and 500 ms, done at 1000 ms
    EXPECT_EQ(sim::Clock::NowMs() - start, 1000u);
    EXPECT_EQ(ReadConfig().volumes, 0u);
}

TEST_F(RaidTriggerProtocol, CreationThroughParseAndCreateAndTheErrorNumber) {
    for (uint32_t disk : {2u, 3u}) {
        CIoctlRaidDisk_SetCheckbox mark(adapter_, disk, 1);
        ASSERT_TRUE(mark.Invoke().IsSuccessful());
    }
    ASSERT_TRUE(CIoctlRaidCfg_SetArrayIndex(adapter_, 0xFFFFFFFF).Invoke().IsSuccessful());
    CIoctlRaidNewVolumeGroup_SetGroup group(adapter_);
    group.ValuesToSet("Mirror", 6, 0, 128, 0, 2, 1, 0);
    ASSERT_TRUE(group.Invoke().IsSuccessful());
    int polls = 0;
    EXPECT_EQ(Trigger(4, &polls), 7u); // the name is taken

    CIoctlRaidNewVolumeGroup_SetGroup renamed(adapter_);
    renamed.ValuesToSet("Stripe", 6, 0, 128, 0, 2, 1, 0);
    ASSERT_TRUE(renamed.Invoke().IsSuccessful());
    EXPECT_EQ(Trigger(4, &polls), 0u);
    CIoctlRaidNewVolumeGroup offer(adapter_);
    offer.SetVerifyOnInvoke(true);
    ASSERT_TRUE(offer.Invoke().IsSuccessful());
    const uint32_t offered = Word(offer.GetGroupData(), 20);
    EXPECT_GT(offered, 0u);

    CIoctlRaidNewVolumeGroup_SetGroup create(adapter_);
    create.ValuesToSet("Stripe", 6, offered, 128, 0, 2, 1, 0);
    ASSERT_TRUE(create.Invoke().IsSuccessful());
    EXPECT_EQ(Trigger(5, &polls), 0u);
    EXPECT_EQ(ReadConfig().volumes, 2u);
    CIoctlRaidVolumeGroup created(adapter_, 1);
    created.SetVerifyOnInvoke(true);
    ASSERT_TRUE(created.Invoke().IsSuccessful());
    char name[17];
    created.CopyGroupSerialNumber(name, sizeof(name));
    EXPECT_STREQ(name, "Stripe");
    EXPECT_EQ(Word(created.GetGroupData(), 32), offered);
}

TEST_F(RaidTriggerProtocol, ActionsInProgressAreVisibleToASecondCaller) {
    ASSERT_TRUE(CIoctlRaidDisk_SetAction(adapter_, 2, 5).Invoke().IsSuccessful());
    ASSERT_TRUE(CIoctlRaidCfg_SetTrigger(adapter_, 2).Invoke().IsSuccessful());
    Counters busy = ReadConfig();
    EXPECT_EQ(busy.diskActions, 1);
    sim::Clock::SleepMs(1000);
    EXPECT_EQ(ReadConfig().diskActions, 0);
    CIoctlRaidDiskGroup spare(adapter_, 2);
    spare.SetVerifyOnInvoke(true);
    ASSERT_TRUE(spare.Invoke().IsSuccessful());
    EXPECT_EQ(Word(spare.GetGroupData(), 144), 4u); // a spare now
}

} // namespace
