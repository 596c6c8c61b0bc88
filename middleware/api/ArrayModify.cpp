#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "middleware/api/ActionValidator.h"
#include "middleware/api/ApiHelpers.h"
#include "middleware/api/ApiLookups.h"
#include "middleware/api/ControllerQueries.h"
#include "middleware/api/DiskOperations.h"
#include "middleware/api/EndDeviceQueries.h"
#include "middleware/api/ExportedCall.h"
#include "middleware/api/RaidInfoQueries.h"
#include "middleware/api/RaidLevelTable.h"
#include "middleware/api/UviEndDeviceRecords.h"
#include "middleware/api/UviRaidRecords.h"
#include "middleware/api/UviVolumeCreation.h"
#include "middleware/api/VolumeCreateSupport.h"
#include "middleware/api/VolumeOperations.h"
#include "middleware/ioctl/ControllerLocatorLock.h"
#include "middleware/ioctl/DeviceLocator.h"
#include "middleware/ioctl/RaidConfigSetters.h"
#include "middleware/model/Controller.h"
#include "middleware/model/IndexIdentity.h"
#include "middleware/model/RaidArray.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/Session.h"
#include "middleware/model/SessionHandler.h"
#include "middleware/model/SessionHolder.h"
#include "middleware/model/VolumeTransaction.h"

