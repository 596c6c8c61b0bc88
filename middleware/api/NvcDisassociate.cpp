#include "middleware/api/NvcDisassociate.h"

#include <memory>

#include "middleware/api/SystemOperations.h"
#include "middleware/api/VolumeOperations.h"
#include "middleware/api/VolumeQueries.h"
#include "middleware/model/Controller.h"

namespace {
constexpr uint32_t kDisassociateAction = 17;
}

CConsolidatedError internalUviNvcDisassociate(Session& session, uint32_t volumeHandle) {
    std::shared_ptr<Controller> controller;
    CConsolidatedError error = GetVolumeAndController(&session, volumeHandle, controller);
    if (error.IsError())
        return error;
    _UVI_VolumeInfo info{};
    error = internalUviGetVolumeInfo(session, volumeHandle, &info);
    if (error.IsError()) {
        error.AddDebugInformation("Error getting volume info for the handle passed in!");
        return error;
    }
    error = RunVolumeAction(session, *controller, volumeHandle, kDisassociateAction, nullptr,
                            "Could not Disassociate NV Cache on the volume!");
    if (error.IsError())
        return error;
    error = RefreshPartitionInfoOfControllers(session);
    if (error.IsError())
        error.AddDebugInformation("Could not refresh OS Partition tables");
    return error;
}
