#include "middleware/api/ApiLookups.h"

#include "middleware/api/EndDeviceQueries.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Disk.h"
#include "middleware/model/DiskShrinkExtension.h"
#include "middleware/model/RaidArray.h"
#include "middleware/model/Session.h"
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
