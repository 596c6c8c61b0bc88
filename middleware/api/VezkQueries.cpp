// The cache-memory pairing information of a controller and the volume port's counters.
#include "middleware/api/VezkQueries.h"

#include <cstring>
#include <memory>

#include "middleware/api/ApiHelpers.h"
#include "middleware/api/ControllerQueries.h"
#include "middleware/api/ExportedCall.h"
#include "middleware/api/NvcInfo.h"
#include "middleware/ioctl/VezkRequests.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Disk.h"
#include "middleware/model/RaidArray.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/RecordBytes.h"
#include "middleware/model/Session.h"
#include "middleware/model/WinDiskInterface.h"

namespace {

// The NV cache information's size (MiB) and its counters.
constexpr size_t kNvCacheSizeMb = 4;
constexpr size_t kNvCacheLeft = 44;
constexpr size_t kNvCacheTotal = 48;

constexpr uint32_t kNoAddress = 0xFFFFFFFF;

int32_t Progress(int32_t value) {
    return value < 0 ? -1 : value;
}

uint32_t PackAddress(int32_t portNumber, uint32_t word) {
    return (static_cast<uint32_t>(portNumber) << 24) | (word & 0xFFFFFF);
}

std::shared_ptr<Controller> FindController(Session& session, uint32_t handle, CConsolidatedError& error) {
    if (handle == 0) {
        for (const auto& controller : session.getControllers())
            if (controller->isVezkSupported())
                return controller;
        error.SetError(CConsolidatedError::HALVEX_DRIVER_FEATURENOTSUPPORTED, nullptr);
        error.AddErrorMessage("Halvex not supported on any controller");
        return nullptr;
    }
    auto controller = session.getControllerByHandle(handle);
    if (!controller) {
        error = InvalidHandleError("Invalid Handle passed in internalUviVezkNvcInfo, Received: %d", handle);
    }
    return controller;
}

// The first disk of the controller that came from `original`'s array and now sits in `pairing`'s.
uint32_t MemberDiskHandle(const Controller& controller, const std::shared_ptr<RaidVolume>& original,
                          const std::shared_ptr<RaidVolume>& pairing) {
    if (!original || !pairing || !original->getArray() || !pairing->getArray())
        return 0;
    for (const auto& disk : controller.getDisks()) {
        const auto& config = disk->getRaidDiskConfig();
        if (config && config->getOriginalArrayHandle() == original->getArray()->getHandle() &&
            config->getArrayHandle() == pairing->getArray()->getHandle())
            return disk->getHandle();
    }
    return 0;
}

bool HasEfiSystemPartition(Session& session, const Controller& controller, uint32_t extendedAddress,
                           uint32_t slowDiskHandle) {
    const auto* view = session.findWinDiskInterfaceByScsiAddress(static_cast<int>(extendedAddress)).get();
    if (!view && slowDiskHandle != 0) {
        const auto slow = controller.getDiskByHandle(slowDiskHandle);
        if (slow) {
            // The address Windows gives the slow disk when it has one, else the driver's.
            const uint32_t second = slow->getWinScsiAddress();
            const uint32_t first = slow->getScsiAddress();
            const uint32_t word = second != kNoAddress ? second : first;
            if (word != kNoAddress)
                view = session
                           .findWinDiskInterfaceByScsiAddress(
                               static_cast<int>(PackAddress(controller.getPortNumber(), word)))
                           .get();
        }
    }
    return view && view->hasEfiSystemPartition();
}

void FillPairing(Session& session, const Controller& controller, _UVI_VezkInfo& info) {
    const VezkPairingInfo& a = *controller.getVezkInfo();
    info.blockMigrationProgress = Progress(a.blockProgress());
    info.bootMigrationProgress = Progress(a.bootProgress());
    info.valueA = a.valueA();
    info.valueB = a.valueB();
    info.valueAPlusC = a.valueA() + a.valueC();
    info.valueDTimesC = uint64_t{a.blockSize()} * a.valueC();
    const uint32_t pairType = a.pairType();
    info.pairType = pairType >= 1 && pairType <= 3 ? pairType : 0;
    info.value4C = a.value4C();
    info.migrationType = a.migrationType();
    info.pairingState = a.pairState();
    info.halvexStatus = static_cast<uint32_t>(a.status());
    info.extendedFlag = a.extendedFlag();
    info.value72 = a.volumeOnSlow();
    info.extendedAddress = PackAddress(controller.getPortNumber(), a.volumeAddress());
    info.value44 = a.physicalBlockSize();
    info.value40 = a.blockSize();
    info.fileCacheState = pairType == 0 ? 0 : (a.valueC() != 0 ? 1 : 2);

    const auto pairingVolume = controller.getVolumeByIndex(a.volumeIndex());
    info.pairingVolumeHandle = pairingVolume ? pairingVolume->getHandle() : 0;
    info.fastDiskHandle = MemberDiskHandle(controller, controller.getBlockCacheVolume(), pairingVolume);
    info.slowDiskHandle = MemberDiskHandle(controller, controller.getAcceleratedVolume(), pairingVolume);
    info.efiSystemPartition =
        HasEfiSystemPartition(session, controller, info.extendedAddress, info.slowDiskHandle);

    // A disk the driver reports missing while Windows shows it outside the controller's device
    // addresses.
    for (const auto& disk : controller.getDisks()) {
        const auto& config = disk->getRaidDiskConfig();
        const auto& view = disk->getWinDiskInterface();
        if (config && view && config->isMissing() && !controller.isEndDeviceAddress(view->getScsiAddress()))
            info.value72 = 1;
    }

    info.overallMigrationProgress =
        OverallMigrationProgress(Progress(a.overallProgress()), info.pairingState, info.migrationType);
}

void FillCache(const Controller& controller, _UVI_VezkInfo& info) {
    // The block cache's used share is the one of its capacity, as the NV cache record gives it.
    info.blockCacheUsedPercent =
        PercentOfCapacityUsed(controller.getCacheCapacityTotal(), controller.getCacheCapacityFree());
    const uint8_t* nvCache = controller.getNvCacheInfo();
    if (!nvCache) {
        info.cacheRemainingPercent = -1;
        return;
    }
    info.cacheSize = uint64_t{model::Read32(nvCache, kNvCacheSizeMb)} << 20;
    const uint64_t total = model::Read32(nvCache, kNvCacheTotal);
    const uint64_t left = model::Read32(nvCache, kNvCacheLeft);
    if (total == 0) {
        info.cacheRemainingPercent = -1;
        return;
    }
    // 64-bit products: a cache of more than 42 million blocks would overflow 32 bits.
    const uint64_t used = left > total ? 0 : total - left;
    info.cacheRemainingPercent = static_cast<int32_t>(100 - used * 100 / total);
}

} // namespace

