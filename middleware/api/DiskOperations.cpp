// The exported operations on one disk and the work behind them.
#include "middleware/api/DiskOperations.h"

#include <cstdio>
#include <initializer_list>
#include <memory>

#include "middleware/api/ActionValidator.h"
#include "middleware/api/ApiLookups.h"
#include "middleware/api/ControllerLockCall.h"
#include "middleware/api/ControllerQueries.h"
#include "middleware/api/EndDeviceQueries.h"
#include "middleware/api/ExportedCall.h"
#include "middleware/api/UviDiskOperations.h"
#include "middleware/api/UviOperations.h"
#include "middleware/ioctl/AtaRequests.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Disk.h"
#include "middleware/model/DiskTransaction.h"
#include "middleware/model/Session.h"
#include "middleware/model/WinDiskInterface.h"
#include "platform/win/Trace.h"

namespace {

CConsolidatedError NotImplemented() {
    return CConsolidatedError(CConsolidatedError::UVI_NOTIMPLEMENTED);
}

// Applies a setting to the Windows drive with the number; only 1 enables.
CConsolidatedError SetWindowsDriveSetting(Session& session, int driveNumber, const char* what,
                                          CConsolidatedError (WinDiskInterface::*set)(bool), int setting) {
    const std::unique_ptr<WinDiskInterface>& drive = session.findWinDiskInterfaceByDeviceNumber(driveNumber);
    if (!drive) {
        CConsolidatedError error;
        char message[128];
        std::snprintf(message, sizeof(message), "Cannot set %s. Invalid drive number %d:", what, driveNumber);
        error.SetError(CConsolidatedError::UVI_INVALIDHANDLE, message);
        return error;
    }
    return ((*drive).*set)(setting == 1);
}

// Disks of this size and more become spares only on controllers with large-disk support.
constexpr uint64_t kLargeDiskBytes = 0x20000000000;
// The controller record's large-disk support flag (record offset 439).
constexpr size_t kLargeDiskFlag = 439 - 424;
// The cache-memory kind of a member of the controller's cache volumes.
constexpr uint32_t kCacheMemberKind = 4;

// Unlock results of the driver.
constexpr ULONG kUnlockDone = 0;
constexpr ULONG kUnlockNotLocked = 1;
constexpr ULONG kUnlockAttemptsExhausted = 2;

CConsolidatedError Refused(KEDO2_ERRORS code, const char* message) {
    CConsolidatedError error;
    error.SetError(code, message);
    return error;
}

CConsolidatedError InvalidState() {
    return Refused(CConsolidatedError::UVI_INVALIDSTATE, nullptr);
}

// What every disk operation starts from: the disk's controller and its end-device record.
struct DiskView {
    std::shared_ptr<Controller> controller;
    _UVI_EndDeviceInfo info{};
};

CConsolidatedError ReadDisk(Session& session, uint32_t diskHandle, DiskView& disk) {
    return GetDiskControllerAndInfo(session, diskHandle, disk.controller, disk.info);
}

// One disk action and the text its failure adds (none when null).
struct ActionStep {
    uint32_t action;
    const char* failureText;
};

// Runs the actions in order, each as a disk transaction, under the controller's lock from before the
// first until after the last. The first failure ends the run with its step's text, then
// `anyFailureText`; the driver may keep what the earlier actions did.
CConsolidatedError RunDiskActions(Session& session, const Controller& controller, uint32_t diskHandle,
                                  std::initializer_list<ActionStep> steps,
                                  const char* anyFailureText = nullptr) {
    ControllerLocator* locator = controller.getControllerLocator();
    // Without the controller's record nothing can be sent; that is no success.
    if (!locator)
        return Refused(CConsolidatedError::UVI_INTERNALERROR, "Device locator cannot be null");
    CConsolidatedError result = RunUnderControllerLock(locator, [&] {
        CConsolidatedError error;
        for (const ActionStep& step : steps) {
            DiskTransaction transaction(controller.getHandle(), diskHandle);
            error = transaction.singleDiskTransaction(session, locator, step.action);
            if (error.IsError()) {
                if (step.failureText)
                    error.AddDebugInformation("%s", step.failureText);
                break;
            }
        }
        return error;
    });
    if (result.IsError() && anyFailureText)
        result.AddDebugInformation("%s", anyFailureText);
    return result;
}

// The one-action operations: the state that allows each, its action and the text of its failure.
struct OneActionOperation {
    bool (*allowed)(const _UVI_EndDeviceInfo& disk);
    uint32_t action;
    const char* failureText;
};

const OneActionOperation kClaim = {
    [](const _UVI_EndDeviceInfo& d) { return d.usage == UVI_DISK_USAGE_PASS_THROUGH; }, kDiskActionClaim,
    "Unable to claim disk"};
const OneActionOperation kMarkAsFailed = {
    [](const _UVI_EndDeviceInfo& d) { return d.state != UVI_DISK_STATE_FAILED; }, kDiskActionMarkFailed,
    "Unable to mark disk as failed"};
const OneActionOperation kMarkAsNormal = {
    [](const _UVI_EndDeviceInfo& d) { return d.state == UVI_DISK_STATE_FAILED; }, kDiskActionMarkNormal,
    "Unable to mark disk as normal/ healthy"};
const OneActionOperation kMarkOffline = {
    [](const _UVI_EndDeviceInfo& d) { return d.state != UVI_DISK_STATE_OFFLINE; }, kDiskActionOffline,
    "Unable to mark disk as offline"};
const OneActionOperation kMarkOnline = {[](const _UVI_EndDeviceInfo& d) {
                                            return d.state == UVI_DISK_STATE_OFFLINE ||
                                                   d.state == UVI_DISK_STATE_OFFLINE_BY_REQUEST;
                                        },
                                        kDiskActionOnline, "Unable to mark disk as online"};
const OneActionOperation kSetSmartEvent = {
    [](const _UVI_EndDeviceInfo& d) { return d.state != UVI_DISK_STATE_SMART_EVENT; },
    kDiskActionSetSmartEvent, "Unable to set SMART on disk"};
const OneActionOperation kResetSmartEvent = {[](const _UVI_EndDeviceInfo& d) { return d.smartEvent == 1; },
                                             kDiskActionResetSmartEvent, "Unable to reset SMART on disk"};

CConsolidatedError RunOneAction(Session& session, uint32_t diskHandle, const OneActionOperation& operation) {
    DiskView disk;
    CConsolidatedError result = ReadDisk(session, diskHandle, disk);
    if (result.IsError())
        return result;
    if (!operation.allowed(disk.info))
        return InvalidState();
    return RunDiskActions(session, *disk.controller, diskHandle, {{operation.action, operation.failureText}});
}

bool ClearableUsage(uint32_t usage) {
    return usage == UVI_DISK_USAGE_UNKNOWN || usage == UVI_DISK_USAGE_ARRAY_MEMBER ||
           usage == UVI_DISK_USAGE_OFFLINE_ARRAY;
}

bool IsDiskOfVolume(const Controller& controller, const std::shared_ptr<RaidVolume>& volume,
                    uint32_t diskHandle) {
    if (!volume)
        return false;
    for (const auto& disk : controller.getDisksOfVolume(volume))
        if (disk && disk->getHandle() == diskHandle)
            return true;
    return false;
}

CConsolidatedError ClearMetadata(Session& session, uint32_t diskHandle) {
    DiskView disk;
    CConsolidatedError result = ReadDisk(session, diskHandle, disk);
    if (result.IsError())
        return result;
    const _UVI_EndDeviceInfo& info = disk.info;
    if (info.systemDisk || info.arrayHandle != 0 || !ClearableUsage(info.usage))
        return InvalidState();
    if (info.state == UVI_DISK_STATE_OFFLINE_BY_REQUEST) {
        result = internalUviDiskMarkOnline(session, diskHandle);
        if (result.IsError()) {
            result.AddDebugInformation("Unable to bring manual offline disk to online");
            return result;
        }
    }
    Controller& controller = *disk.controller;
    ControllerLocator* locator = controller.getControllerLocator();
    if (!locator)
        return Refused(CConsolidatedError::UVI_INTERNALERROR, "Device locator cannot be null");
    const std::shared_ptr<Disk> found = controller.getDiskByHandle(diskHandle);
    if (!found)
        return Refused(CConsolidatedError::UVI_INTERNALERROR, "Cannot find disk by handle");
    if (info.vezkDiskKind == kCacheMemberKind) {
        const std::shared_ptr<RaidVolume> fileCache = controller.getFileCacheVolume();
        if (IsDiskOfVolume(controller, fileCache, diskHandle))
            return removeMetadata(&session, locator, &controller, fileCache);
        const PackedScsiAddress id = found->getWinScsiAddress() != kNoScsiAddress ? found->getWinScsiAddress()
                                                                                  : found->getScsiAddress();
        return removeMetadata(&session, locator, id);
    }
    return RunDiskActions(session, controller, diskHandle,
                          {{kDiskActionEraseConfig, "Unable to Erase the config"},
                           {kDiskActionPassThrough, "Unable to Mark Disk as Passthru"}});
}

// The exports whose work is one internal function of (session, disk handle).
_UVI_Error RunOnDisk(CConsolidatedError (*work)(Session&, uint32_t), uint32_t diskHandle) {
    return RunTemporarySessionCall([=](Session& session) { return work(session, diskHandle); });
}

} // namespace

