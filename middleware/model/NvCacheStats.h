#pragma once
// The SSD cache (NV cache) statistics a controller reports while its cache is in use: the statistics
// group and the policy statistics group of the RAID configuration interface, and the reads that copy
// them into the controller's fixed records.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "middleware/core/ConsolidatedError.h"
#include "middleware/ioctl/RaidConfig.h"

// The statistics as the controller keeps them: the group's first 112 bytes, then a 64-bit and a
// 32-bit counter (group bytes 112 and 120).
#pragma pack(push, 4)
struct NvCacheStatsRecord {
    uint8_t Statistics[112];
    uint64_t Counter64;
    uint32_t Counter32;
};
#pragma pack(pop)
static_assert(sizeof(NvCacheStatsRecord) == 124);
static_assert(offsetof(NvCacheStatsRecord, Counter64) == 112);
static_assert(offsetof(NvCacheStatsRecord, Counter32) == 120);

struct NvCachePolicyStatsRecord {
    uint8_t Bytes[208];
};
static_assert(sizeof(NvCachePolicyStatsRecord) == 208);

// The cache capacity counters the two records carry, 32-bit each and in the same units: the total
// cache size is the statistics record's next-to-last 32-bit field, the free cache size the policy
// statistics record's word after its group length. Zero records (no cache read) give 0.
constexpr size_t kNvCacheTotalSizeOffset = 116;
constexpr size_t kNvCacheFreeSizeOffset = 4;
uint32_t NvCacheTotalSize(const NvCacheStatsRecord& record);
uint32_t NvCacheFreeSize(const NvCachePolicyStatsRecord& record);

// Whole-group reads of the two statistics groups; each checks its group length after the base checks.
class CIoctlNvCacheStatisticsGroup : public CIoctlRaidGetSetConfig {
protected:
    CIoctlNvCacheStatisticsGroup(HANDLE target, uint32_t groupId, uint32_t dataLength, const char* className);
    CConsolidatedError CheckGroup() const override;

private:
    const char* m_ClassName;
};

class CIoctlNvCacheStatsGroup : public CIoctlNvCacheStatisticsGroup {
    MOX_RUNTIME_CLASS("class CIoctlNvCacheStatsGroup")

public:
    static constexpr uint32_t kDataLength = 124;
    explicit CIoctlNvCacheStatsGroup(HANDLE target)
        : CIoctlNvCacheStatisticsGroup(target, RDEV_NV_CACHE_STATS_GROUP_NO, kDataLength,
                                       "CIoctlNvCacheStatsGroup") {}
};

class CIoctlNvCachePolicyStatsGroup : public CIoctlNvCacheStatisticsGroup {
    MOX_RUNTIME_CLASS("class CIoctlNvCachePolicyStatsGroup")

public:
    static constexpr uint32_t kDataLength = 216;
    explicit CIoctlNvCachePolicyStatsGroup(HANDLE target)
        : CIoctlNvCacheStatisticsGroup(target, RDEV_NV_CACHE_POLICY_STATS_GROUP_NO, kDataLength,
                                       "CIoctlNvCachePolicyStatsGroup") {}
};

// Makers of the requests; tests pass their own.
using NvCacheStatsRequestFactory = std::function<std::unique_ptr<CIoctlRaidGetSetConfig>(HANDLE target)>;
NvCacheStatsRequestFactory DefaultNvCacheStatsFactory();
NvCacheStatsRequestFactory DefaultNvCachePolicyStatsFactory();

// Invokes the request: an invoke failure is returned with the record untouched; an answer that fails
// verification is thrown; otherwise the statistics are copied into the record.
CConsolidatedError
RunNvCacheStatsIoctl(HANDLE target, NvCacheStatsRecord& record,
                     const NvCacheStatsRequestFactory& factory = DefaultNvCacheStatsFactory());
CConsolidatedError
RunNvCachePolicyStatsIoctl(HANDLE target, NvCachePolicyStatsRecord& record,
                           const NvCacheStatsRequestFactory& factory = DefaultNvCachePolicyStatsFactory());
