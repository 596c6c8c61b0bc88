// The NV cache record and the cache statistics exports on simulated machines whose NV cache is in
// different modes and states.
#include <string>
#include <type_traits>

#include <gtest/gtest.h>

#include "middleware/api/CacheStatistics.h"
#include "middleware/api/NvcInfo.h"
#include "middleware/ioctl/DeviceLocator.h"
#include "tests/middleware/api/QueryTestSupport.h"
#include "tests/support/MachineParts.h"

namespace {

using namespace querytest;

class CacheQueries : public QueryTest {
protected:
    // The default machine with the SATA controller's NV cache information group replaced.
    void StartWithCache(const std::string& nvCache) {
        Start(sim::MachineBuilder::Default().Set("/adapters/0/raid/nv_cache", nvCache));
    }
    _UVI_NvcInfo Nvc(uint32_t controller) {
        _UVI_NvcInfo info = Marked<_UVI_NvcInfo>();
        const _UVI_Error e = UviGetNvcInfo(0, controller, &info);
        EXPECT_EQ(e.status, 0u) << Message(e);
        return info;
    }
    _UVI_VezkInfo Vezk(uint32_t controller) {
        _UVI_VezkInfo info{};
        const _UVI_Error e = UviGetVezkInfo(0, controller, &info);
        EXPECT_EQ(e.status, 0u) << Message(e);
        return info;
    }
};

TEST_F(CacheQueries, ModeStateAndPolicyMaps) {
    struct Case {
        uint32_t mode, state;
        uint32_t policy;
        int32_t wantMode;
        uint32_t wantState;
        uint8_t wantFlag;
        int32_t wantPolicy;
        int32_t wantProgress;
    };
    const Case cases[] = {
        {0, 0, 0, 1, 0, 0, 2, -1},   {1, 1, 1, 2, 1, 0, 16, -1},           {2, 2, 60, 4, 1, 0, 8, -1},
        {3, 3, 600, 8, 2, 0, 4, -1}, {4, 4, 4294967295, 256, 2, 0, 1, -1}, {5, 5, 7, 16, 0, 1, -1, -1},
        {6, 6, 0, 32, 2, 0, 2, 75},  {7, 9, 0, 64, 2, 0, 2, 75},           {8, 0, 0, -1, 0, 0, 2, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        StartWithCache(R"({"size_mb": 16384, "state": )" + std::to_string(c.state) + R"(, "mode": )" +
                       std::to_string(c.mode) + R"(, "policy": )" + std::to_string(c.policy) +
                       R"(, "cache_volume": -1, "accelerated_volume": -1, "name": "CacheVol", "left": 30,
                          "total": 120})");
        const uint32_t controller = ControllerHandles()[0];
        const _UVI_NvcInfo r = Nvc(controller);
        EXPECT_EQ(r.controllerHandle, controller);
        EXPECT_EQ(static_cast<int32_t>(r.mode), c.wantMode);
        EXPECT_EQ(r.cacheState, c.wantState);
        EXPECT_EQ(r.cacheStateFlag, c.wantFlag);
        EXPECT_EQ(r.policy, c.wantPolicy);
        EXPECT_EQ(r.progress, c.wantProgress);
        EXPECT_EQ(r.cacheSize, 16384ull << 20);
        EXPECT_STREQ(r.cacheName, "CacheVol");
        EXPECT_EQ(r.cacheVolumeIndex, -1);
        EXPECT_EQ(r.acceleratedIndex, -1);
        EXPECT_EQ(r.cacheVolumeHandle, 0u);
        EXPECT_EQ(r.usedPercent, 0u);
        EXPECT_EQ(r.reserved73[0], 0xAB); // the reserved bytes are not written
        machine_.reset();
        static_cast<void>(UviFinalize());
    }
}

TEST_F(CacheQueries, ControllerWithoutCacheUnknownHandleAndStoppedLibrary) {
    Start();
    const auto controllers = ControllerHandles();
    // The NVMe controller keeps no NV cache information.
    const _UVI_NvcInfo r = Nvc(controllers[1]);
    EXPECT_EQ(r.mode, UVI_NVC_MODE_OFF);
    EXPECT_EQ(r.cacheState, 0u);
    EXPECT_EQ(r.policy, 1);
    EXPECT_EQ(r.cacheVolumeIndex, -1);
    EXPECT_EQ(r.acceleratedIndex, -1);
    EXPECT_EQ(r.cacheSize, 0u);
    EXPECT_EQ(r.cacheName[0], 0);
    EXPECT_EQ(r.cacheName[1], static_cast<char>(0xAB));

    _UVI_NvcInfo info = Marked<_UVI_NvcInfo>();
    _UVI_Error e = UviGetNvcInfo(0, 0xBEEF, &info);
    EXPECT_EQ(e.code, 0xA0000004u);
    EXPECT_EQ(Message(e), "Invalid Handle passed in internalUviGetNvcInfo, Received: 48879");

    ASSERT_EQ(UviFinalize().status, 0u);
    e = UviGetNvcInfo(0, controllers[0], &info);
    EXPECT_EQ(e.code, 0xA0010008u);
    EXPECT_EQ(e.status, 8u);
    EXPECT_TRUE(StillMarked(info));
    ASSERT_EQ(UviInitialize().status, 0u);
}

TEST_F(CacheQueries, PercentagesStayWithinZeroAndHundred) {
    EXPECT_EQ(PercentOfCapacityUsed(0, 0), 0u);
    EXPECT_EQ(PercentOfCapacityUsed(200, 50), 75u);
    EXPECT_EQ(PercentOfCapacityUsed(0xFFFFFFFF, 0), 100u); // no 32-bit wrap of (total - free) x 100
    EXPECT_EQ(PercentOfCapacityUsed(100, 300), 0u);        // more free than total is not negative
    EXPECT_EQ(RemainingPercent(0, 5), -1);
    EXPECT_EQ(RemainingPercent(120, 30), 75);
    EXPECT_EQ(RemainingPercent(100, 250), 0);
    EXPECT_EQ(RemainingPercent(~0ull, ~0ull / 2), 51);
}

// The SATA controller with an SSD cache in use (mode 5, so its statistics are read): volume 1 on
// the one-disk array 1 is accelerated, volume 2 on array 0 is the cache volume.
sim::MachineBuilder CacheInUse(uint32_t cacheVolumeFlags, const char* capabilityA, const std::string& stats) {
    sim::MachineBuilder b = sim::MachineBuilder::Default();
    b.Set("/adapters/0/raid/disks/1", R"({"path": 0, "target": 1, "lun": 0})");
    const int array = static_cast<int>(moxtest::AddRaidArray(b, {1}, 1));
    moxtest::RaidVolume accelerated;
    accelerated.name = "Accel";
    accelerated.array = array;
    accelerated.facts = R"(, "cache_policy": 0)";
    moxtest::CacheVolume cache;
    cache.volume.name = "Cache";
    // On the mirror's array, in the room its volume leaves.
    cache.volume.sizeMb = 300;
    cache.volume.facts = R"(, "cache_policy": 0, "flags": )" + std::to_string(cacheVolumeFlags);
    cache.acceleratedVolume = static_cast<int>(moxtest::AddRaidVolume(b, accelerated));
    cache.mode = 5;
    moxtest::AddCacheVolume(b, cache);
    return b.Set("/adapters/0/raid/controller/capability_a", capabilityA)
        .Set("/adapters/0/raid/nv_cache_stats", stats);
}

TEST_F(CacheQueries, UsedPercentComesFromTheCapacityCounters) {
    // The total cache size is the statistics group's word at 116 (its 29th word after the length),
    // the free size the policy statistics group's word after its length.
    struct Case {
        uint32_t total, free, used;
    };
    const Case cases[] = {{1000, 250, 75}, {1000, 1000, 0}, {1000, 0, 100}, {0, 0, 0}, {400, 900, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.total << " " << c.free);
        std::string stats = R"({"stats": [)";
        for (int i = 0; i < 28; ++i)
            stats += "0, ";
        stats += std::to_string(c.total) + R"(], "policy": [)" + std::to_string(c.free) + "]}";
        // The NV cache's own counters (half left) are not the capacity's: the pairing record's
        // block-cache share is the NV cache record's.
        Start(CacheInUse(0, "637534223", stats)
                  .Set("/adapters/0/raid/nv_cache/left", "60")
                  .Set("/adapters/0/raid/nv_cache/total", "120"));
        EXPECT_EQ(Nvc(ControllerHandles()[0]).usedPercent, c.used);
        EXPECT_EQ(Vezk(ControllerHandles()[0]).blockCacheUsedPercent, c.used);
        machine_.reset();
        static_cast<void>(UviFinalize());
    }
    // A cache that is not in use has its statistics left unread: nothing counts as used.
    Start(
        sim::MachineBuilder::Default()
            .Set("/adapters/0/raid/nv_cache", R"({"state": 0, "mode": 0, "cache_volume": -1,
                                                    "accelerated_volume": -1})")
            .Set(
                "/adapters/0/raid/nv_cache_stats",
                R"({"stats": [0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                 0, 1000], "policy": [250]})"));
    EXPECT_EQ(Nvc(ControllerHandles()[0]).usedPercent, 0u);
}

