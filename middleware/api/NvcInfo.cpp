#include "middleware/api/NvcInfo.h"

#include <cstring>
#include <memory>

#include "middleware/api/ApiHelpers.h"
#include "middleware/api/ControllerQueries.h"
#include "middleware/api/ExportedCall.h"
#include "middleware/api/UviDeviceQueries.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Disk.h"
#include "middleware/model/RaidArray.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/RecordBytes.h"
#include "middleware/model/Session.h"
#include "middleware/model/SessionHandler.h"
#include "middleware/model/SessionHolder.h"

namespace {

// Fields of the NV cache information group.
constexpr size_t kSizeMiB = 0x04;
constexpr size_t kState = 0x08;
constexpr size_t kMode = 0x0C;
constexpr size_t kCacheVolumeIndex = 0x14;
constexpr size_t kAcceleratedIndex = 0x18;
constexpr size_t kName = 0x1C;
constexpr size_t kLeft = 0x2C;
constexpr size_t kTotal = 0x30;
constexpr size_t kPolicy = 0x34;

uint32_t CacheStateOf(uint32_t state) {
    if (state == 0 || state == 5)
        return 0;
    if (state == 1 || state == 2)
        return 1;
    return 2;
}

int32_t PolicyOf(int32_t value) {
    switch (value) {
    case 0:
        return 2;
    case 1:
        return 16;
    case 60:
        return 8;
    case 600:
        return 4;
    case -1:
        return 1;
    default:
        return -1;
    }
}

void FillHandles(const Controller& controller, int32_t cacheIndex, int32_t acceleratedIndex,
                 _UVI_NvcInfo& info) {
    info.acceleratedVolumeHandle = 0;
    info.acceleratedDiskHandle = 0;
    info.cacheVolumeHandle = 0;
    if (BlockCacheKeptByDriver(controller))
        return;
    if (cacheIndex != -1)
        if (const auto volume = controller.getVolumeByIndex(cacheIndex))
            info.cacheVolumeHandle = volume->getHandle();
    if (acceleratedIndex == -1)
        return;
    const auto volume = controller.getVolumeByIndex(acceleratedIndex);
    if (!volume)
        return;
    const auto array = volume->getArray();
    if (!array)
        return;
    if (volume->getRecordWord(0x18) != 0) {
        info.acceleratedVolumeHandle = volume->getHandle();
    } else if (array->getRecordWord(RaidArray::kNumDisks) == 1) {
        for (const auto& disk : controller.getDisks()) {
            const auto& config = disk->getRaidDiskConfig();
            if (!config)
                continue;
            const int32_t index =
                config->getArrayIndex() != -1 ? config->getArrayIndex() : config->getOriginalArrayIndex();
            if (index == array->getIndex())
                info.acceleratedDiskHandle = disk->getHandle();
        }
    } else {
        info.acceleratedVolumeHandle = volume->getHandle();
    }
}

} // namespace

_UVI_NvcMode NvcModeOfNumber(int32_t modeNumber) {
    static constexpr _UVI_NvcMode kModes[8] = {UVI_NVC_MODE_OFF,  UVI_NVC_MODE_2,   UVI_NVC_MODE_4,
                                               UVI_NVC_MODE_SAFE, UVI_NVC_MODE_256, UVI_NVC_MODE_PERFORMANCE,
                                               UVI_NVC_MODE_32,   UVI_NVC_MODE_64};
    if (modeNumber < 0 || modeNumber > 7)
        return UVI_NVC_MODE_UNKNOWN;
    return kModes[modeNumber];
}

uint32_t PercentOfCapacityUsed(uint32_t total, uint32_t free) {
    if (total == 0 || free >= total)
        return 0;
    return static_cast<uint32_t>((static_cast<uint64_t>(total - free) * 100) / total);
}

