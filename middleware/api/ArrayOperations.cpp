#include "middleware/api/ArrayOperations.h"

#include <memory>

#include "middleware/api/ApiLookups.h"
#include "middleware/api/ArrayQueries.h"
#include "middleware/api/ExportedCall.h"
#include "middleware/api/UviArrayRecords.h"
#include "middleware/api/UviVolumeOperations.h"
#include "middleware/api/VolumeOperations.h"
#include "middleware/ioctl/ControllerLocatorLock.h"
#include "middleware/ioctl/RaidConfigSetters.h"
#include "middleware/model/Controller.h"
#include "middleware/model/IndexIdentity.h"
#include "middleware/model/RaidArray.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/Session.h"
#include "middleware/model/SessionHolder.h"
#include "middleware/model/TransactionManager.h"

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

CConsolidatedError removeAllArrayVolumes(uint32_t controllerHandle, uint32_t arrayHandle) {
    return RemoveArrayVolumesWith(controllerHandle, arrayHandle, internalUviVolumeDelete);
}

CConsolidatedError removeAllVolumesFromArray(uint32_t controllerHandle, uint32_t arrayHandle) {
    return removeAllArrayVolumes(controllerHandle, arrayHandle);
}

namespace {

// Steps up to the array record: the handle, its controller and its record.
CConsolidatedError ArrayAndRecord(Session& session, uint32_t arrayHandle,
                                  std::shared_ptr<Controller>& controller, _UVI_ArrayInfo& record) {
    CConsolidatedError error;
    if (arrayHandle == 0)
        error.SetError(CConsolidatedError::UVI_INVALIDHANDLE, nullptr);
    if (error.IsSuccessful())
        error = GetArrayAndController(&session, arrayHandle, controller);
    if (error.IsSuccessful())
        error = fillArrayInfo(session, arrayHandle, &record);
    if (error.IsError())
        error.AddDebugInformation("Error getting array info for the handle passed in!");
    return error;
}

} // namespace

CConsolidatedError internalUviArraySetWriteCacheState(Session& session, uint32_t arrayHandle, int state) {
    std::shared_ptr<Controller> controller;
    _UVI_ArrayInfo record{};
    CConsolidatedError error = ArrayAndRecord(session, arrayHandle, controller, record);
    if (error.IsError())
        return error;
    const auto policy = static_cast<uint8_t>(state);
    // The array record keeps the driver's policy plus one.
    if (record.writeCache == static_cast<uint32_t>(policy) + 1)
        return error;
    const std::shared_ptr<RaidArray> array = session.getArrayByHandle(arrayHandle);
    if (!controller || !controller->getControllerLocator() || !array)
        return CConsolidatedError(CConsolidatedError::GENERAL_UNKNOWN_ERROR);

    ControllerLocatorLock lock(controller->getTarget());
    HANDLE target = controller->getTarget();
    error = TransactionManager::refuseWhileBusy(target);
    if (error.IsSuccessful())
        error = ConfirmArrayAtIndex(target, *array);
    if (error.IsError())
        return error;
    const auto index = static_cast<uint32_t>(array->getIndex());
    CIoctlRaidCfg_SetArrayIndex select(target, index);
    error = select.Invoke();
    if (error.IsError()) {
        error.AddDebugInformation("Unable to select array for operation");
        return error;
    }
    CIoctlRaidArray_SetCachePolicy set(target, index, policy);
    error = set.Invoke();
    if (error.IsError()) {
        error.AddDebugInformation("Unable to set Array Cache policy");
        return error;
    }
    TransactionManager transaction;
    error = transaction.triggerTransaction(target, kTriggerArrayCachePolicy);
    if (error.IsError()) {
        error.AddDebugInformation("Triggering the transaction failed!");
        // The driver keeps the policy it was given until a trigger applies it: put the array's own
        // policy back, or the next array's change would apply this refused one too.
        CIoctlRaidArray_SetCachePolicy restore(target, index, static_cast<uint8_t>(record.writeCache - 1));
        if (restore.Invoke().IsError())
            error.AddDebugInformation("Unable to restore the array's cache policy");
    }
    return error;
}

extern "C" _UVI_Error UviArraySetWriteCacheState(unsigned int arrayHandle, int state) {
    return RunTemporarySessionCall(
        [=](Session& session) { return internalUviArraySetWriteCacheState(session, arrayHandle, state); });
}