TEST_F(CacheQueries, DriverKeptCacheVolumeHidesTheAccelerationOnlyWithoutSsdCaching) {
    // Bit 25 of capability word A (SSD caching) is the controller's acceleration byte.
    struct Case {
        uint32_t cacheVolumeFlags;
        const char* capabilityA;
        uint8_t accelerationByte;
        bool hidden;
    };
    const Case cases[] = {
        {0x10000, "603979791", 0, true},
        {0x10000, "637534223", 1, false},
        {0, "603979791", 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.cacheVolumeFlags << " " << c.capabilityA);
        // The controller table, with its dictionaries, is read once per process unless reset.
        DeviceLocator::ResetForTests();
        Start(CacheInUse(c.cacheVolumeFlags, c.capabilityA, "{}"));
        const uint32_t controller = ControllerHandles()[0];
        EXPECT_EQ(Controller(controller).capabilities[449 - 424], c.accelerationByte);
        const _UVI_NvcInfo r = Nvc(controller);
        const auto accelerated = EndDeviceBySerial("ZA1B2C4E");
        ASSERT_TRUE(accelerated);
        // The accelerated volume is a RAID 0 volume on a one-disk array: the disk is what is accelerated.
        EXPECT_EQ(r.acceleratedVolumeHandle, 0u);
        EXPECT_EQ(r.acceleratedDiskHandle, c.hidden ? 0u : accelerated->endDeviceHandle);
        EXPECT_EQ(r.cacheVolumeHandle != 0, !c.hidden);
        EXPECT_EQ(r.cacheVolumeIndex, 2);
        EXPECT_EQ(r.acceleratedIndex, 1);
        // The disk of the accelerated one-disk array shows no array either way.
        EXPECT_EQ(accelerated->arrayHandle, 0u);
        EXPECT_EQ(accelerated->usage, c.hidden ? 1u : 7u);
        machine_.reset();
        static_cast<void>(UviFinalize());
    }
    DeviceLocator::ResetForTests();
}

