#include "middleware/api/VolumeCreateSupport.h"

#include <algorithm>
#include <memory>

#include "middleware/api/ApiHelpers.h"
#include "middleware/api/ApiLookups.h"
#include "middleware/api/EndDeviceQueries.h"
#include "middleware/api/UviEndDeviceRecords.h"
#include "middleware/api/VolumeStateRules.h"
#include "middleware/ioctl/ControllerLocatorLock.h"
#include "middleware/ioctl/RaidConfigSetters.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Disk.h"
#include "middleware/model/DiskTransaction.h"
#include "middleware/model/RaidArray.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/Session.h"
#include "middleware/model/SessionHolder.h"
#include "middleware/model/VolumeTransaction.h"

namespace volume_create {
namespace {

// Volume record words.
constexpr size_t kLevelWord = 24;
constexpr size_t kSizeMbWord = 32;
constexpr size_t kStripKbWord = 36;
constexpr size_t kMemberCountWord = 40;
constexpr size_t kDomainsWord = 80;
constexpr size_t kFlagsWord = 108;
constexpr uint32_t kExpandableFlag = 1u << 15;

constexpr uint32_t kDiskActionClaim = 1;
constexpr uint32_t kDiskActionPassThrough = 2;
constexpr uint32_t kDiskActionEraseConfig = 11;
constexpr uint32_t kVolumeActionCachePolicy = 9;

CConsolidatedError InvalidState() {
    return Failure(CConsolidatedError::UVI_INVALIDSTATE, nullptr);
}

// Runs disk actions in order under the controller's lock; the first failure ends with its text.
CConsolidatedError RunDiskActions(Session& session, const Controller& controller, uint32_t diskHandle,
                                  std::initializer_list<std::pair<uint32_t, const char*>> actions) {
    CConsolidatedError error;
    if (!controller.getControllerLocator())
        return error;
    ControllerLocatorLock lock(controller.getTarget());
    for (const auto& [action, failureText] : actions) {
        DiskTransaction transaction(controller.getHandle(), diskHandle);
        error = transaction.singleDiskTransaction(session, lock.GetDeviceHandle(), action);
        if (error.IsError()) {
            error.AddDebugInformation("%s", failureText);
            return error;
        }
    }
    return error;
}

// The disk's controller and its exported record.
CConsolidatedError DiskAndRecord(Session& session, uint32_t diskHandle,
                                 std::shared_ptr<Controller>& controller, _UVI_EndDeviceInfo& record) {
    CConsolidatedError error = GetDiskAndController(&session, diskHandle, controller);
    if (error.IsError())
        return error;
    record = {};
    error = internalUviGetEndDeviceInfo(session, diskHandle, &record);
    if (error.IsError())
        error.AddDebugInformation("Error getting disk info for the handle passed in!");
    return error;
}

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
    const std::shared_ptr<RaidVolume> volume = session.getVolumeByHandle(volumeHandle);
    if (!volume || !volume->getRecord())
        return InvalidHandleError("Invalid Handle passed in to internalUviGetVolumeInfo, Received: %d",
                                  volumeHandle);
    facts = VolumeFacts();
    facts.handle = volumeHandle;
    facts.name = volume->getName();
    facts.controllerHandle = volume->getControllerHandle();
    if (const auto array = volume->getArray(); array && !array->isSynthetic())
        facts.arrayHandle = array->getHandle();
    const uint32_t flags = volume->getRecordWord(kFlagsWord);
    facts.raidLevel =
        volume_rules::ComputeRaidLevel(volume->getRecordWord(kLevelWord), volume->getRecordWord(kDomainsWord),
                                       volume->getRecordWord(kMemberCountWord), flags, false)
            .code;
    facts.stripSize = volume->getRecordWord(kStripKbWord) / 2;
    facts.sizeInBytes = static_cast<uint64_t>(volume->getRecordWord(kSizeMbWord)) << 20;
    facts.expandable = (flags & kExpandableFlag) != 0;
    DISK_CACHE_SETTING setting{};
    if (const auto& win = volume->getWinDiskInterface(); win && win->getCachePolicy(setting))
        facts.windowsCacheSetting = setting.IsPowerProtected ? 2 : 1;
    return CConsolidatedError();
}

CConsolidatedError ReadArrayFacts(Session& session, uint32_t arrayHandle, ArrayFacts& facts) {
    CConsolidatedError error;
    const std::shared_ptr<RaidArray> array = session.getArrayByHandle(arrayHandle);
    if (!array) {
        error.SetError(CConsolidatedError::GENERAL_INVALID_VALUE, "UviArrayInfo Array cannot be null");
        return error;
    }
    if (!array->getRecord()) {
        error.SetError(CConsolidatedError::GENERAL_INVALID_VALUE,
                       "No Valid RaidArrayGroup inside fillArrayInfo");
        return error;
    }
    facts = ArrayFacts();
    facts.memberCount = array->getRecordWord(RaidArray::kNumDisks);
    const auto controller = session.getControllerByHandle(array->getControllerHandle());
    if (!controller)
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

CConsolidatedError ClaimDisk(Session& session, uint32_t diskHandle) {
    std::shared_ptr<Controller> controller;
    _UVI_EndDeviceInfo record{};
    CConsolidatedError error = DiskAndRecord(session, diskHandle, controller, record);
    if (error.IsError())
        return error;
    if (record.usage != 2)
        return InvalidState();
    return RunDiskActions(session, *controller, diskHandle, {{kDiskActionClaim, "Unable to claim disk"}});
}

CConsolidatedError ClearDiskMetadata(Session& session, uint32_t diskHandle) {
    std::shared_ptr<Controller> controller;
    _UVI_EndDeviceInfo record{};
    CConsolidatedError error = DiskAndRecord(session, diskHandle, controller, record);
    if (error.IsError())
        return error;
    if (record.systemDisk != 0 || record.arrayHandle != 0)
        return InvalidState();
    return RunDiskActions(session, *controller, diskHandle,
                          {{kDiskActionEraseConfig, "Unable to Erase the config"},
                           {kDiskActionPassThrough, "Unable to Mark Disk as Passthru"}});
}

CConsolidatedError SetVolumeCachePolicy(Session& session, uint32_t volumeHandle, int policy) {
    CConsolidatedError error;
    uint32_t value = 0;
    switch (policy) {
    case 1:
        value = 0;
        break;
    case 2:
        value = 0x102;
        break;
    case 3:
        value = 0x101;
        break;
    case 4:
        value = 0x100;
        break;
    default:
        error.SetError(CConsolidatedError::UVI_INVALIDPARAMETER, "Invalid Policy passed in");
        return error;
    }
    std::shared_ptr<Controller> controller;
    const auto volume = session.getVolumeByHandle(volumeHandle);
    if (volume)
        controller = session.getControllerByHandle(volume->getControllerHandle());
    if (!volume || !controller || !controller->getControllerLocator()) {
        error.SetError(CConsolidatedError::UVI_INVALIDHANDLE, " Invalid volume handle");
        return error;
    }
    ControllerLocatorLock lock(controller->getTarget());
    CIoctlRaidDeviceCfg_SetAction set(lock.GetDeviceHandle(), volume->getIndex(), value);
    error = set.Invoke();
    if (error.IsError()) {
        error.AddDebugInformation("Unable to set volume action for cachepolicy");
        return error;
    }
    VolumeTransaction transaction(controller->getHandle(), volumeHandle);
    error = transaction.singleVolumeTransaction(session, lock.GetDeviceHandle(), kVolumeActionCachePolicy);
    if (error.IsError())
        error.AddDebugInformation("Could not set volume cache policy!");
    return error;
}

CConsolidatedError SetBufferFlushWithNewSession(const char* name, bool powerProtected) {
    CConsolidatedError error;
    if (!name) {
        error.SetError(UVI_STATUS_INVALID_PARAMETER, "NULL parameter in helper function",
                       "NULL parameter in internalUviVolumeSetBufferFlushWithNewSession");
        return error;
    }
    const std::string wanted(name, strnlen(name, 16));
    return runWithNewSession([&](Session& session) {
        for (const auto& controller : session.getControllers())
            for (const auto& volume : controller->getVolumes())
                if (volume && volume->getName() == wanted) {
                    if (const auto& win = volume->getWinDiskInterface())
                        static_cast<void>(win->setVolumeBufferFlush(powerProtected));
                    return CConsolidatedError();
                }
        CConsolidatedError missing;
        missing.SetError(UVI_STATUS_INTERNAL_ERROR, "Could not find volume by name", nullptr);
        return missing;
    });
}

} // namespace volume_create
