#pragma once
// The cache statistics of the controller that carries the NV cache: four statistics groups of the
// RAID configuration interface and the I/O classifier counters of the accelerated volume.
#include <memory>

#include "middleware/api/UviStatisticsRecords.h"
#include "middleware/model/NvCacheStats.h"

class Controller;
class Session;

struct _NV_CACHE_STATS2_GROUP {
    uint32_t Words[20];
};
static_assert(sizeof(_NV_CACHE_STATS2_GROUP) == 80);

// Its group length is a 64-bit word.
struct NV_CACHE_UNIFIED_STATS_GROUP {
    uint64_t GroupLength;
    uint8_t Data[1392];
};
static_assert(sizeof(NV_CACHE_UNIFIED_STATS_GROUP) == 1400);

class CIoctlNvCacheStats2Group
    : public CIoctlRaidGetConfig<_NV_CACHE_STATS2_GROUP, NvCacheStat2Info, RDEV_NV_CACHE_STATS2_GROUP_NO> {
    MOX_RUNTIME_CLASS("class CIoctlNvCacheStats2Group")

public:
    explicit CIoctlNvCacheStats2Group(HANDLE target)
        : CIoctlRaidGetConfig(target, "CIoctlNvCacheStats2Group") {}
};

class CIoctlNvCacheUnifiedStatsGroup
    : public CIoctlRaidGetConfig<NV_CACHE_UNIFIED_STATS_GROUP, NvCacheUnifiedStats,
                                 RDEV_NV_CACHE_UNIFIED_STATS_GROUP_NO> {
    MOX_RUNTIME_CLASS("class CIoctlNvCacheUnifiedStatsGroup")

public:
    explicit CIoctlNvCacheUnifiedStatsGroup(HANDLE target)
        : CIoctlRaidGetConfig(target, "CIoctlNvCacheUnifiedStatsGroup") {}

protected:
    CConsolidatedError CheckGroup() const override;
};

// The controller whose statistics the exports read: the first remapping controller, else the first
// AHCI controller; null when the session has neither.
std::shared_ptr<Controller> FindStatisticsController(const Session& session);