class Statistics : public QueryTest {};

// Each statistics request is the read-only request of its group structure; the group's size is the
// group length the answer is checked against.
template <class Request, class Group, class Record, uint32_t Number>
constexpr bool ReadsGroup = std::is_base_of_v<CIoctlRaidGetConfig<Group, Record, Number>, Request>&&
                                Request::kDataLength == sizeof(Group);
static_assert(
    ReadsGroup<CIoctlNvCachePolicyStatsGroup, _NV_CACHE_POLICY_STATS_GROUP, NvCachePolicyStatsRecord, 17>);
static_assert(ReadsGroup<CIoctlNvCacheStatsGroup, _NV_CACHE_STATS_GROUP, _NV_CACHE_STATS_GROUP, 18>);
static_assert(ReadsGroup<CIoctlNvCacheStats2Group, _NV_CACHE_STATS2_GROUP, NvCacheStat2Info, 23>);
static_assert(
    ReadsGroup<CIoctlNvCacheUnifiedStatsGroup, NV_CACHE_UNIFIED_STATS_GROUP, NvCacheUnifiedStats, 25>);

TEST_F(Statistics, GroupsOfTheSataControllerAreCopied) {
    Start(sim::MachineBuilder::Default().Set("/adapters/0/raid/nv_cache_stats",
                                             R"({"policy": [7, 1, 2], "stats": [11, 12], "stats2": [21, 22],
                                                 "unified": [31, 32]})"));
    NvCachePolicyStatInfo policy = Marked<NvCachePolicyStatInfo>();
    _UVI_Error e = UviGetNvCachePolicyStatInfo(0, &policy);
    ASSERT_EQ(e.status, 0u) << Message(e);
    EXPECT_EQ(policy.groupLength, 216u);
    EXPECT_EQ(policy.value4, 7u);
    EXPECT_EQ(policy.counters64[0], 1u | uint64_t{2} << 32);
    EXPECT_EQ(policy.counters32[9], 0u);

    NvCacheStatInfo stats = Marked<NvCacheStatInfo>();
    ASSERT_EQ(UviGetNvCacheStatInfo(0, &stats).status, 0u);
    EXPECT_EQ(stats.groupLength, 124u);
    EXPECT_EQ(stats.values[0], 11u);
    EXPECT_EQ(stats.values[1], 12u);
    EXPECT_EQ(stats.values[29], 0u);

    NvCacheStat2Info stats2 = Marked<NvCacheStat2Info>();
    ASSERT_EQ(UviGetNvCacheStat2Info(0, &stats2).status, 0u);
    EXPECT_EQ(stats2.groupLength, 80u);
    EXPECT_EQ(stats2.values[1], 22u);

    NvCacheUnifiedStats unified = Marked<NvCacheUnifiedStats>();
    ASSERT_EQ(UviGetNvCacheUnifiedStats(0, &unified).status, 0u);
    EXPECT_EQ(unified.groupLength, 1400u);
    EXPECT_EQ(unified.data[0], 31);
    EXPECT_EQ(unified.data[4], 32);
    EXPECT_EQ(unified.data[1391], 0);
}

