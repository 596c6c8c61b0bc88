#include "middleware/api/ArrayOperations.h"

#include <memory>

#include "middleware/model/Controller.h"
#include "middleware/model/RaidArray.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/Session.h"
#include "middleware/model/SessionHolder.h"

namespace {

bool OnArray(const RaidVolume& volume, uint32_t arrayHandle) {
    const std::shared_ptr<RaidArray> array = volume.getArray();
    return array && array->getHandle() != 0 && array->getHandle() == arrayHandle;
}

} // namespace

CConsolidatedError RemoveArrayVolumesWith(uint32_t controllerHandle, uint32_t arrayHandle,
                                          const VolumeDeleter& deleteVolume) {
    bool firstPass = true;
    size_t bound = 0;
    size_t deletions = 0;
    for (;;) {
        bool deleted = false;
        CConsolidatedError result = runWithNewSession([&](Session& session) {
            CConsolidatedError error;
            const std::shared_ptr<Controller> controller = session.getControllerByHandle(controllerHandle);
            if (!controller) {
                error.SetError(CConsolidatedError::GENERAL_NULL_PARAMETER,
                               "Remove all volumes from array: Can't find controller with given handle.");
                return error;
            }
            if (firstPass) {
                for (const auto& volume : controller->getVolumes())
                    bound += volume && OnArray(*volume, arrayHandle) ? 1 : 0;
                firstPass = false;
            }
            for (const auto& volume : controller->getVolumes()) {
                if (!volume || !OnArray(*volume, arrayHandle))
                    continue;
                error = deleteVolume(session, volume->getHandle());
                deleted = error.IsSuccessful();
                break;
            }
            return error;
        });
        if (!deleted)
            return result;
        if (++deletions > bound) {
            result.SetError(CConsolidatedError::UVI_FAILED,
                            "Remove all volumes from array: the array still has volumes after every one was "
                            "deleted");
            return result;
        }
    }
}
