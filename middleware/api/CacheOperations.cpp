// The SSD cache operations on a disk or a volume: cache mode, cache destruction and spindown
// policy, with the Windows write-caching follow-ups that bring the drive in line afterwards.
#include "middleware/api/CacheOperations.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "middleware/api/ApiHelpers.h"
#include "middleware/api/ApiLookups.h"
#include "middleware/api/DiskOperations.h"
#include "middleware/api/EndDeviceQueries.h"
#include "middleware/api/NvcInfo.h"
#include "middleware/api/SystemOperations.h"
#include "middleware/api/UviApi.h"
#include "middleware/api/UviDeviceQueries.h"
#include "middleware/api/UviVezkRecords.h"
#include "middleware/api/VezkQueries.h"
#include "middleware/api/VolumeOperations.h"
#include "middleware/api/VolumeQueries.h"
#include "middleware/ioctl/ControllerLocatorLock.h"
#include "middleware/ioctl/RaidConfigSetters.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Disk.h"
#include "middleware/model/DiskShrinkExtension.h"
#include "middleware/model/DiskTransaction.h"
#include "middleware/model/RaidDiskConfig.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/Session.h"
#include "middleware/model/SessionHandler.h"
#include "middleware/model/SessionHolder.h"
#include "middleware/model/VolumeTransaction.h"

