// The cache volume's creation on a fast disk: the size rules of both action classes and the volumes
// the simulated driver ends up with.
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "middleware/accelerate/UVIAccelerateVezkAction.h"
#include "middleware/accelerate/UVIAccelerateWynAction.h"
#include "middleware/model/RaidArray.h"
#include "tests/middleware/accelerate/ActionTestSupport.h"

namespace {

using namespace actiontest;

constexpr uint64_t kGiB = uint64_t{1} << 30;

class CacheVolumeCreation : public ActionTest {
protected:
    static CacheSizeSpec Explicit(uint64_t bytes) {
        CacheSizeSpec spec;
        spec.mode = CacheSizeSpec::kExplicit;
        spec.size = bytes;
        return spec;
    }
    static uint32_t VolumeFlags(const RaidVolume& volume) { return volume.getRecordWord(108); }
};

// 32 GiB with 1 MiB of metadata and a 16 GiB cache: the data volume takes the rest, rounded down to
// 8 KiB, and the cache volume what is left of the array, hidden as a cache volume.
TEST_F(CacheVolumeCreation, DataVolumeBeforeTheCacheVolume) {
    sim::MachineBuilder b = SsdCachingMachine();
    Start(AddFastDisk(b, 32 * kGiB));
    UVIAccelerateWynAction action;
    CacheSizeSpec cache = Explicit(16 * kGiB);
    const CConsolidatedError created =
        action.createCacheVolume(DiskHandle(action.getSession(), "FAST-01"), cache);
    ASSERT_TRUE(created.IsSuccessful()) << created.GetErrorMessage() << created.GetDebugInformation();

    const std::unique_ptr<Session> after = Fresh();
    const auto data = Volume(*after, "Data_Volume");
    const auto cacheVolume = Volume(*after, "Cache_Volume");
    ASSERT_TRUE(data && cacheVolume);
    const uint64_t dataBytes = (32 * kGiB - (uint64_t{1} << 20) - 16 * kGiB) / 8192 * 8192;
    EXPECT_EQ(dataBytes % 8192, 0u);
    EXPECT_EQ(data->getRecordWord(32), (dataBytes + 0xFFFFF) >> 20); // the driver keeps MiB
    EXPECT_EQ(data->getArray()->getHandle(), cacheVolume->getArray()->getHandle());
    EXPECT_EQ(VolumeFlags(*cacheVolume), 0x4060u);
    EXPECT_EQ(Nvc().cacheVolumeHandle, cacheVolume->getHandle());
}

TEST_F(CacheVolumeCreation, CacheSizeLimitsHoldAtBothEnds) {
    struct Case {
        uint64_t size;
        bool accepted;
    };
    const Case cases[] = {{2 * kGiB, true}, {64 * kGiB, true}, {2 * kGiB - 1, false}, {64 * kGiB + 1, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        sim::MachineBuilder b = SsdCachingMachine();
        Start(AddFastDisk(b, 100 * kGiB));
        UVIAccelerateVezkAction action;
        CacheSizeSpec cache = Explicit(c.size);
        const CConsolidatedError result =
            action.createCacheVolume(DiskHandle(action.getSession(), "FAST-01"), cache);
        if (c.accepted) {
            EXPECT_TRUE(result.IsSuccessful()) << result.GetErrorMessage() << result.GetDebugInformation();
            continue;
        }
        EXPECT_EQ(result.GetErrorCode(), 0xA0070012u);
        EXPECT_STREQ(result.GetErrorMessage(), "Cache size should be greater than 2GB and smaller than 64GB");
    }
}

// A data volume that works out below the class's minimum on a disk without data: the SSD caching
// action drops it, the pairing action raises it to 4 MiB.
TEST_F(CacheVolumeCreation, SmallDataVolumes) {
    {
        sim::MachineBuilder b = SsdCachingMachine();
        Start(AddFastDisk(b, 17 * kGiB));
        UVIAccelerateWynAction wyn;
        CacheSizeSpec cache = Explicit(16 * kGiB);
        const CConsolidatedError alone =
            wyn.createCacheVolume(DiskHandle(wyn.getSession(), "FAST-01"), cache);
        ASSERT_TRUE(alone.IsSuccessful()) << alone.GetErrorMessage() << alone.GetDebugInformation();
        const std::unique_ptr<Session> after = Fresh();
        EXPECT_FALSE(Volume(*after, "Data_Volume"));
        EXPECT_TRUE(Volume(*after, "Cache_Volume"));
    }
    {
        sim::MachineBuilder b = SsdCachingMachine();
        Start(AddFastDisk(b, 17 * kGiB));
        UVIAccelerateVezkAction vezk;
        CacheSizeSpec cache = Explicit(17 * kGiB - (uint64_t{4} << 20));
        const CConsolidatedError raised =
            vezk.createCacheVolume(DiskHandle(vezk.getSession(), "FAST-01"), cache);
        ASSERT_TRUE(raised.IsSuccessful()) << raised.GetErrorMessage() << raised.GetDebugInformation();
        const std::unique_ptr<Session> after = Fresh();
        const auto data = Volume(*after, "Data_Volume");
        ASSERT_TRUE(data);
        EXPECT_EQ(data->getRecordWord(32), 4u); // 4,194,304 bytes
    }
    {
        // With data on the disk the SSD caching action keeps the data volume's minimum.
        sim::MachineBuilder b = SsdCachingMachine();
        b.Set("/disks/1/rotation_rate", "1").Set("/disks/1/sectors", std::to_string(17 * kGiB / 512));
        b.Set("/disks/1/layout/partitions", R"([{"type": "msr", "offset": 1048576, "length": 16777216},
                                               {"type": "basic", "offset": 17825792, "length": 1073741824}])");
        Start(b);
        UVIAccelerateWynAction wyn;
        CacheSizeSpec cache = Explicit(16 * kGiB);
        const CConsolidatedError kept =
            wyn.createCacheVolume(DiskHandle(wyn.getSession(), "ZA1B2C3D"), cache);
        EXPECT_EQ(kept.GetErrorCode(), 0xA0070012u);
        EXPECT_STREQ(kept.GetErrorMessage(), "Data Volume size can't be smaller than 2.000000GB.");
    }
    CacheSizeSpec spec;
    spec.max = uint64_t{1} << 20;
    UVIAccelerateVezkAction vezk;
    vezk.adjustSmallDataVolume(spec);
    EXPECT_EQ(spec.mode, CacheSizeSpec::kExplicit);
    EXPECT_EQ(spec.size, uint64_t{1} << 20);
    spec = CacheSizeSpec();
    vezk.adjustSmallDataVolume(spec);
    EXPECT_EQ(spec.size, 4194304u);
}

// The largest cache is read from the disk's Windows view: here the first disk, a 2 TB solid-state
// disk holding a file system that reports more free space than the disk has.
TEST_F(CacheVolumeCreation, LargestSizeAndUnsetSizes) {
    sim::MachineBuilder b = SsdCachingMachine();
    Start(b.Set("/disks/1/rotation_rate", "1"));
    UVIAccelerateWynAction action;
    const uint32_t disk = DiskHandle(action.getSession(), "ZA1B2C3D");
    CacheSizeSpec automatic;
    automatic.mode = CacheSizeSpec::kAutomatic;
    EXPECT_THROW(
        {
            try {
                static_cast<void>(action.createCacheVolume(disk, automatic));
            } catch (const std::exception& e) {
                EXPECT_STREQ(e.what(), "VolumeSize not specified but retrieval attempted");
                throw;
            }
        },
        std::exception);

    CacheSizeSpec largest;
    largest.mode = CacheSizeSpec::kLargest;
    const CConsolidatedError created = action.createCacheVolume(disk, largest);
    ASSERT_TRUE(created.IsSuccessful()) << created.GetErrorMessage() << created.GetDebugInformation();
    EXPECT_EQ(largest.mode, CacheSizeSpec::kExplicit);
    EXPECT_EQ(largest.size, 64 * kGiB);
    const std::unique_ptr<Session> after = Fresh();
    EXPECT_TRUE(Volume(*after, "Data_Volume"));
    EXPECT_TRUE(Volume(*after, "Cache_Volume"));
}

TEST_F(CacheVolumeCreation, TooSmallADiskForTheSize) {
    sim::MachineBuilder b = SsdCachingMachine();
    Start(AddFastDisk(b, 20 * kGiB));
    UVIAccelerateWynAction action;
    CacheSizeSpec cache = Explicit(30 * kGiB);
    const CConsolidatedError result =
        action.createCacheVolume(DiskHandle(action.getSession(), "FAST-01"), cache);
    EXPECT_EQ(result.GetErrorCode(), 0xA0070012u);
    EXPECT_STREQ(result.GetErrorMessage(), "Fast drive too small for specified cache size");
}

} // namespace
