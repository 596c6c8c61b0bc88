#include "middleware/api/VolumeCreateSupport.h"

#include <memory>

#include "middleware/api/ApiHelpers.h"
#include "middleware/api/ArrayQueries.h"
#include "middleware/api/EndDeviceQueries.h"
#include "middleware/api/UviEndDeviceRecords.h"
#include "middleware/api/VolumeQueries.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Disk.h"
#include "middleware/model/IndexIdentity.h"
#include "middleware/model/RaidArray.h"
#include "middleware/model/RaidDiskConfig.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/Session.h"
#include "middleware/model/TransactionManager.h"

namespace volume_create {
namespace {

// The volume record's flags word.
constexpr size_t kFlagsWord = 108;
constexpr uint32_t kExpandableFlag = 1u << 15;

} // namespace

CConsolidatedError Failure(KEDO2_ERRORS code, const char* message) {
    CConsolidatedError error;
    error.SetError(code, message);
    return error;
}

CConsolidatedError StatusFailure(_UVI_Status status, const char* message, const char* debug) {
    CConsolidatedError error;
    error.SetError(status, message, debug);
    return error;
}

CConsolidatedError WithDebug(CConsolidatedError error, const char* debug) {
    error.AddDebugInformation("%s", debug);
    return error;
}

CConsolidatedError ReadVolumeFacts(Session& session, uint32_t volumeHandle, VolumeFacts& facts) {
    _UVI_VolumeInfo info{};
    CConsolidatedError error = internalUviGetVolumeInfo(session, volumeHandle, &info);
    if (error.IsError())
        return error;
    const std::shared_ptr<RaidVolume> volume = session.getVolumeByHandle(volumeHandle);
    // A volume without its driver record has nothing to create on or modify.
    if (!volume || !volume->getRecord())
        return InvalidHandleError("Invalid Handle passed in to internalUviGetVolumeInfo, Received: %d",
                                  volumeHandle);
    facts = VolumeFacts();
    facts.handle = info.handle;
    facts.name = volume->getName();
    facts.controllerHandle = info.controllerHandle;
    // The model's stand-in array of a pairing volume is no array the driver could change.
    if (const auto array = volume->getArray(); array && !array->isSynthetic())
        facts.arrayHandle = info.arrayHandle;
    facts.raidLevel = info.raidLevel;
    facts.stripSize = info.stripSizeCode;
    facts.sizeInBytes = info.sizeInBytes;
    facts.expandable = (volume->getRecordWord(kFlagsWord) & kExpandableFlag) != 0;
    facts.windowsCacheSetting = info.windowsCacheSetting;
    return error;
}

CConsolidatedError ReadArrayFacts(Session& session, uint32_t arrayHandle, ArrayFacts& facts) {
    _UVI_ArrayInfo info{};
    CConsolidatedError error = fillArrayInfo(session, arrayHandle, &info);
    if (error.IsError())
        return error;
    const std::shared_ptr<RaidArray> array = session.getArrayByHandle(arrayHandle);
    facts = ArrayFacts();
    facts.memberCount = info.numDisks;
    const auto controller = session.getControllerByHandle(info.controllerHandle);
    if (!array || !controller)
        return error;
    for (const auto& disk : controller->getDisks()) {
        const RaidDiskConfig* config = disk ? disk->getRaidDiskConfig().get() : nullptr;
        if (!config || config->isNotPresent() || !config->isMemberOfArrayIndex(array->getIndex()))
            continue;
        _UVI_EndDeviceInfo record{};
        if (internalUviGetEndDeviceInfo(session, disk->getHandle(), &record).IsError())
            continue;
        if (facts.smallestMemberBytes == 0 || record.capacity < facts.smallestMemberBytes)
            facts.smallestMemberBytes = record.capacity;
    }
    return error;
}

CConsolidatedError ConfirmSelectionTargets(Session& session, const Controller& controller, HANDLE target,
                                           uint32_t arrayHandle) {
    CConsolidatedError error = TransactionManager::refuseWhileBusy(target);
    if (error.IsSuccessful())
        error = ConfirmDisksAtIndexes(target, controller);
    if (error.IsSuccessful() && arrayHandle != 0)
        if (const std::shared_ptr<RaidArray> array = session.getArrayByHandle(arrayHandle))
            error = ConfirmArrayAtIndex(target, *array);
    return error;
}

} // namespace volume_create