CConsolidatedError GetDiskControllerAndInfo(Session& session, uint32_t diskHandle,
                                            std::shared_ptr<Controller>& controller,
                                            _UVI_EndDeviceInfo& info) {
    CConsolidatedError result = GetDiskAndController(&session, diskHandle, controller);
    if (result.IsError())
        return result;
    result = internalUviGetEndDeviceInfo(session, diskHandle, &info);
    if (result.IsError())
        result.AddDebugInformation("Error getting disk info for the handle passed in!");
    return result;
}

CConsolidatedError internalUviDiskClaim(Session& session, uint32_t diskHandle) {
    return RunOneAction(session, diskHandle, kClaim);
}

CConsolidatedError internalUviDiskMarkAsFailed(Session& session, uint32_t diskHandle) {
    return RunOneAction(session, diskHandle, kMarkAsFailed);
}

CConsolidatedError internalUviDiskMarkAsNormal(Session& session, uint32_t diskHandle) {
    return RunOneAction(session, diskHandle, kMarkAsNormal);
}

CConsolidatedError internalUviDiskMarkOffline(Session& session, uint32_t diskHandle) {
    return RunOneAction(session, diskHandle, kMarkOffline);
}

CConsolidatedError internalUviDiskMarkOnline(Session& session, uint32_t diskHandle) {
    return RunOneAction(session, diskHandle, kMarkOnline);
}

