#include "middleware/api/ApiLookups.h"

#include <cstring>

#include "middleware/api/EndDeviceQueries.h"
#include "middleware/api/VolumeQueries.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Disk.h"
#include "middleware/model/DiskShrinkExtension.h"
#include "middleware/model/RaidArray.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/Session.h"
#include "middleware/model/SessionHolder.h"
#include "middleware/model/VdsHandler.h"

namespace {

CConsolidatedError Failure(KEDO2_ERRORS code, const char* message) {
    CConsolidatedError result;
    result.SetError(code, message);
    return result;
}

// The identity the Virtual Disk Service knows the disk by.
CConsolidatedError DiskIdentity(const Disk& disk, GUID& guid, uint32_t& signature, uint32_t& kind) {
    const DiskShrinkExtension extension(disk.getWinDiskInterface().get());
    return extension.getDiskIdentifyData(guid, signature, kind);
}

// A volume's serial number is its name; a longer text can match none of them.
constexpr size_t kSerialNumberLength = 65;
constexpr uint32_t kCachePolicyWriteBack = 3;
constexpr uint32_t kEndDeviceWriteCacheMarked = 2;

CConsolidatedError HelperFailure(_UVI_Status status, const char* message, const char* debug) {
    CConsolidatedError result;
    result.SetError(status, message, debug);
    return result;
}

// The session with the handle (0: a temporary one), given back when the holder goes; null while the
// library is not started or when the session cannot be had.
Session* AcquireSession(SessionHolder& holder, uint32_t sessionHandle) {
    if (!SessionHandler::get().isInitialized())
        return nullptr;
    Session* session = nullptr;
    if (SessionHolder::acquire(holder, static_cast<int>(sessionHandle), session).IsError())
        return nullptr;
    return session;
}

} // namespace

CConsolidatedError GetDiskAndController(Session* session, uint32_t diskHandle,
                                        std::shared_ptr<Controller>& controller) {
    if (!session)
        return Failure(CConsolidatedError::GENERAL_NULL_PARAMETER, "null session");
    const auto disk = session->getEndDeviceByHandle(diskHandle);
    if (!disk)
        return Failure(CConsolidatedError::GENERAL_UNKNOWN_ERROR, "failed to get disk");
    controller = session->getControllerByHandle(disk->getControllerHandle());
    if (!controller)
        return Failure(CConsolidatedError::GENERAL_UNKNOWN_ERROR, "failed to get controller");
    return CConsolidatedError();
}

CConsolidatedError GetArrayAndController(Session* session, uint32_t arrayHandle,
                                         std::shared_ptr<Controller>& controller) {
    if (!session)
        return Failure(CConsolidatedError::GENERAL_NULL_PARAMETER, "null session");
    const auto array = session->getArrayByHandle(arrayHandle);
    if (!array)
        return Failure(CConsolidatedError::UVI_INVALIDHANDLE, "failed to get Array");
    if (array->getControllerHandle() == 0)
        return Failure(CConsolidatedError::GENERAL_UNKNOWN_ERROR, "failed to get controller");
    controller = session->getControllerByHandle(array->getControllerHandle());
    return CConsolidatedError();
}

CConsolidatedError CleanNonSystemDisk(Session& session, uint32_t diskHandle) {
    _UVI_EndDeviceInfo record{};
    CConsolidatedError result = internalUviGetEndDeviceInfo(session, diskHandle, &record);
    if (result.IsError())
        return result;
    if (record.systemDisk) {
        result.SetError(CConsolidatedError::UVI_INVALIDSTATE, "Cannot clean sytem disk");
        return result;
    }
    const auto disk = session.getEndDeviceByHandle(diskHandle);
    if (!disk)
        return Failure(CConsolidatedError::GENERAL_NULL_PARAMETER, "Disk cannot be null");
    GUID guid{};
    uint32_t signature = 0, kind = 0;
    result = DiskIdentity(*disk, guid, signature, kind);
    if (result.IsError())
        return result;
    if (kind == DiskShrinkExtension::kNoPartitionTable)
        return result;
    return VdsCleanDisk(kind, signature, guid);
}

CConsolidatedError GetDiskVolumeProperties(const std::shared_ptr<Disk>& disk, uint64_t& offset,
                                           uint64_t& size) {
    if (!disk)
        return Failure(CConsolidatedError::GENERAL_NULL_PARAMETER, "Disk cannot be null");
    GUID guid{};
    uint32_t signature = 0, kind = 0;
    CConsolidatedError result = DiskIdentity(*disk, guid, signature, kind);
    if (result.IsError())
        return result;
    if (kind == DiskShrinkExtension::kNoPartitionTable)
        return Failure(CConsolidatedError::GENERAL_FAULT, "No partition on that drive");
    return VdsGetLastVolumeProperties(kind, signature, guid, offset, size);
}

CConsolidatedError getVolumeBySerialNumber(uint32_t sessionHandle, const char* serialNumber,
                                           _UVI_VolumeInfo& volume) {
    // A null serial number could match nothing, whatever session it would be looked for in.
    if (!serialNumber) {
        return HelperFailure(UVI_STATUS_INVALID_PARAMETER, "NULL parameter in helper function",
                             "NULL parameter in getVolumeBySerialNumber");
    }
    SessionHolder holder;
    Session* session = AcquireSession(holder, sessionHandle);
    if (!session) {
        return HelperFailure(UVI_STATUS_INVALID_PARAMETER, "NULL session in helper function",
                             "NULL session in getVolumeBySerialNumber");
    }
    return getVolumeBySerialNumber(*session, serialNumber, volume);
}

CConsolidatedError getVolumeBySerialNumber(Session& session, const char* serialNumber,
                                           _UVI_VolumeInfo& volume) {
    if (!serialNumber) {
        return HelperFailure(UVI_STATUS_INVALID_PARAMETER, "NULL parameter in helper function",
                             "NULL parameter in getVolumeBySerialNumber");
    }
    for (const auto& controller : session.getControllers()) {
        for (const auto& candidate : controller->getVolumes()) {
            _UVI_VolumeInfo record{};
            if (!candidate || internalUviGetVolumeInfo(session, candidate->getHandle(), &record).IsError())
                continue;
            if (std::strncmp(record.name, serialNumber, kSerialNumberLength) == 0) {
                volume = record;
                return CConsolidatedError();
            }
        }
    }
    return HelperFailure(UVI_STATUS_FAILED, "Could not find matching serial number",
                         "Failed to find serial number in getVolumeBySerialNumber");
}

bool AllMembersHaveCacheFlag(uint32_t sessionHandle, const _UVI_VolumeInfo& volume,
                             const std::shared_ptr<Controller>& controller) {
    if (sessionHandle == 0 || !controller || !SessionHandler::get().isInitialized())
        return false;
    if (volume.cachePolicy == kCachePolicyWriteBack)
        return true;
    SessionHolder holder;
    Session* session = AcquireSession(holder, sessionHandle);
    return session && AllMembersHaveCacheFlag(*session, volume, *controller);
}

bool AllMembersHaveCacheFlag(Session& session, const _UVI_VolumeInfo& volume, const Controller& controller) {
    if (volume.cachePolicy == kCachePolicyWriteBack)
        return true;
    bool found = false;
    for (const auto& disk : controller.getDisks()) {
        _UVI_EndDeviceInfo record{};
        if (!disk || internalUviGetEndDeviceInfo(session, disk->getHandle(), &record).IsError())
            continue;
        if (record.arrayHandle != volume.arrayHandle)
            continue;
        if (record.recordKind != kEndDeviceWriteCacheMarked)
            return false;
        found = true;
    }
    return found;
}
