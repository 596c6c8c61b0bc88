// Removal of a disk's RAID metadata through the driver's volume port, for the disks of the
// controller's cache volumes.
#include <memory>

#include "middleware/api/ArrayOperations.h"
#include "middleware/api/ControllerLockCall.h"
#include "middleware/api/DiskOperations.h"
#include "middleware/api/NvcDisassociate.h"
#include "middleware/ioctl/VezkRequests.h"
#include "middleware/model/Controller.h"
#include "middleware/model/RaidArray.h"
#include "middleware/model/RaidVolume.h"

namespace {

CConsolidatedError Refused(const char* message) {
    CConsolidatedError error;
    error.SetError(CConsolidatedError::UVI_INTERNALERROR, message);
    return error;
}

} // namespace

CConsolidatedError removeMetadata(Session* session, ControllerLocator* locator, Controller* controller,
                                  const std::shared_ptr<RaidVolume>& fileCacheVolume) {
    if (!session || !locator || !controller)
        return Refused("removeMetadata Parameters cannot be null");
    const std::shared_ptr<RaidVolume> blockCache = controller->getBlockCacheVolume();
    // A file-cache volume without its device configuration has no device id to clear.
    if (!blockCache || !fileCacheVolume || !fileCacheVolume->getDeviceConfig())
        return Refused("Cannot find cache volumes or array");
    CConsolidatedError result = removeMetadata(session, locator, fileCacheVolume->getDeviceConfig()->address);
    if (result.IsError())
        return result;
    result = internalUviNvcDisassociate(*session, blockCache->getHandle());
    if (result.IsError())
        return result;
    const std::shared_ptr<RaidArray> array = blockCache->getArray();
    return removeAllVolumesFromArray(controller->getHandle(), array ? array->getHandle() : 0);
}

CConsolidatedError removeMetadata(Session* session, ControllerLocator* locator, uint32_t deviceId) {
    if (!session || !locator)
        return Refused("removeMetadata Parameters cannot be null");
    return RunUnderControllerLock(locator, [&] {
        CIoctVolPortClearMetadata request(locator, deviceId);
        return request.Invoke();
    });
}