namespace {

constexpr uint64_t kTwoTiB = 0x20000000000ull;
// Capability byte of the controller record: volumes of 2 TiB and more.
constexpr size_t kLargeVolumeCapability = 440 - 424;
constexpr uint32_t kMaxEndDevices = 256;
// The state word of the driver's volume record (0 normal).
constexpr size_t kVolumeStateWord = 100;
// What an expansion asks for: more than any volume can have, so the driver takes all free space.
constexpr uint64_t kExpandToAllSpace = 0x4000000000000ull;
constexpr uint32_t kCoalescerAction = 10;

using volume_create::ConfirmSelectionTargets;
using volume_create::Failure;
using volume_create::StatusFailure;
using volume_create::WithDebug;

// The smallest disk of the volume's array, among every end device the session lists.
CConsolidatedError SmallestMember(Session& session, uint32_t arrayHandle, uint64_t& smallest) {
    uint32_t handles[kMaxEndDevices] = {};
    uint32_t count = kMaxEndDevices;
    CConsolidatedError error = internalUviGetEndDeviceHandles(&session, handles, &count);
    if (error.IsError())
        return WithDebug(error, "Couldn't get disk list in internalUviVolumeModify");
    smallest = 0;
    for (uint32_t i = 0; i < std::min(count, kMaxEndDevices); ++i) {
        _UVI_EndDeviceInfo record{};
        error = internalUviGetEndDeviceInfo(session, handles[i], &record);
        if (error.IsError())
            return WithDebug(error, "Disk is invalid(?) in internalUviVolumeModify");
        if (record.arrayHandle == arrayHandle && (smallest == 0 || record.capacity < smallest))
            smallest = record.capacity;
    }
    return error;
}

// Each disk to add: on the volume's controller, a normal pass-through disk of no array, large enough.
CConsolidatedError CheckAddedDisks(Session& session, const uint32_t* disks, unsigned count,
                                   const Controller& controller, uint64_t memberSize) {
    CConsolidatedError error;
    for (unsigned i = 0; i < count; ++i) {
        std::shared_ptr<Controller> owner;
        error = GetDiskAndController(&session, disks[i], owner);
        if (error.IsError())
            return WithDebug(error, "Disk not found in internalUviVolumeModify");
        if (owner->getHandle() != controller.getHandle())
            return StatusFailure(UVI_STATUS_INVALID_PARAMETER, "disks on different controllers");
        _UVI_EndDeviceInfo record{};
        error = internalUviGetEndDeviceInfo(session, disks[i], &record);
        if (error.IsError())
            return WithDebug(error, "Invalid disk in internalUviVolumeModify");
        if (record.arrayHandle != 0 || record.deviceType != 1 || record.state != UVI_DISK_STATE_NORMAL ||
            record.systemDisk || record.usage != UVI_DISK_USAGE_PASS_THROUGH)
            return StatusFailure(UVI_STATUS_INVALID_PARAMETER, "Disk cannot be used!");
        if (record.capacity < memberSize)
            return StatusFailure(UVI_STATUS_INVALID_PARAMETER, "Disk too small!");
    }
    return error;
}

// The controller's and the target level's limits on the array after the change.
CConsolidatedError CheckLimits(Session& session, const Controller& controller, unsigned count,
                               const volume_create::VolumeFacts& volume,
                               const volume_create::ArrayFacts& array, uint32_t level, uint32_t stripSize,
                               _UVI_RaidLevelInfo& levelInfo) {
    const uint32_t raidInfoHandle = RaidInfoHandle(controller.getHandle());
    _UVI_RaidInfo raidInfo{};
    CConsolidatedError error = internalUviRaidInfo(session, raidInfoHandle, &raidInfo);
    if (error.IsError())
        return WithDebug(error, "Couldn't get RAID Info in internalUviVolumeModify");
    error = internalUviGetRaidLevelInfo(session, raidInfoHandle, level, &levelInfo);
    if (error.IsError())
        return WithDebug(error, "Couldn't get RAID level in internalUviVolumeModify");
    _UVI_ControllerInfo controllerInfo{};
    error = internalUviGetControllerInfo(session, controller.getHandle(), &controllerInfo);
    if (error.IsError())
        return error;
    if (count > raidInfo.maxDisksTotal || count > controllerInfo.maxDisksTotal)
        return Failure(CConsolidatedError::UVI_DATAEXCEEDSLIMITS,
                       "Total supported raid disks for the controller exceeds limits");
    const uint32_t members = count + array.memberCount;
    if (members < levelInfo.minDisks || members > levelInfo.maxDisks)
        return StatusFailure(UVI_STATUS_INVALID_PARAMETER, "Invalid number of disks");
    if (levelInfo.flag0 && members % 2 != 0)
        return StatusFailure(UVI_STATUS_INVALID_PARAMETER, "Even disk count required");
    if (levelInfo.flag1 && members % 2 == 0)
        return StatusFailure(UVI_STATUS_INVALID_PARAMETER, "Odd disk count required");
    if (level == volume.raidLevel && stripSize != volume.stripSize)
        return StatusFailure(UVI_STATUS_INVALID_PARAMETER, "Must change a RAID level if changing strip size");
    if ((stripSize & levelInfo.stripMask) == 0)
        return StatusFailure(UVI_STATUS_INVALID_PARAMETER, "Invalid strip size");
    return error;
}

// Whether the volume's level may become the target with this many added disks, and what the
// controller allows of the resulting capacity.
CConsolidatedError CheckMigration(Session& session, const Controller& controller, unsigned count,
                                  const volume_create::VolumeFacts& volume,
                                  const volume_create::ArrayFacts& array, uint32_t level,
                                  const _UVI_RaidLevelInfo& levelInfo, uint64_t memberSize) {
    const RaidLevelRow* current = findRaidLevelRow(volume.raidLevel);
    if (!current)
        return StatusFailure(UVI_STATUS_INTERNAL_ERROR, nullptr, "Unable to get RAID table entry");
    if (count != 0 && (level & current->migrationMask) == 0)
        return StatusFailure(UVI_STATUS_INVALID_PARAMETER, nullptr, "migration not allowed");
    const int needed =
        MinDisksToAddForMigration(current->levelClass, array.memberCount, levelInfo.redundancy);
    if (count < static_cast<unsigned>(needed))
        return StatusFailure(UVI_STATUS_INVALID_PARAMETER, nullptr, "not enough disks");
    const uint64_t capacity = VolumeCapacityForLevel(level, count + array.memberCount, memberSize);
    _UVI_ControllerInfo controllerInfo{};
    CConsolidatedError error = internalUviGetControllerInfo(session, controller.getHandle(), &controllerInfo);
    if (error.IsError())
        return error;
    if (!controllerInfo.capabilities[kLargeVolumeCapability] && capacity >= kTwoTiB)
        return Failure(CConsolidatedError::UVI_DATAEXCEEDSLIMITS,
                       "Controller does not support >= 2TB volume!");
    return error;
}

// Under the controller's lock: the driver is idle, and the volume, its array and the disks the
// selection is written to are still where the session read them.
CConsolidatedError ConfirmModificationTargets(Session& session, const Controller& controller, HANDLE target,
                                              const volume_create::VolumeFacts& volume) {
    CConsolidatedError error = ConfirmSelectionTargets(session, controller, target, volume.arrayHandle);
    if (error.IsSuccessful())
        if (const std::shared_ptr<RaidVolume> changed = session.getVolumeByHandle(volume.handle))
            error = ConfirmVolumeAtIndex(target, *changed);
    return error;
}

// The driver's two-phase expansion or migration under the controller's lock.
CConsolidatedError RunModification(Session& session, const Controller& controller, const uint32_t* disks,
                                   unsigned count, const volume_create::VolumeFacts& volume, const char* name,
                                   uint32_t level, uint32_t stripSize, uint64_t sizeInBytes, bool expand) {
    CConsolidatedError error;
    if (!controller.getControllerLocator())
        return error;
    ControllerLocatorLock lock(controller.getTarget());
    const HANDLE target = lock.GetDeviceHandle();
    VolumeTransaction transaction(controller.getHandle(), volume.handle);
    auto writeParams = [&] {
        return setCreateModifyParams(session, disks, count, 0, volume.arrayHandle, name, level, sizeInBytes,
                                     stripSize, controller, target, 0, 0, kVolumeTypePlain);
    };
    error = ConfirmModificationTargets(session, controller, target, volume);
    if (error.IsError())
        return error;
    error = writeParams();
    if (error.IsError())
        return WithDebug(error, "Unable to set up create/modify params in internalUviVolumeModify");
    error = transaction.triggerTransaction(target, expand ? kTriggerParseExpand : kTriggerParseMigration);
    if (error.IsError())
        return WithDebug(error, expand ? "Trigger TriggerParseExpand failed in internalUviVolumeModify"
                                       : "Trigger TriggerParseMigration failed in internalUviVolumeModify");
    error = writeParams();
    if (error.IsError())
        return WithDebug(error, "Unable to set up create/modify params (2) in internalUviVolumeModify");
    error = transaction.triggerTransaction(target, expand ? kTriggerExpandArray : kTriggerMigrateVolume);
    if (error.IsError())
        return WithDebug(error, expand ? "Trigger TriggerExpandArray failed in internalUviVolumeModify"
                                       : "Trigger TriggerMigrateVolume failed in internalUviVolumeModify");
    return error;
}

// The controller record of the storage port, for the direct settings.
ControllerLocator* ControllerOfPort(int port) {
    const DeviceLocator table;
    static_cast<void>(table);
    return DeviceLocator::FindByPort(port);
}

} // namespace

