#include "middleware/api/VolumeOperations.h"

#include <cstring>
#include <string>
#include <vector>

#include "middleware/api/ApiHelpers.h"
#include "middleware/api/ArrayQueries.h"
#include "middleware/api/DiskOperations.h"
#include "middleware/api/EndDeviceQueries.h"
#include "middleware/api/ExportedCall.h"
#include "middleware/api/UviArrayRecords.h"
#include "middleware/api/UviVolumeCreation.h"
#include "middleware/api/UviVolumeOperations.h"
#include "middleware/api/UviVolumeRecords.h"
#include "middleware/api/VolumeQueries.h"
#include "middleware/api/VolumeSetters.h"
#include "middleware/core/EventLogger.h"
#include "middleware/ioctl/ControllerLocatorLock.h"
#include "middleware/ioctl/RaidConfig.h"
#include "middleware/ioctl/RaidConfigSetters.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Disk.h"
#include "middleware/model/DiskTransaction.h"
#include "middleware/model/IndexIdentity.h"
#include "middleware/model/RaidDiskConfig.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/Session.h"
#include "middleware/model/SessionHolder.h"
#include "middleware/model/TopologyTexts.h"
#include "middleware/model/VolumeTransaction.h"

namespace {

// Volume action codes of the driver's volume table.
enum VolumeAction : uint32_t {
    kDeleteVolume = 1,
    kMarkNormal = 2,
    kInitializeVolume = 3,
    kVerifyVolume = 4,
    kCancelVerify = 6,
    kApplyCachePolicy = 9,
};
// Disk action codes of a rebuild.
constexpr uint32_t kClaimDisk = 1;
constexpr uint32_t kMakeSpare = 5;
constexpr uint32_t kMarkPassThrough = 2;
constexpr uint32_t kEraseConfig = 11;

// Volume states of the exported record.
constexpr uint32_t kNormal = 1;
constexpr uint32_t kDegraded = 2;
constexpr uint32_t kFailed = 3;
constexpr uint32_t kVerifying = 6;
constexpr uint32_t kVerifyingAndFix = 7;
constexpr uint32_t kMigrating = 8;
constexpr uint32_t kManualNormal = 17;
constexpr uint32_t kManualSyncing = 20;
constexpr uint32_t kSyncing = 35;

constexpr uint32_t kPassThroughUsage = 2;
constexpr uint32_t kLockedDisk = 7;
constexpr size_t kMaxFreedDisks = 256;
constexpr uint32_t kVolumeDeletedEvent = 14;
// Disk table: the array ordinal of the disk; array table: the state word (2 rebuilding).
constexpr size_t kDiskArrayOrd = 140;
constexpr size_t kArrayState = 20;
constexpr uint32_t kArrayRebuilding = 2;

bool In(uint32_t state, std::initializer_list<uint32_t> allowed) {
    for (uint32_t s : allowed)
        if (s == state)
            return true;
    return false;
}

CConsolidatedError InvalidState() {
    return CConsolidatedError(CConsolidatedError::UVI_INVALIDSTATE);
}

CConsolidatedError Failure(KEDO2_ERRORS code, const char* message) {
    CConsolidatedError error;
    error.SetError(code, message);
    return error;
}

CConsolidatedError StatusFailure(_UVI_Status status, const char* message) {
    CConsolidatedError error;
    error.SetError(status, message, nullptr);
    return error;
}

// What every volume operation starts with: the controller and the volume's record.
struct VolumeAt {
    std::shared_ptr<Controller> controller;
    _UVI_VolumeInfo info{};
};

CConsolidatedError LookUp(Session& session, uint32_t volumeHandle, VolumeAt& at, const char* controllerDebug,
                          const char* infoDebug) {
    return GetVolumeControllerAndInfo(session, volumeHandle, at.controller, at.info, controllerDebug,
                                      infoDebug);
}

constexpr const char* kInfoDebug = "Error getting volume info for the handle passed in!";

// The common shape: look up, check the state, run the action.
CConsolidatedError StateCheckedAction(Session& session, uint32_t volumeHandle,
                                      std::initializer_list<uint32_t> allowed, bool mustBeUninitialised,
                                      uint32_t action, const DeviceAction* device, const char* failureDebug) {
    VolumeAt at;
    CConsolidatedError error = LookUp(session, volumeHandle, at, nullptr, kInfoDebug);
    if (error.IsError())
        return error;
    if (!In(at.info.state, allowed) || (mustBeUninitialised && at.info.initialized))
        return InvalidState();
    return RunVolumeAction(session, *at.controller, volumeHandle, action, device, failureDebug);
}

std::string NameOf(const _UVI_VolumeInfo& info) {
    return std::string(info.name, strnlen(info.name, sizeof info.name));
}

// The present members of the only volume's array, which its deletion frees.
CConsolidatedError MembersToFree(Session& session, const Controller& controller, uint32_t volumeHandle,
                                 std::vector<std::shared_ptr<Disk>>& disks) {
    const std::shared_ptr<RaidVolume> volume = session.getVolumeByHandle(volumeHandle);
    if (!volume)
        return StatusFailure(UVI_STATUS_INVALID_HANDLE, "couldn't get volume");
    if (!volume->getRecord())
        return StatusFailure(UVI_STATUS_INVALID_HANDLE, "couldn't get volume group");
    for (const auto& disk : controller.getDisks()) {
        const RaidDiskConfig* raid = disk ? disk->getRaidDiskConfig().get() : nullptr;
        if (!raid || raid->getArrayOrd() != volume->getArrayOrd() || raid->isNotPresent())
            continue;
        if (disks.size() == kMaxFreedDisks)
            break;
        disks.push_back(disk);
    }
    return CConsolidatedError();
}

void LogDeletion(const _UVI_VolumeInfo& info, const std::vector<std::shared_ptr<Disk>>& disks) {
    std::string serials;
    for (const auto& disk : disks) {
        char serial[17] = {};
        const auto& raid = disk->getRaidDiskConfig();
        const bool known = raid && raid->copySerialNumber(serial, sizeof serial) != 0 && serial[0] != '\0';
        serials += (serials.empty() ? "" : ", ") + std::string(known ? serial : "N/A");
    }
    std::unique_ptr<IEventLogger> logger = MoxMwEventLogger::create();
    logger->attachProcessName().log(1, 1, kVolumeDeletedEvent,
                                    std::vector<std::string>{NameOf(info), RaidLevelName(info.raidLevel),
                                                             info.systemVolume ? "true" : "false",
                                                             std::to_string(disks.size()), serials});
}

// Clears the metadata of the freed disks in a session that sees the volume gone. Every disk is
// tried; the failures accumulate.
CConsolidatedError FreeDisks(const std::vector<uint32_t>& handles) {
    return runWithNewSession([&](Session& session) {
        CConsolidatedError result;
        for (uint32_t handle : handles) {
            _UVI_EndDeviceInfo disk{};
            if (internalUviGetEndDeviceInfo(session, handle, &disk).IsError()) {
                result.SetError(UVI_STATUS_INTERNAL_ERROR, "Unable to retrieve End Device Information",
                                nullptr);
                continue;
            }
            if (disk.state == kLockedDisk)
                continue;
            CConsolidatedError cleared = internalUviDiskClearMetadata(session, handle);
            if (cleared.IsError())
                result.SetError(UVI_STATUS_INTERNAL_ERROR, "Unable to mark disk as normal", nullptr);
        }
        return result;
    });
}

// The one name check, with a null name refused as the missing parameter it is, so that nothing
// reads through it.
CConsolidatedError CheckNameCharacters(const char* name) {
    if (!name)
        return NullParameterError("Volume name cannot be null");
    return ValidateVolumeName(name);
}

// The flush-policy value follows the volume to its new name. The registry never fails a rename.
void MoveFlushPolicy(const std::string& from, const char* to) {
    try {
        uint32_t value = 0;
        if (ReadVolumeFlushPolicy(from.c_str(), &value) != 0)
            return;
        static_cast<void>(SetVolumeFlushPolicy(to, value != 0)); // best effort, as the move as a whole
        static_cast<void>(DeleteVolumeFlushPolicy(from.c_str()));
    } catch (...) {
    }
}

} // namespace

