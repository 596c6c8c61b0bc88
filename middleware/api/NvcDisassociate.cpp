#include "middleware/api/NvcDisassociate.h"

#include <memory>

#include "middleware/api/CacheOperations.h"
#include "middleware/api/SystemOperations.h"
#include "middleware/api/VolumeOperations.h"
#include "middleware/ioctl/ControllerLocatorLock.h"
#include "middleware/model/Controller.h"
#include "middleware/model/VolumeTransaction.h"

namespace {
constexpr uint32_t kDisassociateAction = 17;
}

CConsolidatedError internalUviNvcDisassociate(Session& session, uint32_t volumeHandle) {
    std::shared_ptr<Controller> controller;
    CConsolidatedError error = GetVolumeAndController(&session, volumeHandle, controller);
    if (error.IsError())
        return error;
    _UVI_VolumeInfo info{};
    error = ReadCacheVolumeRecord(session, volumeHandle, info);
    if (error.IsError()) {
        error.AddDebugInformation("Error getting volume info for the handle passed in!");
        return error;
    }
    {
        ControllerLocatorLock lock(controller->getTarget());
        VolumeTransaction transaction(controller->getHandle(), volumeHandle);
        error = transaction.singleVolumeTransaction(session, controller->getTarget(), kDisassociateAction);
    }
    if (error.IsError()) {
        error.AddDebugInformation("Could not Disassociate NV Cache on the volume!");
        return error;
    }
    error = RefreshPartitionInfoOfControllers(session);
    if (error.IsError())
        error.AddDebugInformation("Could not refresh OS Partition tables");
    return error;
}