CConsolidatedError internalUviVolumeModify(Session& session, const uint32_t* disks, unsigned count,
                                           uint32_t volumeHandle, uint32_t raidLevel, uint32_t stripSize,
                                           uint64_t sizeInBytes, bool expand) {
    if (!disks && count != 0)
        return StatusFailure(UVI_STATUS_INVALID_PARAMETER, "disks not set properly");
    std::shared_ptr<Controller> controller;
    CConsolidatedError error = GetVolumeAndController(&session, volumeHandle, controller);
    if (error.IsError())
        return WithDebug(error, "Disk not found in internalUviVolumeModify");
    volume_create::VolumeFacts volume;
    error = volume_create::ReadVolumeFacts(session, volumeHandle, volume);
    if (error.IsError())
        return WithDebug(error, "Invalid volume in internalUviVolumeModify");
    volume_create::ArrayFacts array;
    error = volume_create::ReadArrayFacts(session, volume.arrayHandle, array);
    if (error.IsError())
        return WithDebug(error, "Couldn't get array in internalUviVolumeModify");

    uint64_t memberSize = 0;
    error = SmallestMember(session, volume.arrayHandle, memberSize);
    if (error.IsError())
        return error;
    error = CheckAddedDisks(session, disks, count, *controller, memberSize);
    if (error.IsError())
        return error;
    _UVI_RaidLevelInfo levelInfo{};
    error = CheckLimits(session, *controller, count, volume, array, raidLevel, stripSize, levelInfo);
    if (error.IsError())
        return error;
    if (!expand) {
        for (unsigned i = 0; i < count; ++i) {
            _UVI_EndDeviceInfo record{};
            error = internalUviGetEndDeviceInfo(session, disks[i], &record);
            if (error.IsError())
                return WithDebug(error, "Could not get disk info");
            if (record.capacity < array.smallestMemberBytes)
                return StatusFailure(UVI_STATUS_INVALID_PARAMETER,
                                     "Could not add the given disk as it is smaller than the minimum size "
                                     "necessary for the array");
        }
    }
    error = CheckMigration(session, *controller, count, volume, array, raidLevel, levelInfo, memberSize);
    if (error.IsError())
        return error;

    const std::shared_ptr<RaidVolume> object = session.getVolumeByHandle(volumeHandle);
    if (!object)
        return StatusFailure(UVI_STATUS_INTERNAL_ERROR, nullptr, "couldn't get RaidVolume");
    const uint8_t* record = object->getRecord();
    if (!record)
        return StatusFailure(UVI_STATUS_INTERNAL_ERROR, nullptr, nullptr);
    if (object->getRecordWord(kVolumeStateWord) != 0)
        return StatusFailure(UVI_STATUS_INVALID_STATE, nullptr, nullptr);
    const std::string name(
        reinterpret_cast<const char*>(record + RaidVolume::kName),
        strnlen(reinterpret_cast<const char*>(record + RaidVolume::kName), RaidVolume::kNameSize));

    // The claims change the driver already: a volume that is no longer where this session read it
    // is refused before them.
    if (count != 0 && controller->getControllerLocator()) {
        ControllerLocatorLock lock(controller->getTarget());
        error = ConfirmModificationTargets(session, *controller, lock.GetDeviceHandle(), volume);
        if (error.IsError())
            return error;
    }
    for (unsigned i = 0; i < count; ++i) {
        error = internalUviDiskClaim(session, disks[i]);
        if (error.IsError())
            return WithDebug(error, "Unable to claim disk in internalUviVolumeModify");
    }
    return RunModification(session, *controller, disks, count, volume, name.c_str(), raidLevel, stripSize,
                           sizeInBytes, expand);
}

