#pragma once
// What the acceleration actions read of a controller record, and the statistics dump's text.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "middleware/api/UviApi.h"

namespace MOX {

// The two SSD caching capability bytes of a controller record (record offsets 449 and 448); the
// first is the one that says acceleration is supported.
constexpr size_t SSD_CACHING_FLAG = 449 - offsetof(_UVI_ControllerInfo, capabilities);
constexpr size_t SECOND_SSD_CACHING_FLAG = 448 - offsetof(_UVI_ControllerInfo, capabilities);

// The unified NV cache statistics followed by the volume-port performance counters.
constexpr size_t STATS_DUMP_SIZE = sizeof(NvCacheUnifiedStats) + sizeof(_UVI_VolportPerformanceCounters);
static_assert(STATS_DUMP_SIZE == 1544);

// One item per byte, "0x0" for zero, else "0x" and lower-case digits, joined by single blanks.
std::string StatsToHexText(std::span<const uint8_t> block);

// The share of the cache in use, in whole percent: 0 when the total is 0 or the free count is above
// it.
int32_t CacheFullPercent(uint32_t total, uint32_t free);

} // namespace MOX