CConsolidatedError GetVolumeControllerAndInfo(Session& session, uint32_t volumeHandle,
                                              std::shared_ptr<Controller>& controller, _UVI_VolumeInfo& info,
                                              const char* controllerDebug, const char* infoDebug) {
    CConsolidatedError error = GetVolumeAndController(&session, volumeHandle, controller);
    if (error.IsError()) {
        if (controllerDebug)
            error.AddDebugInformation("%s", controllerDebug);
        return error;
    }
    error = internalUviGetVolumeInfo(session, volumeHandle, &info);
    if (error.IsError())
        error.AddDebugInformation("%s", infoDebug);
    return error;
}

// Writes the device action (when one is given) and runs the volume action as a transaction, both
// under the controller's named mutex.
CConsolidatedError RunVolumeAction(Session& session, const Controller& controller, uint32_t volumeHandle,
                                   uint32_t action, const DeviceAction* device, const char* failureDebug) {
    ControllerLocatorLock lock(controller.getTarget());
    HANDLE target = controller.getTarget();
    VolumeTransaction transaction(controller.getHandle(), volumeHandle);
    if (device) {
        const std::shared_ptr<RaidVolume> volume = session.getVolumeByHandle(volumeHandle);
        if (!volume)
            return Failure(CConsolidatedError::UVI_INVALIDHANDLE, " Invalid volume handle");
        CConsolidatedError error = transaction.confirmSetup(session, target);
        if (error.IsError())
            return error;
        CIoctlRaidDeviceCfg_SetAction set(target, volume->getIndex(), device->value);
        error = set.Invoke();
        if (error.IsError()) {
            error.AddDebugInformation("%s", device->failureDebug);
            return error;
        }
    }
    CConsolidatedError error = transaction.singleVolumeTransaction(session, target, action);
    if (error.IsError())
        error.AddDebugInformation("%s", failureDebug);
    return error;
}

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

