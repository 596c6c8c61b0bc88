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

// The statistics group, as the controller keeps it whole: its first 112 bytes (group length
// first), then a 64-bit and a 32-bit counter (group bytes 112 and 120).
#pragma pack(push, 4)
struct _NV_CACHE_STATS_GROUP {
    uint8_t Statistics[112];
    uint64_t Counter64;
    uint32_t Counter32;
};
#pragma pack(pop)
static_assert(sizeof(_NV_CACHE_STATS_GROUP) == 124);
static_assert(offsetof(_NV_CACHE_STATS_GROUP, Counter64) == 112);
static_assert(offsetof(_NV_CACHE_STATS_GROUP, Counter32) == 120);

// The policy statistics group; the controller keeps its first 208 bytes.
struct NvCachePolicyStatsRecord {
    uint8_t Bytes[208];
};
static_assert(sizeof(NvCachePolicyStatsRecord) == 208);
struct _NV_CACHE_POLICY_STATS_GROUP {
    NvCachePolicyStatsRecord Kept;
    uint8_t Rest[8];
};
static_assert(sizeof(_NV_CACHE_POLICY_STATS_GROUP) == 216);
static_assert(offsetof(_NV_CACHE_POLICY_STATS_GROUP, Rest) == 208);

// The cache capacity counters the two records carry, 32-bit each and in the same units: the total
// cache size is the statistics record's next-to-last 32-bit field, the free cache size the policy
// statistics record's word after its group length. Zero records (no cache read) give 0.
constexpr size_t kNvCacheTotalSizeOffset = 116;
constexpr size_t kNvCacheFreeSizeOffset = 4;
uint32_t NvCacheTotalSize(const _NV_CACHE_STATS_GROUP& record);
uint32_t NvCacheFreeSize(const NvCachePolicyStatsRecord& record);

// Whole-group reads of the two statistics groups; each checks its group length after the base checks.
class CIoctlNvCacheStatisticsGroup : public CIoctlRaidGetSetConfig {
protected:
    CIoctlNvCacheStatisticsGroup(HANDLE target, uint32_t groupId, uint32_t dataLength, const char* className);
    CConsolidatedError CheckGroup() const override;

private:
    const char* m_ClassName;
};

// The read-only request of one group: its structure gives the group length, the record the part of
// it that is copied out.
template <class Group, class Record, uint32_t GroupNumber>
class CIoctlRaidGetConfig : public CIoctlNvCacheStatisticsGroup {
    static_assert(sizeof(Record) <= sizeof(Group));

public:
    static constexpr uint32_t kDataLength = sizeof(Group);

protected:
    CIoctlRaidGetConfig(HANDLE target, const char* className)
        : CIoctlNvCacheStatisticsGroup(target, GroupNumber, kDataLength, className) {}
};

class CIoctlNvCacheStatsGroup
    : public CIoctlRaidGetConfig<_NV_CACHE_STATS_GROUP, _NV_CACHE_STATS_GROUP, RDEV_NV_CACHE_STATS_GROUP_NO> {
    MOX_RUNTIME_CLASS("class CIoctlNvCacheStatsGroup")

public:
    explicit CIoctlNvCacheStatsGroup(HANDLE target)
        : CIoctlRaidGetConfig(target, "CIoctlNvCacheStatsGroup") {}
};

class CIoctlNvCachePolicyStatsGroup
    : public CIoctlRaidGetConfig<_NV_CACHE_POLICY_STATS_GROUP, NvCachePolicyStatsRecord,
                                 RDEV_NV_CACHE_POLICY_STATS_GROUP_NO> {
    MOX_RUNTIME_CLASS("class CIoctlNvCachePolicyStatsGroup")

public:
    explicit CIoctlNvCachePolicyStatsGroup(HANDLE target)
        : CIoctlRaidGetConfig(target, "CIoctlNvCachePolicyStatsGroup") {}
};

// Makers of the requests; tests pass their own.
using NvCacheStatsRequestFactory = std::function<std::unique_ptr<CIoctlRaidGetSetConfig>(HANDLE target)>;
NvCacheStatsRequestFactory DefaultNvCacheStatsFactory();
NvCacheStatsRequestFactory DefaultNvCachePolicyStatsFactory();

// Invokes the request: an invoke failure is returned with the record untouched; an answer that fails
// verification is thrown; otherwise the statistics are copied into the record.
CConsolidatedError
RunNvCacheStatsIoctl(HANDLE target, _NV_CACHE_STATS_GROUP& record,
                     const NvCacheStatsRequestFactory& factory = DefaultNvCacheStatsFactory());
CConsolidatedError
RunNvCachePolicyStatsIoctl(HANDLE target, NvCachePolicyStatsRecord& record,
                           const NvCacheStatsRequestFactory& factory = DefaultNvCachePolicyStatsFactory());