namespace {

// Volume actions and the disk action of the cache operations.
constexpr uint32_t kSetCacheModeAction = 15;
constexpr uint32_t kSetSpindownAction = 18;
constexpr uint32_t kDestroyCacheAction = 19;
constexpr uint32_t kDiskCacheModeAction = 17;

constexpr uint32_t kSingleDiskLevel = UVI_RAID_LEVEL_0_SINGLE;
constexpr uint32_t kBusPcie = 3;
constexpr uint32_t kCacheFlagSet = 2;
constexpr uint32_t kCachePolicyOff = 1;

CConsolidatedError Refused(KEDO2_ERRORS code, const char* message, const char* debug = nullptr) {
    CConsolidatedError error;
    if (debug)
        error.SetError(code, message, debug);
    else
        error.SetError(code, message);
    return error;
}

CConsolidatedError WithDebug(CConsolidatedError error, const char* debug) {
    error.AddDebugInformation("%s", debug);
    return error;
}

// The driver's action value of a cache mode; false for a mode without one.
bool ModeActionValue(int mode, uint32_t& value) {
    switch (mode) {
    case UVI_NVC_MODE_OFF:
        value = 0;
        return true;
    case UVI_NVC_MODE_SAFE:
        value = 3;
        return true;
    case UVI_NVC_MODE_PERFORMANCE:
        value = 5;
        return true;
    default:
        return false;
    }
}

bool SpindownActionValue(int policy, uint32_t& value) {
    switch (policy) {
    case 1:
        value = 0xFFFFFFFF;
        return true;
    case 2:
        value = 0;
        return true;
    case 4:
        value = 600;
        return true;
    case 8:
        value = 60;
        return true;
    case 16:
        value = 1;
        return true;
    default:
        return false;
    }
}

bool HasPairing(Session& session, uint32_t controllerHandle) {
    _UVI_VezkInfo vezk{};
    static_cast<void>(internalUviVezkNvcInfo(session, controllerHandle, vezk));
    // The pairing state (0 none, 1 to 3), not the cache pair's own state beside it.
    return vezk.pairType != 0;
}

CConsolidatedError CannotAccelerateSsds(const char* function) {
    return Refused(CConsolidatedError::UVI_INVALIDPARAMETER, "Cannot accelerate SSDs",
                   (std::string("Invalid disk parameter in ") + function).c_str());
}

// Whether the controller's cache device rules out accelerating solid-state drives: it is not a
// PCIe device, or there is none.
bool CacheDeviceIsNotPcie(Session& session, uint32_t controllerHandle) {
    _UVI_EndDeviceInfo cacheDevice{};
    static_cast<void>(GetCacheDeviceInfo(session, controllerHandle, &cacheDevice));
    return cacheDevice.busType != kBusPcie;
}

// Steps shared by the disk operations: the disk, its controller and its record; an SSD refused
// when the cache device is not PCIe; the disk object.
CConsolidatedError PrepareDisk(Session& session, uint32_t diskHandle, const char* function,
                               std::shared_ptr<Controller>& controller, _UVI_EndDeviceInfo& record,
                               std::shared_ptr<Disk>& disk) {
    std::memset(&record, 0, sizeof(record));
    CConsolidatedError error = GetDiskControllerAndInfo(session, diskHandle, controller, record);
    if (error.IsError())
        return error;
    if (CacheDeviceIsNotPcie(session, controller->getHandle()) && record.solidState)
        return CannotAccelerateSsds(function);
    disk = session.getEndDeviceByHandle(diskHandle);
    if (!disk)
        return Refused(CConsolidatedError::UVI_INVALIDHANDLE, " Invalid disk handle");
    return CConsolidatedError();
}

// Whether Windows write caching should be on for a disk after a cache change to `mode`; false
// in `change` for a mode that changes nothing.
bool DiskWriteCaching(int mode, uint32_t cacheFlag, bool& change) {
    change = mode == UVI_NVC_MODE_OFF || mode == UVI_NVC_MODE_SAFE || mode == UVI_NVC_MODE_PERFORMANCE;
    return mode == UVI_NVC_MODE_PERFORMANCE || cacheFlag == kCacheFlagSet;
}

CConsolidatedError LookupFailed(const char* format, uint32_t handle) {
    char text[128];
    std::snprintf(text, sizeof(text), format, static_cast<int>(handle));
    return Refused(CConsolidatedError::UVI_FAULT, text);
}

// The disk follow-up, in a table session of its own so that it sees the driver's new state; its
// result is dropped by the callers.
void DiskWriteCachingFollowUp(const _UVI_EndDeviceInfo& record, int mode) {
    static_cast<void>(runWithNewSession([&](Session& session) -> CConsolidatedError {
        const std::shared_ptr<Disk> disk = session.getEndDeviceByHandle(record.endDeviceHandle);
        if (!disk)
            return LookupFailed("couldn't find disk with handle %d", record.endDeviceHandle);
        if (!disk->getWinDiskInterface())
            return LookupFailed("couldn't find win disk for disk with handle %d", record.endDeviceHandle);
        bool change = false;
        const bool enable = DiskWriteCaching(mode, record.recordKind, change);
        if (change)
            static_cast<void>(disk->getWinDiskInterface()->setWriteCachingPolicy(enable));
        return CConsolidatedError();
    }));
}

// The volume follow-up, in a table session of its own; its result is dropped by the callers.
void VolumeWriteCachingFollowUp(const _UVI_VolumeInfo& before, int mode) {
    static_cast<void>(runWithNewSession([&](Session& session) -> CConsolidatedError {
        const std::shared_ptr<RaidVolume> volume = session.getVolumeByHandle(before.handle);
        if (!volume)
            return LookupFailed("couldn't find volume with handle %d", before.handle);
        if (!volume->getWinDiskInterface())
            return LookupFailed("couldn't find win disk for disk with handle %d", before.handle);
        _UVI_VolumeInfo record{};
        CConsolidatedError error = getVolumeBySerialNumber(session, before.name, record);
        if (error.IsError())
            return error;
        const std::shared_ptr<Controller> controller = session.getControllerByHandle(before.controllerHandle);
        bool enable = false;
        if (mode == UVI_NVC_MODE_PERFORMANCE)
            enable = true;
        else if (mode == UVI_NVC_MODE_OFF || mode == UVI_NVC_MODE_SAFE)
            enable = controller && AllMembersHaveCacheFlag(session, record, *controller);
        else
            return error;
        static_cast<void>(volume->getWinDiskInterface()->setWriteCachingPolicy(enable));
        return error;
    }));
}

// Writes the device action value of the volume, then runs the volume action; the texts name what
// failed.
CConsolidatedError VolumeActionWithValue(Session& session, const Controller& controller,
                                         const RaidVolume& volume, uint32_t value, uint32_t action,
                                         const char* actionFailed) {
    const DeviceAction device{value, "Unable to set volume action for setting volume cache"};
    return RunVolumeAction(session, controller, volume.getHandle(), action, &device, actionFailed);
}

CConsolidatedError RefreshPartitions(Session& session) {
    CConsolidatedError error = RefreshPartitionInfoOfControllers(session);
    if (error.IsError())
        error.AddDebugInformation("Could not refresh OS Partition tables");
    return error;
}

bool NvcNamesAcceleratedVolume(Session& session, uint32_t controllerHandle) {
    _UVI_NvcInfo nvc{};
    nvc.acceleratedIndex = -1;
    static_cast<void>(internalUviGetNvcInfo(session, controllerHandle, &nvc));
    return nvc.acceleratedIndex != -1;
}

// After a disk's cache mode changed: makes Windows read the disk again. When its record cannot be
// read afresh, the volumes named as the disk was before the change are refreshed instead.
void RefreshDiskProperties(uint32_t diskHandle, const char* serialBefore) {
    _UVI_EndDeviceInfo fresh{};
    const _UVI_Error read = UviGetEndDeviceInfo(0, diskHandle, &fresh);
    if (read.status == 0) {
        CConsolidatedError ignored;
        callDiskUpdatePropertiesIoctl(fresh.deviceNumber, ignored);
        return;
    }
    unsigned session = 0;
    if (UviSessionOpen(&session).status != 0)
        return;
    static_cast<void>(performDiskUpdateIoctlWithVolumes(session, serialBefore));
    static_cast<void>(UviSessionClose(session));
}

} // namespace