TEST_F(Statistics, FailedVerificationIsReturnedAndTheRecordKept) {
    Start();
    unsigned int session = 0;
    ASSERT_EQ(UviSessionOpen(&session).status, 0u);
    // The policy group's length word (answer byte 80) says 200; the session's snapshot is built, so
    // the statistics request is the only RAID request the call sends.
    machine_->machine().faults().Add(R"({"kind": "DeviceIoControl", "match": {"signature": "OrvexRdp"},
        "times": 1, "outcome": {"patch": [{"offset": 80, "hex": "C8000000"}]}})");
    NvCachePolicyStatInfo policy = Marked<NvCachePolicyStatInfo>();
    const _UVI_Error e = UviGetNvCachePolicyStatInfo(session, &policy);
    EXPECT_EQ(e.code, 0xA0040405u);
    EXPECT_EQ(Message(e),
              "Invalid GroupLength in CIoctlNvCachePolicyStatsGroup, expected size: 216, actual: 200");
    EXPECT_TRUE(StillMarked(policy));
    EXPECT_EQ(UviSessionClose(session).status, 0u);
}

TEST_F(Statistics, NullRecordsAndMachinesWithoutACacheController) {
    Start(sim::MachineBuilder::Default()
              .Remove("/adapters/0")
              .Remove("/volumes")
              .Remove("/disks/6")
              .Remove("/disks/5")
              .Remove("/disks/4")
              .Remove("/disks/1")
              .Remove("/disks/0"));
    auto expectNull = [](const _UVI_Error& e, const char* debug) {
        EXPECT_EQ(e.code, 0xA0000006u) << debug;
        EXPECT_EQ(Debug(e), debug);
    };
    expectNull(UviGetNvCachePolicyStatInfo(0, nullptr),
               "Get NVCache policy stat info: stat structure is null");
    expectNull(UviGetNvCacheStatInfo(0, nullptr), "Get NVCache stat info: stats structure is null");
    expectNull(UviGetNvCacheStat2Info(0, nullptr), "Get NVCache stat 2 info: stat structure is null");
    expectNull(UviGetNvCacheUnifiedStats(0, nullptr),
               "Get NVCache unified stat info: stat structure is null");
    expectNull(UviGetIoClassifierStats(0, nullptr), "Get IO classifiers stat: stats structire is null");
    // Only the NVMe controller of the vendor's driver is left.
    NvCacheStatInfo stats = Marked<NvCacheStatInfo>();
    _UVI_Error e = UviGetNvCacheStatInfo(0, &stats);
    EXPECT_EQ(e.code, 0xA0010010u);
    EXPECT_EQ(Message(e), "Can't find Ahci controller");
    _UVI_IoClassifierCounters counters = Marked<_UVI_IoClassifierCounters>();
    e = UviGetIoClassifierStats(0, &counters);
    EXPECT_EQ(e.code, 0xA0010010u);
    EXPECT_TRUE(StillMarked(counters));
}

TEST_F(Statistics, ClassifierCountersOfTheAcceleratedVolume) {
    Start();
    _UVI_IoClassifierCounters counters = Marked<_UVI_IoClassifierCounters>();
    _UVI_Error e = UviGetIoClassifierStats(0, &counters);
    EXPECT_EQ(e.code, 0xA0000008u);
    EXPECT_EQ(Message(e), "Invalid call in UviGetIoClassifierStats");
    EXPECT_TRUE(StillMarked(counters));

    machine_.reset();
    static_cast<void>(UviFinalize());
    Start(sim::MachineBuilder::Default()
              .Set("/adapters/0/raid/nv_cache",
                   R"({"state": 1, "mode": 5, "cache_volume": -1, "accelerated_volume": 0})")
              .Set("/adapters/0/classifier", R"({"counters": [5, 6, 7]})"));
    e = UviGetIoClassifierStats(0, &counters);
    ASSERT_EQ(e.status, 0u) << Message(e);
    EXPECT_EQ(counters.halves[0][0].first, 5u);
    EXPECT_EQ(counters.halves[0][0].second, 6u);
    EXPECT_EQ(counters.halves[0][1].first, 7u);
    EXPECT_EQ(counters.halves[1][15].second, 0u);
}

} // namespace
