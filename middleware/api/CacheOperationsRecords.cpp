// The records and look-ups the SSD cache operations work from.
#include <cstring>

#include "middleware/api/ApiHelpers.h"
#include "middleware/api/CacheOperations.h"
#include "middleware/api/EndDeviceQueries.h"
#include "middleware/api/NvcInfo.h"
#include "middleware/api/VezkQueries.h"
#include "middleware/api/VolumeQueries.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Disk.h"
#include "middleware/model/RaidArray.h"
#include "middleware/model/RaidDiskConfig.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/Session.h"
#include "middleware/model/SessionHandler.h"
#include "middleware/model/SessionHolder.h"

std::shared_ptr<RaidVolume> VolumeOfDisk(const Controller& controller, const Disk& disk, bool pairing) {
    const auto& config = disk.getRaidDiskConfig();
    if (!config)
        return nullptr;
    int32_t index = config->getArrayIndex();
    if (pairing && config->getOriginalArrayIndex() != -1)
        index = config->getOriginalArrayIndex();
    if (index == -1)
        return nullptr;
    for (const auto& volume : controller.getVolumes()) {
        const std::shared_ptr<RaidArray> array = volume ? volume->getArray() : nullptr;
        if (array && array->getIndex() != -1 && array->getIndex() == index)
            return volume;
    }
    return nullptr;
}

CConsolidatedError GetCacheDeviceInfo(Session& session, uint32_t controllerHandle, _UVI_EndDeviceInfo* info) {
    _UVI_VezkInfo vezk{};
    static_cast<void>(internalUviVezkNvcInfo(session, controllerHandle, vezk));
    _UVI_NvcInfo nvc{};
    static_cast<void>(internalUviGetNvcInfo(session, controllerHandle, &nvc));
    const std::shared_ptr<RaidVolume> cacheVolume = session.getVolumeByHandle(nvc.cacheVolumeHandle);
    CConsolidatedError error;
    if (!cacheVolume) {
        error.SetError(CConsolidatedError::UVI_INVALIDHANDLE, nullptr);
        return error;
    }
    const std::shared_ptr<RaidArray> array = cacheVolume->getArray();
    if (!array || array->getHandle() == 0) {
        error.SetError(CConsolidatedError::UVI_INVALIDSTATE, "Can't get cache device information.");
        return error;
    }
    const std::shared_ptr<Controller> controller = session.getControllerByHandle(controllerHandle);
    if (!controller) {
        error.SetError(CConsolidatedError::UVI_INVALIDHANDLE, nullptr);
        return error;
    }
    // A cache-memory pairing (pairing state 1 to 3) has moved its disks out of their own array.
    const bool pairing = vezk.pairType != 0;
    for (const auto& disk : controller->getDisks()) {
        const RaidDiskConfig* config = disk ? disk->getRaidDiskConfig().get() : nullptr;
        if (!config)
            continue;
        if (pairing ? config->wasMemberOfArray(array->getHandle())
                    : config->isMemberOfArray(array->getHandle()))
            return internalUviGetEndDeviceInfo(session, disk->getHandle(), info);
    }
    error.SetError(CConsolidatedError::UVI_INVALIDSTATE, "Can't get cache device information.");
    return error;
}

CConsolidatedError internalVolumeContainsSSDs(Session& session, const _UVI_VolumeInfo& volume) {
    CConsolidatedError error;
    const std::shared_ptr<Controller> controller = session.getControllerByHandle(volume.controllerHandle);
    if (!controller) {
        error.SetError(CConsolidatedError::UVI_INVALIDHANDLE, "invalid controller handle for volume");
        return error;
    }
    // A volume sharing its array with a cache volume may be accelerated whatever its disks are.
    for (const auto& other : controller->getVolumes()) {
        _UVI_VolumeInfo record{};
        if (!other)
            continue;
        error = internalUviGetVolumeInfo(session, other->getHandle(), &record);
        if (error.IsError())
            return error;
        if (record.arrayHandle == volume.arrayHandle && record.isBlockCacheVolume)
            return error;
    }
    for (const auto& disk : controller->getDisks()) {
        _UVI_EndDeviceInfo record{};
        if (!disk)
            continue;
        error = internalUviGetEndDeviceInfo(session, disk->getHandle(), &record);
        if (error.IsError())
            return error;
        if (record.arrayHandle == volume.arrayHandle && volume.arrayHandle != 0 && record.solidState) {
            error.SetError(CConsolidatedError::UVI_INVALIDPARAMETER, "Cannot accelerate volume with SSDs",
                           "Invalid volume parameter in internalVolumeContainsSSDs");
            return error;
        }
    }
    return error;
}

CConsolidatedError performDiskUpdateIoctlWithVolumes(unsigned sessionHandle, const char* serialNumber) {
    CConsolidatedError result;
    if (sessionHandle == 0 || !serialNumber) {
        result.SetError(CConsolidatedError::UVI_INVALIDPARAMETER, "NULL parameter in helper function",
                        "NULL parameter in performDiskUpdateIoctlWithVolumes");
        return result;
    }
    SessionHolder holder;
    Session* session = nullptr;
    if (!SessionHandler::get().isInitialized() ||
        SessionHolder::acquire(holder, static_cast<int>(sessionHandle), session).IsError() || !session) {
        result.SetError(CConsolidatedError::UVI_INVALIDPARAMETER, "NULL session in helper function",
                        "NULL session in performDiskUpdateIoctlWithVolumes");
        return result;
    }
    for (const auto& controller : session->getControllers())
        for (const auto& volume : controller->getVolumes()) {
            _UVI_VolumeInfo record{};
            CConsolidatedError error = internalUviGetVolumeInfo(*session, volume->getHandle(), &record);
            if (error.IsError()) {
                result = error;
                continue;
            }
            if (std::strncmp(record.name, serialNumber, 65) == 0) {
                callDiskUpdatePropertiesIoctl(static_cast<int>(record.deviceNumber), result);
                break;
            }
        }
    static_cast<void>(SessionHolder::release(holder));
    return result;
}
