// The candidate pairs of a fast cache-memory drive and a slow drive, by handle.
#include <cstring>
#include <vector>

#include "middleware/api/ApiHelpers.h"
#include "middleware/api/ExportedCall.h"
#include "middleware/api/VezkStatus.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Session.h"
#include "middleware/model/VezkDiskPair.h"

namespace {

void FillPair(const VezkDiskPair& pair, _UVI_VezkDiskPairInfo& info) {
    info.slowDiskHandle = pair.getSlowDiskHandle();
    info.fastDiskHandle = pair.getFastDiskHandle();
    info.pairVerdict = ToVezkDiskPairStatus(pair.getStatus());
    info.fileCacheMode = ToVezkFileCacheMode(pair.getFileCacheMode());
    info.defaultFileCacheMode = ToVezkFileCacheMode(pair.getDefaultFileCacheMode());
    uint64_t allowed = 0;
    for (uint32_t mode : pair.getAllowedFileCacheModes())
        allowed |= ToVezkFileCacheMode(mode);
    info.allowedFileCacheModes = allowed;
}

} // namespace

extern "C" MOX_EXPORT _UVI_Error UviGetVezkDiskPairHandles(unsigned int session, unsigned int* handleList,
                                                           unsigned int* handleCount) {
    return RunSessionCall(session, [=](Session& s) {
        CConsolidatedError result;
        if (!handleCount) {
            result.SetError(CConsolidatedError::UVI_INVALIDPARAMETER, nullptr);
            result.AddDebugInformation("Get disk pair handles: count is null");
            return result;
        }
        const unsigned int capacity = *handleCount;
        unsigned int total = 0;
        const Session::ControllerList controllers = s.getControllers();
        for (const auto& controller : controllers) {
            const auto& pairs = controller->getVezkDiskPairs();
            const unsigned int remaining = total < capacity ? capacity - total : 0;
            unsigned int* position = total < capacity && handleList ? handleList + total : nullptr;
            if (!position && remaining != 0) {
                result.SetError(CConsolidatedError::UVI_INVALIDPARAMETER, nullptr);
                result.AddErrorMessage("Input buffer can't be null");
                return result;
            }
            if (remaining < pairs.size()) {
                result.SetError(CConsolidatedError::UVI_BUFFERTOOSMALL, nullptr);
            } else {
                // A pair without a handle still gets its slot, so no stale value is left there.
                for (size_t i = 0; i < pairs.size(); ++i)
                    position[i] = pairs[i]->getHandle();
            }
            total += static_cast<unsigned int>(pairs.size());
        }
        *handleCount = total;
        if (capacity < total && result.IsSuccessful())
            result.SetError(CConsolidatedError::UVI_BUFFERTOOSMALL, nullptr);
        return result;
    });
}

extern "C" MOX_EXPORT _UVI_Error UviGetVezkDiskPairInfo(unsigned int session, unsigned int pairHandle,
                                                        _UVI_VezkDiskPairInfo* info) {
    return RunSessionCall(session, [=](Session& s) {
        CConsolidatedError error;
        if (!info || pairHandle == 0) {
            error.SetError(CConsolidatedError::GENERAL_NULL_PARAMETER, nullptr);
            return error;
        }
        const VezkDiskPair* match = nullptr;
        for (const auto& controller : s.getControllers())
            for (const auto& pair : controller->getVezkDiskPairs())
                if (pair->getHandle() == pairHandle)
                    match = pair.get();
        if (!match) {
            // Success here would pass the caller's untouched record off as a pair.
            return InvalidHandleError("Invalid Handle passed in UviGetVezkDiskPairInfo, Received: %d",
                                      pairHandle);
        }
        _UVI_VezkDiskPairInfo filled;
        std::memcpy(&filled, info, sizeof filled);
        FillPair(*match, filled);
        std::memcpy(info, &filled, sizeof filled);
        return error;
    });
}