CConsolidatedError internalUviVolumeDelete(Session& session, uint32_t volumeHandle) {
    VolumeAt at;
    CConsolidatedError error =
        LookUp(session, volumeHandle, at, "Volume not found in internalUviVolumeDelete",
               "Error getting vol info for the handle passed in!");
    if (error.IsError())
        return error;
    const bool cacheArray = ArrayHasCacheFlaggedVolume(*at.controller, at.info.arrayHandle);
    if (at.info.systemVolume)
        return InvalidState();
    _UVI_ArrayInfo array{};
    error = fillArrayInfo(session, at.info.arrayHandle, &array);
    if (error.IsError()) {
        error.AddDebugInformation("Error getting array info!");
        return error;
    }
    std::vector<std::shared_ptr<Disk>> members;
    if (array.numVolumes == 1) {
        error = MembersToFree(session, *at.controller, volumeHandle, members);
        if (error.IsError())
            return error;
    }
    error = RunVolumeAction(session, *at.controller, volumeHandle, kDeleteVolume, nullptr,
                            "Unable to delete volume");
    if (error.IsError())
        return error;
    if (!cacheArray)
        LogDeletion(at.info, members);
    std::vector<uint32_t> handles;
    for (const auto& disk : members)
        handles.push_back(disk->getHandle());
    CConsolidatedError freed = FreeDisks(handles);
    static_cast<void>(DeleteVolumeFlushPolicy(NameOf(at.info).c_str())); // a stale value harms nobody
    return freed;
}

CConsolidatedError internalUviVolumeInitialize(Session& session, uint32_t volumeHandle) {
    return StateCheckedAction(session, volumeHandle, {kNormal}, true, kInitializeVolume, nullptr,
                              "Could not Initialize Volume!");
}

CConsolidatedError internalUviVolumeMarkAsNormal(Session& session, uint32_t volumeHandle) {
    return StateCheckedAction(session, volumeHandle, {kFailed}, false, kMarkNormal, nullptr,
                              "Could not mark volume as Normal!");
}

CConsolidatedError internalUviVolumeVerify(Session& session, uint32_t volumeHandle, bool repair) {
    const DeviceAction device{repair ? 1u : 0u, "Unable to set volume action for verify & repair"};
    return StateCheckedAction(session, volumeHandle, {kNormal, kManualNormal}, false, kVerifyVolume, &device,
                              "Could not verify volume!");
}

