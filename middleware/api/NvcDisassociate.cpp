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
    _UVI_VolumeInfo info{};
    CConsolidatedError error = GetVolumeControllerAndInfo(session, volumeHandle, controller, info);
    if (error.IsError())
        return error;
    error = RunVolumeAction(session, *controller, volumeHandle, kDisassociateAction, nullptr,
                            "Could not Disassociate NV Cache on the volume!");
    if (error.IsError())
        return error;
    error = RefreshPartitionInfoOfControllers(session);
    if (error.IsError())
        error.AddDebugInformation("Could not refresh OS Partition tables");
    return error;
}
