// The cache statistics actions: how full the SSD cache is, and the raw statistics as one hex line.
#include "cli/tasks/AccelerateStats.h"

#include <array>
#include <cstring>

#include "cli/tasks/AccelerateTask.h"

namespace MOX {

std::string StatsToHexText(std::span<const uint8_t> block) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(block.size() * 5);
    for (size_t i = 0; i < block.size(); ++i) {
        if (i != 0)
            text += ' ';
        text += "0x";
        const uint8_t byte = block[i];
        if (byte >= 0x10)
            text += digits[byte >> 4];
        text += digits[byte & 0xF];
    }
    return text;
}

int32_t CacheFullPercent(uint32_t total, uint32_t free) {
    // A driver that counts more free than total would wrap the difference to nearly 100%.
    if (total == 0 || free > total)
        return 0;
    return static_cast<int32_t>(static_cast<float>(total - free) / static_cast<float>(total) * 100.0f);
}

Error AccelerateTask::findAcceleratedController(uint32_t& controllerHandle) {
    controllerHandle = 0;
    std::vector<Controller> controllers;
    Error result = session.GetControllers(controllers, "");
    for (const Controller& controller : controllers) {
        const _UVI_ControllerInfo& info = controller.getInfo();
        if (info.capabilities[SSD_CACHING_FLAG] || info.capabilities[SECOND_SSD_CACHING_FLAG]) {
            controllerHandle = controller.getHandle();
            return result;
        }
    }
    printer->printWrapped("No WYN volume detected", 0, 0);
    result.setType(2);
    return result;
}

Error AccelerateTask::printStats() {
    std::vector<Controller> controllers;
    Error result = session.GetControllers(controllers, "");
    if (result.isError())
        return result;
    uint32_t controllerHandle = 0;
    result = findAcceleratedController(controllerHandle);
    if (result.isError())
        return result;
    _UVI_NvcInfo cache{};
    result = session.GetNvcInfo(cache, controllerHandle);
    if (result.isError())
        return result;
    if (cache.cacheVolumeHandle == 0)
        return Error();
    NvCachePolicyStatInfo policy{};
    result = session.GetNvCachePolicyStatInfo(policy);
    if (result.isError()) {
        printer->printWrapped("Error trying to get NV cache policy statistics.", 0, 0);
        return result;
    }
    NvCacheStatInfo stats{};
    result = session.GetNvCacheStatInfo(stats);
    if (result.isError()) {
        printer->printWrapped("Error trying to get NV cache statistics info.", 0, 0);
        return result;
    }
    // The total is the record's next-to-last word; the free count is the policy record's first value.
    const uint32_t total = stats.values[std::size(stats.values) - 2];
    printer->printWrapped("NV Cache Full: " + std::to_string(CacheFullPercent(total, policy.value4)) + "%", 0,
                          0);
    return Error();
}

Error AccelerateTask::dumpStats() {
    uint32_t controllerHandle = 0;
    Error result = findAcceleratedController(controllerHandle);
    if (result.isError()) {
        printer->printWrapped("Unable to create stats dump", 0, 0);
        return result;
    }
    std::array<uint8_t, STATS_DUMP_SIZE> block{};
    NvCacheUnifiedStats unified{};
    result = session.GetNvCacheUnifiedStats(unified);
    if (result.isError()) {
        printer->printWrapped("Unable to create stats dump", 0, 0);
        return result;
    }
    std::memcpy(block.data(), &unified, sizeof unified);
    // A machine without the counters dumps zeros in their place.
    _UVI_VolportPerformanceCounters counters{};
    (void)session.GetVolportPerformanceCounters(counters);
    std::memcpy(block.data() + sizeof unified, &counters, sizeof counters);
    printer->printWrapped(StatsToHexText(block), 0, 0);
    return Error();
}

} // namespace MOX
