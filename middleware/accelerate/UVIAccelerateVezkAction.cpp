#include "middleware/accelerate/UVIAccelerateVezkAction.h"

#include <algorithm>

#include "middleware/api/VezkQueries.h"
#include "middleware/api/VezkStatus.h"
#include "middleware/api/VolumeQueries.h"
#include "middleware/ioctl/ControllerLocatorLock.h"
#include "middleware/ioctl/VezkRequests.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Disk.h"
#include "middleware/model/RaidDiskConfig.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/Session.h"
#include "middleware/model/VezkDiskPair.h"

namespace {

CConsolidatedError NoDisk() {
    CConsolidatedError error;
    error.SetError(UVI_STATUS_INVALID_PARAMETER, "Cannot get specified disk", nullptr);
    return error;
}

CConsolidatedError NoController() {
    CConsolidatedError error;
    error.SetError(CConsolidatedError::UVI_INTERNALERROR, "Disk cannot have null controller");
    return error;
}

} // namespace

UVIAccelerateVezkAction::~UVIAccelerateVezkAction() = default;

CConsolidatedError UVIAccelerateVezkAction::findVezkController(std::shared_ptr<Controller>& controller) {
    for (const auto& candidate : getSession().getControllers())
        if (candidate->isVezkSupported()) {
            controller = candidate;
            return CConsolidatedError();
        }
    CConsolidatedError error;
    error.SetError(CConsolidatedError::HALVEX_DRIVER_FEATURENOTSUPPORTED,
                   "No controller supports Halvex memory.");
    return error;
}

bool UVIAccelerateVezkAction::isSupported(uint32_t controllerHandle, CConsolidatedError& error) {
    std::shared_ptr<Controller> controller;
    error = findVezkController(controller);
    return error.IsSuccessful() && (controllerHandle == 0 || controller->getHandle() == controllerHandle);
}

_UVI_VezkInfo UVIAccelerateVezkAction::getPairingInfo(uint32_t controllerHandle) {
    _UVI_VezkInfo info{};
    const CConsolidatedError error = internalUviVezkNvcInfo(getSession(), controllerHandle, info);
    if (error.IsError())
        throw error;
    return info;
}

CConsolidatedError UVIAccelerateVezkAction::findVezkVolume(_UVI_VolumeInfo& volume) {
    for (const auto& controller : getSession().getControllers())
        if (const auto pairing = controller->getVezkVolume())
            return internalUviGetVolumeInfo(getSession(), pairing->getHandle(), &volume);
    CConsolidatedError error;
    error.SetError(UVI_STATUS_INVALID_STATE, "There is no Orvex Halvex Storage", nullptr);
    return error;
}

bool UVIAccelerateVezkAction::hasAcceleratedVolume() {
    _UVI_VolumeInfo volume{};
    return findVezkVolume(volume).IsSuccessful();
}

CConsolidatedError UVIAccelerateVezkAction::checkIfDiskPairValid(uint32_t slowDisk, uint32_t fastDisk,
                                                                 uint32_t& status) {
    const auto slow = getSession().getEndDeviceByHandle(slowDisk);
    const auto fast = getSession().getEndDeviceByHandle(fastDisk);
    if (!slow || !fast)
        return NoDisk();
    const auto controller = getSession().getControllerByHandle(fast->getControllerHandle());
    if (!controller)
        return NoController();
    VezkDiskPair pair(slow, fast);
    CConsolidatedError error = pair.Populate(controller->getTarget());
    if (error.IsError())
        return error;
    status = ToVezkDiskPairStatus(pair.getStatus());
    return error;
}

CConsolidatedError UVIAccelerateVezkAction::checkIfDiskValid(uint32_t diskHandle, uint32_t member,
                                                             uint32_t& status) {
    const auto disk = getSession().getEndDeviceByHandle(diskHandle);
    if (!disk)
        return NoDisk();
    if (disk->getControllerHandle() == 0)
        return NoController();
    // An array member is no drive of its own for the driver.
    if (disk->getRaidDiskConfig() && disk->getRaidDiskConfig()->getArrayIndex() != -1) {
        status = UVI_VEZK_DISK_VOLUME_NOT_EXIST;
        return CConsolidatedError();
    }
    const PackedScsiAddress address =
        disk->getWinScsiAddress() != kNoScsiAddress ? disk->getWinScsiAddress() : disk->getScsiAddress();
    const auto controller = getSession().getControllerByHandle(disk->getControllerHandle());
    if (!controller)
        return NoController();
    ControllerLocatorLock lock(controller->getTarget());
    CIoctlVezkDiskValidForConcatenate request(controller->getTarget(), address, member);
    const CConsolidatedError error = request.Invoke();
    if (error.IsError())
        return error;
    status = request.GetSrbReturnCode();
    return error;
}

CConsolidatedError UVIAccelerateVezkAction::checkDiskCanBeAccelerated(const _UVI_NvcInfo& nvc,
                                                                      const _UVI_EndDeviceInfo& disk) {
    _UVI_VolumeInfo pairing{};
    static_cast<void>(findVezkVolume(pairing)); // without a pairing volume its array handle stays 0
    if (disk.arrayHandle != 0 && disk.arrayHandle != pairing.arrayHandle) {
        CConsolidatedError error;
        error.SetError(UVI_STATUS_INVALID_STATE, "Disk is not part of Halvex volume.", nullptr);
        return error;
    }
    return UVIAccelerateBaseAction::checkDiskCanBeAccelerated(nvc, disk);
}

void UVIAccelerateVezkAction::adjustSmallDataVolume(CacheSizeSpec& dataVolume) {
    dataVolume.mode = CacheSizeSpec::kExplicit;
    dataVolume.size = std::min(kSmallestDataVolume, dataVolume.max);
}
