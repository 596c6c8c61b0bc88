#include "middleware/model/NvCacheStats.h"

#include <cstring>

namespace {

// Buffers of the framed form: header, parameter block, group data.
constexpr DWORD BufferFor(uint32_t dataLength) {
    return CIoctlRaidGetSetConfig::kFramedDataOffset + dataLength;
}

// The statistics and the two counters, copied from the start of the group data.
constexpr size_t kStatsBytes = sizeof(_NV_CACHE_STATS_GROUP::Statistics);
constexpr size_t kStatsCounter64 = 112;
constexpr size_t kStatsCounter32 = 120;

template <class Record>
CConsolidatedError RunStats(HANDLE target, Record& record, const NvCacheStatsRequestFactory& factory,
                            void (*copy)(const BYTE* group, Record& record)) {
    std::unique_ptr<CIoctlRaidGetSetConfig> request = factory(target);
    CConsolidatedError result;
    if (!request) {
        result.SetError(CConsolidatedError::GENERAL_INSUFF_MEM, nullptr);
        return result;
    }
    result = request->Invoke();
    if (result.IsError())
        return result;
    // GetGroupData verifies and throws what the verification finds.
    copy(request->GetGroupData(), record);
    return result;
}

} // namespace

CIoctlNvCacheStatisticsGroup::CIoctlNvCacheStatisticsGroup(HANDLE target, uint32_t groupId,
                                                           uint32_t dataLength, const char* className)
    : CIoctlRaidGetSetConfig(target, groupId, 0, 0, 0, 0, kRaidAllFields, GET_DIRECTION,
                             BufferFor(dataLength), dataLength, 52 + dataLength),
      m_ClassName(className) {
    m_GroupChecks = true;
}

CConsolidatedError CIoctlNvCacheStatisticsGroup::CheckGroup() const {
    if (GroupWord(0) != m_DataTransferLength)
        return GroupCheckFailure("Invalid GroupLength in %s, expected size: %d, actual: %d", m_ClassName,
                                 static_cast<int>(m_DataTransferLength), static_cast<int>(GroupWord(0)));
    return CConsolidatedError();
}

NvCacheStatsRequestFactory DefaultNvCacheStatsFactory() {
    return [](HANDLE target) { return std::make_unique<CIoctlNvCacheStatsGroup>(target); };
}

NvCacheStatsRequestFactory DefaultNvCachePolicyStatsFactory() {
    return [](HANDLE target) { return std::make_unique<CIoctlNvCachePolicyStatsGroup>(target); };
}

CConsolidatedError RunNvCacheStatsIoctl(HANDLE target, _NV_CACHE_STATS_GROUP& record,
                                        const NvCacheStatsRequestFactory& factory) {
    return RunStats<_NV_CACHE_STATS_GROUP>(
        target, record, factory, [](const BYTE* group, _NV_CACHE_STATS_GROUP& out) {
            std::memcpy(out.Statistics, group, kStatsBytes);
            std::memcpy(&out.Counter64, group + kStatsCounter64, sizeof out.Counter64);
            std::memcpy(&out.Counter32, group + kStatsCounter32, sizeof out.Counter32);
        });
}

CConsolidatedError RunNvCachePolicyStatsIoctl(HANDLE target, NvCachePolicyStatsRecord& record,
                                              const NvCacheStatsRequestFactory& factory) {
    return RunStats<NvCachePolicyStatsRecord>(target, record, factory,
                                              [](const BYTE* group, NvCachePolicyStatsRecord& out) {
                                                  std::memcpy(out.Bytes, group, sizeof out.Bytes);
                                              });
}

uint32_t NvCacheTotalSize(const _NV_CACHE_STATS_GROUP& record) {
    static_assert(kNvCacheTotalSizeOffset + 4 <= sizeof(_NV_CACHE_STATS_GROUP));
    uint32_t total = 0;
    std::memcpy(&total, reinterpret_cast<const uint8_t*>(&record) + kNvCacheTotalSizeOffset, sizeof total);
    return total;
}

uint32_t NvCacheFreeSize(const NvCachePolicyStatsRecord& record) {
    static_assert(kNvCacheFreeSizeOffset + 4 <= sizeof(NvCachePolicyStatsRecord));
    uint32_t free = 0;
    std::memcpy(&free, record.Bytes + kNvCacheFreeSizeOffset, sizeof free);
    return free;
}