int32_t RemainingPercent(uint64_t total, uint64_t used) {
    if (total == 0)
        return -1;
    if (used >= total)
        return 0;
    const auto usedPercent = static_cast<uint64_t>(static_cast<unsigned __int128>(used) * 100 / total);
    return static_cast<int32_t>(100 - usedPercent);
}

void FillNvcInfo(const Controller& controller, _UVI_NvcInfo& info) {
    info.controllerHandle = controller.getHandle();
    const uint8_t* group = controller.getNvCacheInfo();
    if (!group) {
        info.acceleratedVolumeHandle = 0;
        info.acceleratedDiskHandle = 0;
        info.cacheVolumeHandle = 0;
        info.cacheSize = 0;
        info.mode = UVI_NVC_MODE_OFF;
        info.cacheState = 0;
        info.cacheStateFlag = 0;
        info.progress = 0;
        info.policy = 1;
        info.usedPercent = 0;
        info.cacheVolumeIndex = -1;
        info.acceleratedIndex = -1;
        info.cacheName[0] = 0;
        return;
    }
    const uint32_t state = model::Read32(group, kState);
    const auto modeNumber = static_cast<int32_t>(model::Read32(group, kMode));
    info.cacheSize = static_cast<uint64_t>(model::Read32(group, kSizeMiB)) << 20;
    info.mode = NvcModeOfNumber(modeNumber);
    info.cacheState = CacheStateOf(state);
    info.cacheStateFlag = state == 5 ? 1 : 0;
    info.progress = -1;
    if (modeNumber == 6 || modeNumber == 7) {
        const uint64_t left = model::Read32(group, kLeft);
        const uint64_t total = model::Read32(group, kTotal);
        info.progress = RemainingPercent(total, left);
    }
    info.policy = PolicyOf(static_cast<int32_t>(model::Read32(group, kPolicy)));
    info.usedPercent =
        PercentOfCapacityUsed(controller.getCacheCapacityTotal(), controller.getCacheCapacityFree());
    info.cacheVolumeIndex = static_cast<int32_t>(model::Read32(group, kCacheVolumeIndex));
    info.acceleratedIndex = static_cast<int32_t>(model::Read32(group, kAcceleratedIndex));
    std::memcpy(info.cacheName, group + kName, 16);
    info.cacheName[16] = 0;
    FillHandles(controller, info.cacheVolumeIndex, info.acceleratedIndex, info);
}

CConsolidatedError internalUviGetNvcInfo(Session& session, uint32_t controllerHandle, _UVI_NvcInfo* info) {
    CConsolidatedError result;
    const auto controller = session.getControllerByHandle(controllerHandle);
    if (!controller) {
        return InvalidHandleError("Invalid Handle passed in internalUviGetNvcInfo, Received: %d",
                                  controllerHandle);
    }
    FillNvcInfo(*controller, *info);
    return result;
}

extern "C" _UVI_Error UviGetNvcInfo(unsigned int session, uint32_t controllerHandle, _UVI_NvcInfo* info) {
    return RunExportedCall([&] {
        CConsolidatedError result;
        if (!info) {
            result.SetError(CConsolidatedError::GENERAL_NULL_PARAMETER,
                            "nvcInfo cannot be null in GetNvcInfo");
            return result;
        }
        // Before the library starts, and whenever no session can be had, the answer is "invalid session".
        if (!SessionHandler::get().isInitialized()) {
            result.SetError(CConsolidatedError::UVI_INVALIDSESSION, nullptr);
            return result;
        }
        SessionHolder holder;
        Session* s = nullptr;
        CConsolidatedError acquired = SessionHolder::acquire(holder, static_cast<int>(session), s);
        if (acquired.IsError() || !s) {
            result.SetError(CConsolidatedError::UVI_INVALIDSESSION, nullptr);
            return result;
        }
        result = internalUviGetNvcInfo(*s, controllerHandle, info);
        static_cast<void>(SessionHolder::release(holder)); // the call's answer is the query's
        return result;
    });
}
