// The SSD caching actions: acceleration of a volume or disk turned off, a cache volume separated from
// a missing accelerated device or reset to available.
#include <strings.h>

#include "cli/tasks/AccelerateTask.h"
#include "middleware/accelerate/UVIAccelerateAction.h"

namespace MOX {

namespace {

// Only turning acceleration off is still done; the mode word may come in any capitalisation.
bool IsOff(const std::string& mode) {
    return strcasecmp(mode.c_str(), "off") == 0;
}

Error EndOfLife() {
    Error result;
    result.set(1, WYN_END_OF_LIFE_TEXT);
    return result;
}

} // namespace

Error AccelerateTask::configureVolumeAcceleration(const std::string& volumeName, const std::string& mode) {
    const std::shared_ptr<UVIAccelerateAction> facade = makeFacade();
    if (!IsOff(mode))
        return EndOfLife();
    _UVI_VolumeInfo volume{};
    Error result = session.FindVolumeInfoByName(volume, volumeName);
    if (result.isError())
        return result;
    result = FullConversion(facade->configVolumeAcceleration(volume.handle, UVI_NVC_MODE_OFF));
    if (!result.isError() && waitForCompletion)
        result = FullConversion(facade->waitForNvcMode(volume.controllerHandle, UVI_NVC_MODE_OFF));
    return result;
}

Error AccelerateTask::configureDiskAcceleration(const std::string& diskId, const std::string& mode) {
    const std::shared_ptr<UVIAccelerateAction> facade = makeFacade();
    if (!IsOff(mode))
        return EndOfLife();
    _UVI_EndDeviceInfo disk{};
    Error result = session.FindEndDeviceById(disk, diskId);
    if (result.isError())
        return result;
    result = FullConversion(facade->configDiskAcceleration(disk.endDeviceHandle, UVI_NVC_MODE_OFF));
    if (!result.isError() && waitForCompletion)
        result = FullConversion(facade->waitForNvcMode(disk.controllerHandle, UVI_NVC_MODE_OFF));
    return result;
}

Error AccelerateTask::disassociate(const std::string& cacheVolumeName) {
    const std::shared_ptr<UVIAccelerateAction> facade = makeFacade();
    _UVI_VolumeInfo volume{};
    Error result = session.FindVolumeInfoByName(volume, cacheVolumeName);
    if (result.isError())
        return result;
    return FullConversion(facade->doDisassociate(volume));
}

Error AccelerateTask::resetToAvailable(const std::string& cacheVolumeName) {
    const std::shared_ptr<UVIAccelerateAction> facade = makeFacade();
    _UVI_VolumeInfo volume{};
    Error result = session.FindVolumeInfoByName(volume, cacheVolumeName);
    if (result.isError())
        return result;
    // The facade finds the controller's cache volume itself: any volume of that controller names it.
    return FullConversion(facade->resetCacheToAvailable(volume.controllerHandle));
}

} // namespace MOX