CConsolidatedError SetDiskCacheModeAction(Session& session, uint32_t controllerHandle, uint32_t diskHandle,
                                          int mode) {
    const std::shared_ptr<Controller> controller = session.getControllerByHandle(controllerHandle);
    if (!controller)
        return Refused(CConsolidatedError::UVI_INVALIDPARAMETER, "Can't find controller with given ID");
    const std::shared_ptr<Disk> disk = session.getEndDeviceByHandle(diskHandle);
    if (!disk)
        return Refused(CConsolidatedError::UVI_INVALIDPARAMETER, "Can't find disk with given ID");
    uint32_t value = 0;
    if ((mode != UVI_NVC_MODE_SAFE && mode != UVI_NVC_MODE_PERFORMANCE) || !ModeActionValue(mode, value))
        return Refused(CConsolidatedError::UVI_INVALIDPARAMETER, "Cache mode invalid");
    if (!controller->getControllerLocator() || !disk->getRaidDiskConfig())
        return CConsolidatedError();
    ControllerLocatorLock lock(controller->getTarget());
    DiskTransaction transaction(controllerHandle, diskHandle);
    CConsolidatedError error = transaction.confirmSetup(session, controller->getTarget());
    if (error.IsError())
        return error;
    CIoctlRaidDeviceCfg_SetActionArg set(controller->getTarget(), disk->getRaidDiskConfig()->getDiskIndex(),
                                         value);
    error = set.Invoke();
    if (error.IsError())
        return WithDebug(error, "Unable to set volume action for setting disk cache");
    error = transaction.singleDiskTransaction(session, controller->getTarget(), kDiskCacheModeAction);
    if (error.IsError())
        error.AddDebugInformation("Could not Set NV Cache on the disk!");
    return error;
}

