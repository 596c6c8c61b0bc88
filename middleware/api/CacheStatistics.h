#pragma once
// The cache statistics of the controller that carries the NV cache: four statistics groups of the
// RAID configuration interface and the I/O classifier counters of the accelerated volume.
#include <memory>

#include "middleware/model/NvCacheStats.h"

class Controller;
class Session;

class CIoctlNvCacheStats2Group : public CIoctlNvCacheStatisticsGroup {
    MOX_RUNTIME_CLASS("class CIoctlNvCacheStats2Group")

public:
    static constexpr uint32_t kDataLength = 80;
    explicit CIoctlNvCacheStats2Group(HANDLE target)
        : CIoctlNvCacheStatisticsGroup(target, RDEV_NV_CACHE_STATS2_GROUP_NO, kDataLength,
                                       "CIoctlNvCacheStats2Group") {}
};

// Its group length is a 64-bit word.
class CIoctlNvCacheUnifiedStatsGroup : public CIoctlNvCacheStatisticsGroup {
    MOX_RUNTIME_CLASS("class CIoctlNvCacheUnifiedStatsGroup")

public:
    static constexpr uint32_t kDataLength = 1400;
    explicit CIoctlNvCacheUnifiedStatsGroup(HANDLE target)
        : CIoctlNvCacheStatisticsGroup(target, RDEV_NV_CACHE_UNIFIED_STATS_GROUP_NO, kDataLength,
                                       "CIoctlNvCacheUnifiedStatsGroup") {}

protected:
    CConsolidatedError CheckGroup() const override;
};

// The controller whose statistics the exports read: the first remapping controller, else the first
// AHCI controller; null when the session has neither.
std::shared_ptr<Controller> FindStatisticsController(const Session& session);
