#include "cli/access/ZrcOperations.h"

#include <algorithm>

namespace MOX {

Error ZrcOperations::CheckRemapCandidate(uint32_t controllerHandle,
                                         std::vector<uint32_t>& controllerHandles) {
    std::vector<HybridDiskSetEntry> sets;
    Error result = session_.GetSessionObjects(sets, [](const _UVI_HybridDiskSetInfo&) { return true; });
    if (result.isError())
        return result;
    for (const HybridDiskSetEntry& set : sets) {
        if (std::find(set.controllerHandles.begin(), set.controllerHandles.end(), controllerHandle) ==
            set.controllerHandles.end())
            continue;
        if (set.controllerHandles.size() == 1) {
            result.set(5, "Selected controller is part of Hybrid Disk with other disk missing.");
            return result;
        }
        controllerHandles = set.controllerHandles;
    }
    if (controllerHandles.empty())
        controllerHandles.push_back(controllerHandle);
    return result;
}

Error ZrcOperations::RemapControllers(const std::vector<uint32_t>& controllerHandles) {
    return FullConversion(
        CallUvi(UviZrcRemapController, controllerHandles.data(), static_cast<int>(controllerHandles.size())));
}

} // namespace MOX