CConsolidatedError internalUviVolumeSetCacheMode(Session& session, uint32_t volumeHandle, int mode) {
    std::shared_ptr<Controller> controller;
    _UVI_VolumeInfo record{};
    CConsolidatedError error = GetVolumeControllerAndInfo(session, volumeHandle, controller, record);
    if (error.IsError())
        return error;
    if (CacheDeviceIsNotPcie(session, controller->getHandle()) && !record.isBlockCacheVolume &&
        internalVolumeContainsSSDs(session, record).IsError())
        return Refused(CConsolidatedError::UVI_INVALIDPARAMETER, "Cannot accelerate SSDs",
                       "Invalid disk parameter in internalUviVolumeSetCacheMode");
    uint32_t value = 0;
    if (!ModeActionValue(mode, value))
        return Refused(CConsolidatedError::UVI_INVALIDPARAMETER, "Cache mode invalid");
    const std::shared_ptr<RaidVolume> volume = session.getVolumeByHandle(volumeHandle);
    if (!volume)
        return Refused(CConsolidatedError::UVI_INVALIDHANDLE, " Invalid volume handle");
    if (controller->getControllerLocator()) {
        if (mode != UVI_NVC_MODE_OFF && record.cachePolicy != kCachePolicyOff)
            static_cast<void>(internalUviVolumeSetCachePolicy(session, volumeHandle, kCachePolicyOff));
        error = VolumeActionWithValue(session, *controller, *volume, value, kSetCacheModeAction,
                                      "Could not Set NV Cache on the volume!");
        if (error.IsError())
            return error;
    }
    error = RefreshPartitions(session);
    if (error.IsError())
        return error;
    if (!(mode == UVI_NVC_MODE_OFF && record.raidLevel == kSingleDiskLevel))
        VolumeWriteCachingFollowUp(record, mode);
    return error;
}

CConsolidatedError internalUviDiskSetCacheMode(Session& session, uint32_t diskHandle, int mode,
                                               uint32_t spaceKind) {
    std::shared_ptr<Controller> controller;
    std::shared_ptr<Disk> disk;
    _UVI_EndDeviceInfo record{};
    CConsolidatedError error =
        PrepareDisk(session, diskHandle, "internalUviDiskSetCacheMode", controller, record, disk);
    if (error.IsError())
        return error;
    const auto& config = disk->getRaidDiskConfig();
    const bool pairing = HasPairing(session, controller->getHandle());
    if (NvcNamesAcceleratedVolume(session, controller->getHandle())) {
        if (!config)
            return CConsolidatedError();
        if (config->getArrayIndex() != -1) {
            const std::shared_ptr<RaidVolume> volume = VolumeOfDisk(*controller, *disk, pairing);
            if (!volume)
                return CConsolidatedError();
            error = internalUviVolumeSetCacheMode(session, volume->getHandle(), mode);
            if (mode == UVI_NVC_MODE_OFF)
                DiskWriteCachingFollowUp(record, UVI_NVC_MODE_OFF);
            return error;
        }
    }
    // Only an acceleration reaches the driver through the disk; anything else is refused before a
    // pass-through disk is shrunk for metadata, so a refused call leaves the user's volumes alone.
    if (mode != UVI_NVC_MODE_SAFE && mode != UVI_NVC_MODE_PERFORMANCE)
        return Refused(CConsolidatedError::UVI_INVALIDPARAMETER, "Cache mode invalid");
    if (record.usage == UVI_DISK_USAGE_PASS_THROUGH && !pairing && config) {
        const DiskShrinkExtension shrink(disk->getWinDiskInterface().get());
        error = shrink.makeSpaceForMetadata(config->getMetadataSectors(), config->getSectorSize(), spaceKind);
        if (error.IsError())
            return error;
    }
    error = SetDiskCacheModeAction(session, controller->getHandle(), diskHandle, mode);
    if (error.IsError())
        return WithDebug(error, "Could not Set NV Cache on the disk!");
    error = RefreshPartitions(session);
    if (error.IsError())
        return error;
    DiskWriteCachingFollowUp(record, mode);
    RefreshDiskProperties(diskHandle, record.serialNumber);
    return error;
}