CConsolidatedError internalUviDiskSetSmartEvent(Session& session, uint32_t diskHandle) {
    return RunOneAction(session, diskHandle, kSetSmartEvent);
}

CConsolidatedError internalUviDiskResetSmartEvent(Session& session, uint32_t diskHandle) {
    return RunOneAction(session, diskHandle, kResetSmartEvent);
}

CConsolidatedError internalUviDiskMarkAsSpare(Session& session, uint32_t diskHandle) {
    DiskView disk;
    CConsolidatedError result = ReadDisk(session, diskHandle, disk);
    if (result.IsError())
        return result;
    _UVI_ControllerInfo controllerInfo{};
    result = internalUviGetControllerInfo(session, disk.controller->getHandle(), &controllerInfo);
    if (result.IsError())
        return result;
    if (!controllerInfo.capabilities[kLargeDiskFlag] && disk.info.capacity >= kLargeDiskBytes)
        return Refused(CConsolidatedError::UVI_NOTSUPPORTED,
                       "Disk of size greater than or equal to 2TB is not supported");
    if (disk.info.systemDisk || disk.info.state != UVI_DISK_STATE_NORMAL ||
        disk.info.usage != UVI_DISK_USAGE_PASS_THROUGH)
        return InvalidState();
    return RunDiskActions(session, *disk.controller, diskHandle,
                          {{kDiskActionClaim, "Unable to Claim device for Marking disk as Spare"},
                           {kDiskActionMarkSpare, nullptr}},
                          "Unable to Mark Disk as Spare");
}

CConsolidatedError internalUviDiskUnmarkAsSpare(Session& session, uint32_t diskHandle) {
    DiskView disk;
    CConsolidatedError result = ReadDisk(session, diskHandle, disk);
    if (result.IsError())
        return result;
    if (disk.info.state != UVI_DISK_STATE_NORMAL || disk.info.usage != UVI_DISK_USAGE_SPARE)
        return InvalidState();
    return RunDiskActions(
        session, *disk.controller, diskHandle,
        {{kDiskActionEraseConfig, "Unable to Erase the config for UnMarking disk from Spare"},
         {kDiskActionPassThrough, nullptr}},
        "Unable to Mark Disk as Passthru");
}

CConsolidatedError internalUviDiskClearMetadata(Session& session, uint32_t diskHandle) {
    CConsolidatedError result = ClearMetadata(session, diskHandle);
    if (result.IsError())
        MOX_TRACE(TRACE_LEVEL_ERROR, "internalUviDiskClearMetadata failed: %#X %s %s",
                  static_cast<unsigned>(result.GetErrorCode()), result.GetErrorMessage(),
                  result.GetDebugInformation());
    return result;
}