CConsolidatedError internalUviAddDisksToArray(Session& session, uint32_t arrayHandle, const uint32_t* disks,
                                              unsigned count) {
    std::shared_ptr<Controller> controller;
    CConsolidatedError error = GetArrayAndController(&session, arrayHandle, controller);
    if (error.IsError())
        return error;
    if (!controller)
        return CConsolidatedError(CConsolidatedError::UVI_FAILED);
    uint32_t volumeHandle = 0;
    for (const auto& volume : controller->getVolumes()) {
        const auto array = volume ? volume->getArray() : nullptr;
        if (array && array->getHandle() == arrayHandle) {
            volumeHandle = volume->getHandle();
            break;
        }
    }
    if (volumeHandle == 0)
        return StatusFailure(UVI_STATUS_INVALID_PARAMETER, "No Volumes on the array handle");
    volume_create::VolumeFacts volume;
    error = volume_create::ReadVolumeFacts(session, volumeHandle, volume);
    if (error.IsError())
        return error;
    return internalUviVolumeModify(session, disks, count, volumeHandle, volume.raidLevel, volume.stripSize,
                                   volume.sizeInBytes, true);
}

CConsolidatedError internalUviRaidLevelModify(Session& session, uint32_t volumeHandle,
                                              _UVI_RaidLevelModifyParams params) {
    volume_create::VolumeFacts volume;
    CConsolidatedError error = volume_create::ReadVolumeFacts(session, volumeHandle, volume);
    if (error.IsError())
        return error;
    return internalUviVolumeModify(session, params.diskHandles, params.diskCount, volumeHandle,
                                   params.raidLevel, params.stripSize, volume.sizeInBytes, false);
}