CConsolidatedError internalUviVolumeCancelVerify(Session& session, uint32_t volumeHandle) {
    return StateCheckedAction(session, volumeHandle, {kVerifying, kVerifyingAndFix}, false, kCancelVerify,
                              nullptr, "Could not cancel verify on the volume!");
}

CConsolidatedError internalUviVolumeSetCachePolicy(Session& session, uint32_t volumeHandle, int policy) {
    if (policy == 0)
        return Failure(CConsolidatedError::UVI_INVALIDPARAMETER, "Invalid Policy passed in");
    VolumeAt at;
    CConsolidatedError error = LookUp(session, volumeHandle, at, nullptr, kInfoDebug);
    if (error.IsError())
        return error;
    if (!In(at.info.state, {kNormal, kMigrating, kManualNormal, kManualSyncing, kSyncing}))
        return InvalidState();
    uint32_t value = 0;
    switch (policy) {
    case 2:
        value = 0x102;
        break;
    case 3: {
        value = 0x101;
        // Write-back needs Windows to stop flushing the volume's buffers; the policy is set
        // whether or not that succeeds, and nobody reads that call's error.
        _UVI_Error flush = UviVolumeSetBufferFlush(volumeHandle, true);
        CleanupUviError(&flush);
        break;
    }
    case 4:
        value = 0x100;
        break;
    default:
        break;
    }
    const DeviceAction device{value, "Unable to set volume action for cachepolicy"};
    return RunVolumeAction(session, *at.controller, volumeHandle, kApplyCachePolicy, &device,
                           "Could not set volume cache policy!");
}

CConsolidatedError internalUviVolumeRename(Session& session, uint32_t volumeHandle, const char* newName) {
    std::shared_ptr<Controller> controller;
    CConsolidatedError error = GetVolumeAndController(&session, volumeHandle, controller);
    if (error.IsError()) {
        error.AddDebugInformation("Invalid volume handle in internalUviVolumeRename");
        return error;
    }
    error = CheckNameCharacters(newName);
    if (error.IsError())
        return error;
    _UVI_VolumeInfo info{};
    error = internalUviGetVolumeInfo(session, volumeHandle, &info);
    if (error.IsError()) {
        error.AddDebugInformation("%s", kInfoDebug);
        return error;
    }
    if (!In(info.state, {kNormal, kManualNormal}))
        return InvalidState();
    std::shared_ptr<RaidVolume> volume;
    for (const auto& candidate : controller->getVolumes())
        if (candidate && candidate->getHandle() == volumeHandle)
            volume = candidate;
    if (!volume)
        return Failure(CConsolidatedError::UVI_INVALIDHANDLE, " Invalid volume handle");
    {
        ControllerLocatorLock lock(controller->getTarget());
        error = ConfirmVolumeAtIndex(controller->getTarget(), *volume);
        if (error.IsError())
            return error;
        CIoctlRaidDeviceCfg_SetSerialNumber set(controller->getTarget(), volume->getIndex());
        try {
            set.ValueToSet(newName, static_cast<uint32_t>(std::strlen(newName)));
            set.SetVerifyOnInvoke(true);
            error = set.Invoke();
        } catch (const CConsolidatedError& refused) {
            error = refused;
        }
        if (error.IsError()) {
            error.AddDebugInformation("Unable to set volume action for setSerialNo");
            return error;
        }
    }
    MoveFlushPolicy(NameOf(info), newName);
    return error;
}