CConsolidatedError internalUviDiskUnlock(Session& session, uint32_t diskHandle,
                                         const _UVI_DiskUnlockInfo* unlockInfo) {
    if (!unlockInfo) {
        CConsolidatedError error = Refused(CConsolidatedError::UVI_INVALIDPARAMETER, nullptr);
        error.AddDebugInformation("Uvi disk unlock: unlock info is null");
        return error;
    }
    std::shared_ptr<Controller> controller;
    CConsolidatedError result = GetDiskAndController(&session, diskHandle, controller);
    if (result.IsError())
        return result;
    _UVI_ControllerInfo controllerInfo{};
    result = internalUviGetControllerInfo(session, controller->getHandle(), &controllerInfo);
    if (result.IsError())
        return result;
    _UVI_EndDeviceInfo info{};
    result = internalUviGetEndDeviceInfo(session, diskHandle, &info);
    if (result.IsError()) {
        result.AddDebugInformation("Error getting disk info for the handle passed in!");
        return result;
    }
    if (info.state != UVI_DISK_STATE_LOCKED)
        return InvalidState();
    ControllerLocator* locator = controller->getControllerLocator();
    if (!locator)
        return Refused(CConsolidatedError::UVI_INTERNALERROR, "Device locator cannot be null");
    ULONG unlockResult = 0;
    result = RunUnderControllerLock(locator, [&] {
        CIoctlMpDiskUnlock request(locator, unlockInfo->passwordKind == 0 ? kMasterPassword : kUserPassword,
                                   info.scsiAddress);
        request.SetPassword(unlockInfo->password, sizeof unlockInfo->password);
        CConsolidatedError error = request.Invoke();
        if (error.IsSuccessful())
            unlockResult = request.GetUnlockResult();
        return error;
    });
    if (result.IsError())
        return result;
    switch (unlockResult) {
    case kUnlockDone:
    case kUnlockNotLocked:
        return CConsolidatedError();
    case kUnlockAttemptsExhausted:
        return Refused(CConsolidatedError::UVI_RETRIESEXCEEDED, nullptr);
    default:
        return Refused(CConsolidatedError::UVI_WRONGPASSWORD, nullptr);
    }
}

extern "C" {

_UVI_Error UviDiskAssignStoragePool() {
    return RunExportedCall(NotImplemented);
}

_UVI_Error UviSetOrvexHybridDiskSubClassCode() {
    return RunExportedCall(NotImplemented);
}

_UVI_Error UviDiskSetCacheBufferFlushSetting(int driveNumber, int setting) {
    return RunSessionCall(0, [=](Session& session) {
        return SetWindowsDriveSetting(session, driveNumber, "cache buffer flush",
                                      &WinDiskInterface::setCacheBufferFlush, setting);
    });
}

_UVI_Error UviDiskSetWriteCachingPolicySetting(int driveNumber, int setting) {
    return RunSessionCall(0, [=](Session& session) {
        return SetWindowsDriveSetting(session, driveNumber, "write caching policy",
                                      &WinDiskInterface::setWriteCachingPolicy, setting);
    });
}

_UVI_Error UviDiskClaim(uint32_t diskHandle) {
    return RunOnDisk(internalUviDiskClaim, diskHandle);
}

_UVI_Error UviDiskClearMetadata(uint32_t diskHandle) {
    return RunOnDisk(internalUviDiskClearMetadata, diskHandle);
}

_UVI_Error UviDiskMarkAsFailed(uint32_t diskHandle) {
    return RunOnDisk(internalUviDiskMarkAsFailed, diskHandle);
}

_UVI_Error UviDiskMarkAsNormal(uint32_t diskHandle) {
    return RunOnDisk(internalUviDiskMarkAsNormal, diskHandle);
}

_UVI_Error UviDiskMarkAsSpare(uint32_t diskHandle) {
    return RunOwnSessionCall([=](Session& session) {
        return ValidateThenRun(
            session, [=] { return UviActionValidator::RulesForDiskMarkAsSpare(diskHandle); },
            [&] { return internalUviDiskMarkAsSpare(session, diskHandle); });
    });
}

_UVI_Error UviDiskUnmarkAsSpare(uint32_t diskHandle) {
    return RunOnDisk(internalUviDiskUnmarkAsSpare, diskHandle);
}

_UVI_Error UviDiskMarkOffline(uint32_t diskHandle) {
    return RunOnDisk(internalUviDiskMarkOffline, diskHandle);
}

_UVI_Error UviDiskMarkOnline(uint32_t diskHandle) {
    return RunOnDisk(internalUviDiskMarkOnline, diskHandle);
}

_UVI_Error UviDiskSetSmartEvent(uint32_t diskHandle) {
    return RunOnDisk(internalUviDiskSetSmartEvent, diskHandle);
}

_UVI_Error UviDiskResetSmartEvent(uint32_t diskHandle) {
    return RunOnDisk(internalUviDiskResetSmartEvent, diskHandle);
}

_UVI_Error UviDiskUnlock(uint32_t diskHandle, const _UVI_DiskUnlockInfo* unlockInfo) {
    return RunTemporarySessionCall(
        [=](Session& session) { return internalUviDiskUnlock(session, diskHandle, unlockInfo); });
}

} // extern "C"
