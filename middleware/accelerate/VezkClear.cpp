// The clears of the cache-memory pairing: emptying the block cache by turning the acceleration off
// and on again, and separating the pair by clearing its metadata without the driver's migration.
#include <string>

#include "middleware/accelerate/PairingServiceSteps.h"
#include "middleware/accelerate/UVIAccelerateVezkAction.h"
#include "middleware/api/CacheOperations.h"
#include "middleware/api/DebugLog.h"
#include "middleware/api/DiskOperations.h"
#include "middleware/api/EndDeviceQueries.h"
#include "middleware/api/NvcInfo.h"
#include "middleware/api/VezkQueries.h"
#include "middleware/core/NamedCriticalSection.h"
#include "middleware/ioctl/RaidConfigSetters.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Session.h"
#include "middleware/model/VezkPairingInfo.h"
#include "middleware/pairing/BootMigration.h"
#include "middleware/pairing/PairingState.h"

namespace {

constexpr const char* kDisableSection = "Global\\HalvexDisableOneStepSemaphore";

CConsolidatedError StateRefusal(const char* message) {
    CConsolidatedError error;
    error.SetError(UVI_STATUS_INVALID_STATE, message, nullptr);
    return error;
}

// The boot-critical-data option of the NV cache: 1 keeps the driver from using it, 0 lets it again.
CConsolidatedError SetBootCriticalDataDisabled(ControllerLocator* locator, uint32_t disabled) {
    CIoctlNvCacheDisableBCD request(locator);
    request.SetDisable(disabled);
    return request.Invoke();
}

} // namespace

CConsolidatedError UVIAccelerateVezkAction::doClearBlockCache() {
    std::shared_ptr<Controller> controller;
    CConsolidatedError error = findVezkController(controller);
    if (error.IsError())
        return error;
    const uint32_t controllerHandle = controller->getHandle();
    ControllerLocator* locator = nullptr;
    error = getSession().getControllerLocator(controllerHandle, locator);
    if (error.IsError())
        return error;
    const VezkPairingInfo* pairing = controller->getVezkInfo();
    if (pairing && pairing->status() != 0)
        return StateRefusal("Cannot perform clear cache when Halvex operation in progress");
    _UVI_NvcInfo nvc{};
    if (internalUviGetNvcInfo(getSession(), controllerHandle, &nvc).IsError())
        nvc = _UVI_NvcInfo{}; // a record that cannot be read names nothing
    if (nvc.acceleratedDiskHandle == 0 && nvc.acceleratedVolumeHandle == 0)
        return StateRefusal("No disk or volume is currently using cache.");
    NamedCriticalSection section(kClearCacheSection);
    error = section.enter();
    if (error.GetErrorCode() == CConsolidatedError::HALVEX_CRITICAL_SECTION_NOT_OBTAINED)
        return StateRefusal("Clear cache already in progress");
    error = SetBootCriticalDataDisabled(locator, 1);
    if (error.IsError())
        return error;
    error = turnOffAcceleration(controllerHandle);
    if (error.IsError())
        return error;
    error = waitForNvcMode(controllerHandle, UVI_NVC_MODE_OFF);
    if (error.IsError())
        return error;
    const _UVI_NvcMode mode = nvc.mode;
    if (nvc.acceleratedDiskHandle != 0)
        error = SetDiskCacheModeAction(getSession(), controllerHandle, nvc.acceleratedDiskHandle, mode);
    else
        error = configVolumeAcceleration(nvc.acceleratedVolumeHandle, mode);
    if (error.IsError())
        return error;
    error = waitForNvcMode(controllerHandle, mode);
    if (error.IsError())
        return error;
    return SetBootCriticalDataDisabled(locator, 0);
}

CConsolidatedError UVIAccelerateVezkAction::clearMetadata() {
    writeDebugLog("Vezk Clear metadata: Starting clearing metadata");
    _UVI_VolumeInfo volume{};
    CConsolidatedError error = findVezkVolume(volume);
    if (error.IsError())
        return error;
    const uint32_t controllerHandle = volume.controllerHandle;
    _UVI_VezkInfo pairing{};
    error = internalUviVezkNvcInfo(getSession(), controllerHandle, pairing);
    if (error.IsError())
        return error;
    // The accelerated disk of the pair is its slow drive.
    _UVI_EndDeviceInfo accelerated{};
    error = internalUviGetEndDeviceInfo(getSession(), pairing.slowDiskHandle, &accelerated);
    if (error.IsError()) {
        error.AddDebugInformation("Error getting accelerated disk info for the handle passed in!");
        return error;
    }
    if (accelerated.systemDisk == 1)
        return StateRefusal("Cannot clear metadata on a system disk");
    if (!isSupported(controllerHandle, error))
        return error;
    if (!hasAcceleratedVolume()) {
        error.SetError(CConsolidatedError::HALVEX_SEPARATE_KEDO2_HALVEXVOLUMENOTFOUND,
                       "There is no Orvex Halvex Storage to clear metadata!");
        return error;
    }
    NamedCriticalSection section(kDisableSection);
    error = section.enter();
    if (error.IsError())
        return error;
    writeDebugLog("Vezk clear metadata: in critical section");
    StopVezkTools(); // the cache service keeps its data here
    std::shared_ptr<Controller> controller;
    error = findVezkController(controller);
    if (error.IsError()) {
        error.AddDebugInformation("Unable to get VEZK controller");
        return error;
    }
    ControllerLocator* locator = nullptr;
    error = getSession().getControllerLocator(controller->getHandle(), locator);
    if (error.IsError())
        return error;
    const VezkPairingInfo* info = controller->getVezkInfo();
    if (info)
        for (uint32_t member : {info->fastMember(), info->slowMember()}) {
            error = removeMetadata(&getSession(), locator, member);
            if (error.IsError()) {
                CConsolidatedError failed;
                failed.SetError(CConsolidatedError::UVI_INTERNALERROR,
                                ("Could not clear metadat for disk:" + std::to_string(member)).c_str());
                return failed;
            }
        }
    if (pairing.slowDiskHandle != 0)
        error = internalUviDiskDestroyCache(getSession(), pairing.slowDiskHandle);
    else if (pairing.pairingVolumeHandle != 0)
        error = internalUviVolumeDestroyCache(getSession(), pairing.pairingVolumeHandle);
    if (error.IsError())
        return error;
    return removeMetadata(&getSession(), locator, controller.get(), controller->getFileCacheVolume());
}