CConsolidatedError internalUviDiskDestroyCache(Session& session, uint32_t diskHandle) {
    std::shared_ptr<Controller> controller;
    std::shared_ptr<Disk> disk;
    _UVI_EndDeviceInfo record{};
    CConsolidatedError error =
        PrepareDisk(session, diskHandle, "internalUviDiskDestroyCache", controller, record, disk);
    if (error.IsError() || !disk->getRaidDiskConfig())
        return error;
    const std::shared_ptr<RaidVolume> volume =
        VolumeOfDisk(*controller, *disk, HasPairing(session, controller->getHandle()));
    if (!volume)
        return error;
    {
        ControllerLocatorLock lock(controller->getTarget());
        VolumeTransaction transaction(controller->getHandle(), volume->getHandle());
        error = transaction.singleVolumeTransaction(session, controller->getTarget(), kDestroyCacheAction);
    }
    if (error.IsError())
        error.AddDebugInformation("Could not Destroy NV Cache on the volume!");
    DiskWriteCachingFollowUp(record, UVI_NVC_MODE_OFF);
    return error;
}

CConsolidatedError internalUviVolumeDestroyCache(Session& session, uint32_t volumeHandle) {
    std::shared_ptr<Controller> controller;
    _UVI_VolumeInfo record{};
    CConsolidatedError error = GetVolumeControllerAndInfo(session, volumeHandle, controller, record);
    if (error.IsError())
        return error;
    const std::shared_ptr<RaidVolume> volume = session.getVolumeByHandle(volumeHandle);
    if (!volume)
        return Refused(CConsolidatedError::UVI_INVALIDHANDLE, " Invalid volume handle");
    {
        ControllerLocatorLock lock(controller->getTarget());
        VolumeTransaction transaction(controller->getHandle(), volumeHandle);
        error = transaction.singleVolumeTransaction(session, controller->getTarget(), kDestroyCacheAction);
    }
    if (error.IsError())
        return WithDebug(error, "Could not Destroy NV Cache on the volume!");
    if (record.raidLevel != kSingleDiskLevel)
        VolumeWriteCachingFollowUp(record, UVI_NVC_MODE_OFF);
    return error;
}

CConsolidatedError internalUviVolumeSetCacheSpindownPolicy(Session& session, uint32_t volumeHandle,
                                                           int policy) {
    std::shared_ptr<Controller> controller;
    _UVI_VolumeInfo record{};
    CConsolidatedError error = GetVolumeControllerAndInfo(session, volumeHandle, controller, record);
    if (error.IsError())
        return error;
    uint32_t value = 0;
    if (!SpindownActionValue(policy, value))
        return Refused(CConsolidatedError::UVI_INVALIDPARAMETER, "Cache spindown policy invalid");
    const std::shared_ptr<RaidVolume> volume = session.getVolumeByHandle(volumeHandle);
    if (!volume)
        return Refused(CConsolidatedError::UVI_INVALIDHANDLE, " Invalid volume handle");
    return VolumeActionWithValue(session, *controller, *volume, value, kSetSpindownAction,
                                 "Could not Set NV Cache spindown policy on the volume!");
}

CConsolidatedError internalUviDiskSetCacheSpindownPolicy(Session& session, uint32_t diskHandle, int policy) {
    std::shared_ptr<Controller> controller;
    _UVI_EndDeviceInfo record{};
    CConsolidatedError error = GetDiskControllerAndInfo(session, diskHandle, controller, record);
    if (error.IsError())
        return error;
    const std::shared_ptr<Disk> disk = session.getEndDeviceByHandle(diskHandle);
    if (!disk)
        return Refused(CConsolidatedError::UVI_INVALIDHANDLE, " Invalid Disk handle");
    // The current array only: a pairing's original array does not count here.
    const std::shared_ptr<RaidVolume> volume = VolumeOfDisk(*controller, *disk, false);
    if (!volume)
        return error;
    return internalUviVolumeSetCacheSpindownPolicy(session, volume->getHandle(), policy);
}