int32_t OverallMigrationProgress(int32_t progress, uint32_t pairingState, uint32_t migrationType) {
    // An unknown progress stays unknown instead of being halved as an unsigned number.
    if (pairingState != 2 || progress < 0)
        return progress;
    return progress / 2 + (migrationType == 1 ? 50 : 0);
}

CConsolidatedError internalUviVezkNvcInfo(Session& session, uint32_t controllerHandle, _UVI_VezkInfo& info) {
    CConsolidatedError error;
    const auto controller = FindController(session, controllerHandle, error);
    if (!controller)
        return error;
    std::memset(&info, 0, sizeof info);
    info.controllerHandle = controller->getHandle();
    info.vezkSupported = controller->isVezkSupported();
    const uint32_t platform = controller->getVezkPlatformSupport();
    info.cpuSupported = platform & 1;
    info.pchSupported = (platform >> 1) & 1;
    info.osSupported = (platform >> 2) & 1;
    info.halvexFeatureSupported = (platform >> 3) & 1;
    info.extendedAddress = kNoAddress;
    if (controller->getVezkInfo()) {
        info.optimizationState = static_cast<uint32_t>(controller->getOptimizationState());
        FillPairing(session, *controller, info);
        FillCache(*controller, info);
    }
    return error;
}

extern "C" MOX_EXPORT _UVI_Error UviGetVezkHandles(unsigned int session, unsigned int* handleList,
                                                   unsigned int* handleCount) {
    // The controller list, answered as the controller query answers it.
    if (!handleCount)
        return NullParameterError("handleCount cannot be null in GetVezkHandles");
    return RunSessionCall(
        session, [&](Session& s) { return internalUviGetControllerHandles(&s, handleList, handleCount); });
}

extern "C" MOX_EXPORT _UVI_Error UviGetVezkInfo(unsigned int session, unsigned int controllerHandle,
                                                _UVI_VezkInfo* info) {
    return RunSessionCall(session, [&](Session& s) {
        if (!info) {
            CConsolidatedError error;
            error.SetError(CConsolidatedError::GENERAL_NULL_PARAMETER, nullptr);
            error.AddDebugInformation("Get Halvex info: info is null");
            return error;
        }
        return internalUviVezkNvcInfo(s, controllerHandle, *info);
    });
}

extern "C" MOX_EXPORT _UVI_VezkInfo UviGetVezkInfoEx(unsigned int session, unsigned int controllerHandle,
                                                     _UVI_Error* error) {
    _UVI_VezkInfo info;
    std::memset(&info, 0, sizeof info);
    _UVI_VezkInfo filled = info;
    const _UVI_Error result = RunSessionCall(
        session, [&](Session& s) { return internalUviVezkNvcInfo(s, controllerHandle, filled); });
    if (result.status == UVI_STATUS_SUCCESS)
        info = filled;
    if (error)
        *error = result;
    return info;
}

extern "C" MOX_EXPORT _UVI_Error UviGetVolportPerformanceCounters(unsigned int session,
                                                                  _UVI_VolportPerformanceCounters* data) {
    if (!data) {
        return RunExportedCall([] {
            CConsolidatedError error;
            error.SetError(CConsolidatedError::GENERAL_NULL_PARAMETER, nullptr);
            error.AddDebugInformation("Get volport performance counters: data is null");
            return error;
        });
    }
    return RunSessionCall(session, [data](Session& s) {
        CConsolidatedError error;
        std::shared_ptr<Controller> controller;
        for (const auto& candidate : s.getControllers())
            if (candidate->isVezkSupported()) {
                controller = candidate;
                break;
            }
        if (!controller) {
            error.SetError(CConsolidatedError::HALVEX_DRIVER_FEATURENOTSUPPORTED, nullptr);
            error.AddErrorMessage("Halvex not supported on any controller");
            return error;
        }
        _UVI_VolportPerformanceCounters counters;
        std::memset(&counters, 0, sizeof counters);
        auto request = std::make_unique<CIoctlGetPerformanceCounters>(controller->getControllerLocator());
        error = request->Invoke();
        // A counters block that fails verification throws here and leaves the caller's record as it was.
        if (error.IsSuccessful())
            std::memcpy(&counters, request->GetCounters(), sizeof counters);
        *data = counters;
        return error;
    });
}
