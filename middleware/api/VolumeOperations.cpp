#include "middleware/api/VolumeOperations.h"

#include "middleware/model/Controller.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/Session.h"

CConsolidatedError GetVolumeAndController(Session* session, uint32_t volumeHandle,
                                          std::shared_ptr<Controller>& controller) {
    CConsolidatedError error;
    controller.reset();
    if (!session) {
        error.SetError(CConsolidatedError::GENERAL_NULL_PARAMETER, "null session");
        return error;
    }
    const std::shared_ptr<RaidVolume> volume = session->getVolumeByHandle(volumeHandle);
    if (!volume) {
        error.SetError(CConsolidatedError::UVI_INVALIDHANDLE,
                       "failed to get volume for the given volume handle");
        return error;
    }
    if (volume->getControllerHandle() != 0)
        controller = session->getControllerByHandle(volume->getControllerHandle());
    // A handle the session has no controller for is refused too: the callers go on to use it.
    if (!controller)
        error.SetError(CConsolidatedError::GENERAL_UNKNOWN_ERROR, "failed to get controller");
    return error;
}