CConsolidatedError internalUviVolumeRebuild(Session& session, uint32_t volumeHandle, uint32_t diskHandle) {
    const std::shared_ptr<Disk> disk = session.getEndDeviceByHandle(diskHandle);
    if (!disk || !disk->getRaidDiskConfig())
        return CConsolidatedError(CConsolidatedError::UVI_INVALIDHANDLE);
    VolumeAt at;
    CConsolidatedError error = LookUp(session, volumeHandle, at, nullptr, kInfoDebug);
    if (error.IsError())
        return error;
    _UVI_EndDeviceInfo diskInfo{};
    error = internalUviGetEndDeviceInfo(session, diskHandle, &diskInfo);
    if (error.IsError()) {
        error.AddDebugInformation("Error getting disk info for the handle passed in!");
        return error;
    }
    if (diskInfo.usage != kPassThroughUsage && at.info.state != kDegraded)
        return InvalidState();

    const Controller& controller = *at.controller;
    ControllerLocatorLock lock(controller.getTarget());
    HANDLE target = controller.getTarget();
    DiskTransaction transaction(controller.getHandle(), diskHandle);
    error = transaction.singleDiskTransaction(session, target, kClaimDisk);
    if (error.IsError()) {
        error.AddDebugInformation("Unable to Claim device for rebuild volume");
        return error;
    }
    const auto diskIndex = static_cast<uint32_t>(disk->getRaidDiskConfig()->getDiskIndex());
    CIoctlRaidDiskGroup diskRecord(target, diskIndex);
    diskRecord.SetVerifyOnInvoke(true);
    error = diskRecord.Invoke();
    if (error.IsError())
        return error;
    int32_t arrayOrd = 0;
    std::memcpy(&arrayOrd, diskRecord.GetGroupData() + kDiskArrayOrd, sizeof arrayOrd);
    if (arrayOrd == -1) {
        error = transaction.singleDiskTransaction(session, target, kMakeSpare);
        if (error.IsError())
            error.AddDebugInformation("Could not mark the disk as spare");
        return error;
    }
    CIoctlRaidArrayGroup arrayRecord(target, static_cast<uint32_t>(arrayOrd));
    arrayRecord.SetVerifyOnInvoke(true);
    error = arrayRecord.Invoke();
    if (error.IsError())
        return error;
    uint32_t arrayState = 0;
    std::memcpy(&arrayState, arrayRecord.GetGroupData() + kArrayState, sizeof arrayState);
    if (arrayState != kArrayRebuilding)
        return Failure(CConsolidatedError::UVI_FAILED, "Array not rebuilding with the given disk");
    return error;
}

extern "C" {

_UVI_Error UviVolumeDelete(unsigned int volumeHandle) {
    return RunTemporarySessionCall([=](Session& s) { return internalUviVolumeDelete(s, volumeHandle); });
}

_UVI_Error UviVolumeInitialize(unsigned int volumeHandle) {
    return RunTemporarySessionCall([=](Session& s) { return internalUviVolumeInitialize(s, volumeHandle); });
}

_UVI_Error UviVolumeMarkAsNormal(unsigned int volumeHandle) {
    return RunTemporarySessionCall(
        [=](Session& s) { return internalUviVolumeMarkAsNormal(s, volumeHandle); });
}

_UVI_Error UviVolumeRebuild(unsigned int volumeHandle, unsigned int diskHandle) {
    return RunTemporarySessionCall(
        [=](Session& s) { return internalUviVolumeRebuild(s, volumeHandle, diskHandle); });
}

_UVI_Error UviVolumeVerify(unsigned int volumeHandle, bool repair) {
    return RunTemporarySessionCall(
        [=](Session& s) { return internalUviVolumeVerify(s, volumeHandle, repair); });
}

_UVI_Error UviVolumeCancelVerify(unsigned int volumeHandle) {
    return RunTemporarySessionCall(
        [=](Session& s) { return internalUviVolumeCancelVerify(s, volumeHandle); });
}

_UVI_Error UviVolumeRename(unsigned int volumeHandle, const char* newName) {
    return RunTemporarySessionCall([=](Session& s) {
        CConsolidatedError error = ValidateVolumeName(newName);
        return error.IsError() ? error : internalUviVolumeRename(s, volumeHandle, newName);
    });
}

_UVI_Error UviVolumeSetCachePolicy(unsigned int volumeHandle, int policy) {
    return RunTemporarySessionCall(
        [=](Session& s) { return internalUviVolumeSetCachePolicy(s, volumeHandle, policy); });
}

_UVI_Error UviVolumeSetExportPolicy(unsigned int volumeHandle, int policy) {
    return RunTemporarySessionCall(
        [=](Session& s) { return internalUviVolumeSetExportPolicy(s, volumeHandle, policy); });
}

_UVI_Error UviVolumeSetBufferFlush(unsigned int volumeHandle, bool powerProtected) {
    return RunTemporarySessionCall(
        [=](Session& s) { return internalUviVolumeSetBufferFlush(&s, volumeHandle, powerProtected); });
}

} // extern "C"