extern "C" {

_UVI_Error UviAddDisksToArray(unsigned int arrayHandle, const uint32_t* diskHandles, unsigned int count) {
    return RunOwnSessionCall([&](Session& session) {
        return ValidateThenRun(
            session, [&] { return UviActionValidator::RulesForAddDisksToArray(diskHandles, count); },
            [&] { return internalUviAddDisksToArray(session, arrayHandle, diskHandles, count); });
    });
}

_UVI_Error UviRaidLevelModify(unsigned int volumeHandle, const _UVI_RaidLevelModifyParams* params) {
    if (!params)
        return RunExportedCall(
            [] { return Failure(CConsolidatedError::UVI_INVALIDPARAMETER, "params cannot be null"); });
    const _UVI_RaidLevelModifyParams request = *params;
    return RunOwnSessionCall([&](Session& session) {
        return ValidateThenRun(
            session,
            [&] {
                return UviActionValidator::RulesForRaidLevelModify(request.diskHandles, request.diskCount);
            },
            [&] { return internalUviRaidLevelModify(session, volumeHandle, request); });
    });
}

_UVI_Error UviExpandVolume(unsigned int volumeHandle) {
    return RunExportedCall([&] {
        SessionHolder holder;
        Session* session = nullptr;
        if (!SessionHandler::get().isInitialized() || SessionHolder::acquire(holder, 0, session).IsError() ||
            !session)
            return CConsolidatedError(CConsolidatedError::UVI_FAILED);
        const auto object = session->getVolumeByHandle(volumeHandle);
        if (!object)
            return Failure(CConsolidatedError::UVI_INVALIDHANDLE,
                           "failed to get volume for the given volume handle");
        if (object->getControllerHandle() == 0)
            return Failure(CConsolidatedError::GENERAL_UNKNOWN_ERROR, "failed to get controller");
        volume_create::VolumeFacts volume;
        CConsolidatedError error = volume_create::ReadVolumeFacts(*session, volumeHandle, volume);
        if (error.IsError())
            return error;
        if (!volume.expandable)
            return Failure(CConsolidatedError::GENERAL_FAULT, "Volume cannot be expanded");
        volume_create::ArrayFacts array;
        error = volume_create::ReadArrayFacts(*session, volume.arrayHandle, array);
        if (error.IsError())
            return error;
        return internalUviVolumeModify(*session, nullptr, 0, volumeHandle, volume.raidLevel, volume.stripSize,
                                       kExpandToAllSpace, false);
    });
}

_UVI_Error UviSetReadPatrolUnit(int port, int volumeIndex, uint64_t value) {
    return RunExportedCall([&] {
        ControllerLocator* controller = ControllerOfPort(port);
        if (!controller)
            return Failure(CConsolidatedError::UVI_INVALIDPARAMETER, "Could not find controller");
        ControllerLocatorLock lock(controller);
        CIoctlRaidSetField set(lock.GetDeviceHandle(), static_cast<uint32_t>(volumeIndex),
                               RAID_FIELD_DEVICE_WIDE_VALUE, &value, sizeof value);
        return set.Invoke();
    });
}

_UVI_Error UviToggleCoalescerPolicy(int port, int volumeIndex, int value) {
    return RunExportedCall([&] {
        ControllerLocator* controller = ControllerOfPort(port);
        if (!controller)
            return Failure(CConsolidatedError::UVI_INVALIDPARAMETER, "Could not find controller");
        ControllerLocatorLock lock(controller);
        const int32_t word = value;
        CIoctlRaidSetField set(lock.GetDeviceHandle(), static_cast<uint32_t>(volumeIndex),
                               RAID_FIELD_DEVICE_ACTION, &word, sizeof word);
        CConsolidatedError error = set.Invoke();
        if (error.IsError())
            return error;
        CIoctlRaidVolume_SetAction action(lock.GetDeviceHandle(), static_cast<uint32_t>(volumeIndex),
                                          kCoalescerAction);
        action.SetVerifyOnInvoke(true);
        return action.Invoke();
    });
}

} // extern "C"
