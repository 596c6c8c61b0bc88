#include "middleware/accelerate/UVIAccelerateWynAction.h"

#include <memory>

#include "middleware/api/ApiLookups.h"
#include "middleware/api/ControllerQueries.h"
#include "middleware/api/NvcInfo.h"
#include "middleware/api/UviDeviceQueries.h"
#include "middleware/api/VolumeOperations.h"
#include "middleware/core/ConsolidatedError.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Session.h"
#include "middleware/model/VezkPairingInfo.h"

namespace {

// The SSD caching capability among the controller record's flag bytes (record offset 449).
constexpr size_t kSsdCachingFlag = 449 - offsetof(_UVI_ControllerInfo, capabilities);

CConsolidatedError Refused(const char* message) {
    CConsolidatedError error;
    error.SetError(UVI_STATUS_INVALID_STATE, message, nullptr);
    return error;
}

} // namespace

UVIAccelerateWynAction::~UVIAccelerateWynAction() = default;

CConsolidatedError UVIAccelerateWynAction::guard(const Controller& controller) {
    const VezkPairingInfo* pairing = controller.getVezkInfo();
    if (!pairing)
        return CConsolidatedError(CConsolidatedError::UVI_INTERNALERROR);
    const int32_t state = pairing->status();
    if (pairing->isEnabled() || state != 0)
        return Refused("Cannot change acceleration settings while VEZK is enabled.");
    return CConsolidatedError();
}

CConsolidatedError UVIAccelerateWynAction::guardDisk(uint32_t diskHandle) {
    std::shared_ptr<Controller> controller;
    const CConsolidatedError error = GetDiskAndController(&getSession(), diskHandle, controller);
    return error.IsError() ? error : guard(*controller);
}

CConsolidatedError UVIAccelerateWynAction::guardVolume(uint32_t volumeHandle) {
    std::shared_ptr<Controller> controller;
    const CConsolidatedError error = GetVolumeAndController(&getSession(), volumeHandle, controller);
    return error.IsError() ? error : guard(*controller);
}

CConsolidatedError UVIAccelerateWynAction::guardController(uint32_t controllerHandle) {
    const auto controller = getSession().getControllerByHandle(controllerHandle);
    if (!controller)
        return CConsolidatedError(CConsolidatedError::UVI_INTERNALERROR);
    return guard(*controller);
}

bool UVIAccelerateWynAction::isSupported(uint32_t controllerHandle, CConsolidatedError& error) {
    for (const auto& controller : getSession().getControllers()) {
        _UVI_ControllerInfo info{};
        if (internalUviGetControllerInfo(getSession(), controller->getHandle(), &info).IsError())
            continue;
        if (info.capabilities[kSsdCachingFlag] == 0)
            continue;
        if (controllerHandle != 0 && controller->getHandle() != controllerHandle)
            continue;
        return true;
    }
    error.SetError(CConsolidatedError::UVI_NOTSUPPORTED, "Action not supported on this controller");
    return false;
}

CConsolidatedError UVIAccelerateWynAction::checkIfDiskPairValid(uint32_t, uint32_t, uint32_t&) {
    return CConsolidatedError(CConsolidatedError::UVI_INVALID_REQUEST);
}

CConsolidatedError UVIAccelerateWynAction::checkIfDiskValid(uint32_t, uint32_t, uint32_t&) {
    return CConsolidatedError(CConsolidatedError::UVI_INVALID_REQUEST);
}

bool UVIAccelerateWynAction::hasAcceleratedVolume() {
    _UVI_VolumeInfo cache{};
    if (getBlockCacheVolumeInfo(cache).IsError())
        return false;
    _UVI_NvcInfo nvc{};
    const _UVI_Error answer = UviGetNvcInfo(0, cache.controllerHandle, &nvc);
    // The failure the export registered is taken back from this thread's store.
    if (GetLoggedError(answer).IsError())
        return false;
    return nvc.acceleratedVolumeHandle != 0 || nvc.acceleratedDiskHandle != 0;
}

CConsolidatedError UVIAccelerateWynAction::createCacheVolume(uint32_t fastDiskHandle,
                                                             CacheSizeSpec& cacheSize) {
    const CConsolidatedError refused = guardDisk(fastDiskHandle);
    return refused.IsError() ? refused
                             : UVIAccelerateBaseAction::createCacheVolume(fastDiskHandle, cacheSize);
}

CConsolidatedError UVIAccelerateWynAction::resetCacheToAvailable(uint32_t controllerHandle) {
    const CConsolidatedError refused = guardController(controllerHandle);
    return refused.IsError() ? refused : UVIAccelerateBaseAction::resetCacheToAvailable(controllerHandle);
}

CConsolidatedError UVIAccelerateWynAction::configVolumeAcceleration(uint32_t volumeHandle,
                                                                    _UVI_NvcMode mode) {
    const CConsolidatedError refused = guardVolume(volumeHandle);
    return refused.IsError() ? refused
                             : UVIAccelerateBaseAction::configVolumeAcceleration(volumeHandle, mode);
}

CConsolidatedError UVIAccelerateWynAction::configDiskAcceleration(uint32_t diskHandle, _UVI_NvcMode mode) {
    const CConsolidatedError refused = guardDisk(diskHandle);
    return refused.IsError() ? refused : UVIAccelerateBaseAction::configDiskAcceleration(diskHandle, mode);
}

CConsolidatedError UVIAccelerateWynAction::turnOffAcceleration(uint32_t controllerHandle) {
    const CConsolidatedError refused = guardController(controllerHandle);
    return refused.IsError() ? refused : UVIAccelerateBaseAction::turnOffAcceleration(controllerHandle);
}

CConsolidatedError UVIAccelerateWynAction::disassociate(const _UVI_VolumeInfo& volume) {
    const CConsolidatedError refused = guardController(volume.controllerHandle);
    return refused.IsError() ? refused : UVIAccelerateBaseAction::disassociate(volume);
}

CConsolidatedError UVIAccelerateWynAction::checkDiskCanBeAccelerated(const _UVI_NvcInfo& nvc,
                                                                     const _UVI_EndDeviceInfo& disk) {
    if (disk.arrayHandle != 0)
        return Refused("Disk is part of a volume. Only Volumes or Passthrough disks can be accelerated");
    return UVIAccelerateBaseAction::checkDiskCanBeAccelerated(nvc, disk);
}

CConsolidatedError UVIAccelerateWynAction::checkFastDisk(const _UVI_EndDeviceInfo& disk) {
    if (disk.systemDisk)
        return Refused("Can't create cache on a system partitioned SSD");
    return UVIAccelerateBaseAction::checkFastDisk(disk);
}

void UVIAccelerateWynAction::adjustSmallDataVolume(CacheSizeSpec& dataVolume) {
    dataVolume.mode = CacheSizeSpec::kNone;
}
