#include "middleware/api/VolumeQueries.h"

#include <cstring>
#include <memory>

#include "middleware/api/ApiHelpers.h"
#include "middleware/api/ArrayQueries.h"
#include "middleware/api/ControllerQueries.h"
#include "middleware/api/EndDeviceQueries.h"
#include "middleware/api/ExportedCall.h"
#include "middleware/api/RaidInfoQueries.h"
#include "middleware/api/UviVolumeOperations.h"
#include "middleware/api/VolumeStateRules.h"
#include "middleware/api/WindowsDiskView.h"
#include "middleware/ioctl/ControllerLocatorLock.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Disk.h"
#include "middleware/model/RaidArray.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/RecordBytes.h"
#include "middleware/model/Session.h"

namespace {

using namespace volume_rules;

// Volume record fields.
constexpr size_t kRawLevel = 24;
constexpr size_t kWord28 = 28;
constexpr size_t kSizeMb = 32;
constexpr size_t kStrip = 36;
constexpr size_t kDisks = 40;
constexpr size_t kDomains = 80;
constexpr size_t kWord84 = 84;
constexpr size_t kRawState = 100;
constexpr size_t kWord104 = 104;
constexpr size_t kFlags = 108;
constexpr size_t kSyncByte = 112;
constexpr size_t kSyncModeByte = 113;
constexpr size_t kWord116 = 116;
// Device configuration fields, as offsets of the record behind the packed address.
constexpr size_t kProgress = 108;
constexpr size_t kCachePolicy = 132;
constexpr size_t kWord140 = 140;
constexpr size_t kWord152 = 152;
constexpr size_t kWord156 = 156;
constexpr size_t kMasterDiskIndex = 160;
constexpr size_t kWord164 = 164;
constexpr size_t kWord168 = 168;
// Device information: bit 0 of this byte marks the system volume.
constexpr size_t kSystemByte = 16;

constexpr uint64_t kMiB = 1048576;
constexpr uint32_t kProgressScale = 429496;
constexpr int kMigrationRange = 10000;

// Exported cache policies.
constexpr uint32_t kPolicyWriteBack = 3;
constexpr int kPolicyOff = 1;
constexpr uint32_t kCacheNotPowerProtected = 1;

uint32_t ConfigWord(const RaidVolumeDeviceConfig& config, size_t offset) {
    return offset == 0 ? config.address : model::Read32(config.record, offset - 4);
}

// The fields the volume record and the device configuration give.
void FillFromRecords(const RaidVolume& volume, const RaidVolumeDeviceConfig& config, bool pairingVolume,
                     _UVI_VolumeInfo& r) {
    const uint8_t* record = volume.getRecord();
    std::memcpy(r.name, record + RaidVolume::kName, RaidVolume::kNameSize);
    r.arrayHandle = volume.getArray() ? volume.getArray()->getHandle() : 0;
    r.arrayIndex = volume.getRecordWord(RaidVolume::kArrayOrd);
    const uint32_t flags = volume.getRecordWord(kFlags);
    r.cachePolicy = CachePolicyFromConfig(ConfigWord(config, kCachePolicy));
    r.initialized = (flags & kFlagNotInitialized) == 0 && volume.getRecordWord(kWord104) != 1;
    r.word68 = ConfigWord(config, kWord152);
    r.word72 = ConfigWord(config, kWord156);
    r.word76 = volume.getRecordWord(kWord28);
    r.word80 = volume.getRecordWord(kWord116);
    r.sizeInBytes = volume.getRecordWord(kSizeMb) * kMiB;
    r.stripSizeCode = volume.getRecordWord(kStrip) / 2;
    r.numDisks = volume.getRecordWord(kDisks);
    const uint32_t progress = ConfigWord(config, kProgress);
    r.migrationProgressScaled = progress * kProgressScale; // modulo 2^32, as the field is read
    r.migrationProgress = progress;
    const uint8_t* deviceInfo = volume.getDeviceInfo();
    r.systemVolume = deviceInfo ? (deviceInfo[kSystemByte] & 1) : 0;
    r.flag65 = volume.getRecordWord(kWord84) != 0;
    const RaidLevel level = ComputeRaidLevel(volume.getRecordWord(kRawLevel), volume.getRecordWord(kDomains),
                                             r.numDisks, flags, pairingVolume);
    r.raidLevel = level.code;
    r.recoveryUpdateMode = level.recoveryUpdateMode;
    r.recoverySync = record[kSyncByte];
    r.configByte1 = (ConfigWord(config, 0) >> 8) & 0xFF;
    r.flag136 = ConfigWord(config, kWord140) != 0;
    r.word144 = ConfigWord(config, kWord164);
    r.word148 = ConfigWord(config, kWord168);
    r.flag105 = (flags & kFlag15) != 0;
}

void FillCacheRoles(const Controller& controller, const RaidVolume& volume, _UVI_VolumeInfo& r) {
    if (!controller.getNvCacheInfo())
        return;
    const int32_t index = static_cast<int32_t>(volume.getIndex());
    const int32_t blockCache = controller.getNvCacheWord(Controller::kNvCacheBlockCacheIndex);
    r.isBlockCacheVolume = index == blockCache;
    r.isAcceleratedVolume = index == controller.getNvCacheWord(Controller::kNvCacheAcceleratedIndex);
    const auto array = volume.getArray();
    if (!array)
        return;
    for (const auto& other : controller.getVolumes()) {
        const int32_t otherIndex = static_cast<int32_t>(other->getIndex());
        if (other->getArray() == array && otherIndex != index && otherIndex == blockCache)
            r.arrayHasBlockCacheVolume = 1;
    }
}

// The name of the recovery member's array-disk record; a failed read leaves the field empty.
CConsolidatedError ReadRecoveryDiskName(const Controller& controller, const RaidVolumeDeviceConfig& config,
                                        _UVI_VolumeInfo& r) {
    ControllerLocator* locator = controller.getControllerLocator();
    if (!locator) {
        CConsolidatedError error;
        error.SetError(CConsolidatedError::UVI_INTERNALERROR, "Device locator cannot be null");
        return error;
    }
    ControllerLocatorLock lock(locator);
    static_cast<void>(ReadRaidArrayDiskGroup(locator, r.recoveryDiskName, sizeof r.recoveryDiskName,
                                             r.arrayIndex, ConfigWord(config, kMasterDiskIndex)));
    return {};
}

// A normal volume of a level without redundancy that has lost a member is reported as such.
uint32_t NonRedundancyCheck(Session& session, const Controller& controller, const _UVI_VolumeInfo& r) {
    _UVI_ControllerInfo controllerInfo{};
    if (internalUviGetControllerInfo(session, controller.getHandle(), &controllerInfo).IsError())
        return UVI_VOLUME_STATE_NORMAL;
    // An NVMe controller leaves the level record as it is given; zeroed, it counts as a level
    // without redundancy.
    _UVI_RaidLevelInfo level{};
    if (internalUviGetRaidLevelInfo(session, controllerInfo.raidInfoHandle, r.raidLevel, &level).IsError() ||
        level.redundantFlag != 0)
        return UVI_VOLUME_STATE_NORMAL;
    // A volume without array has no members; a disk outside every array is no member of it.
    if (r.arrayHandle == 0)
        return UVI_VOLUME_STATE_NORMAL;
    for (const auto& disk : controller.getDisks()) {
        _UVI_EndDeviceInfo device{};
        if (internalUviGetEndDeviceInfo(session, disk->getHandle(), &device).IsError())
            continue;
        if (device.arrayHandle == r.arrayHandle && device.state == UVI_DISK_STATE_FAILED)
            return UVI_VOLUME_STATE_NON_REDUNDANT_VOLUME_FAILED_DISK;
    }
    return UVI_VOLUME_STATE_NORMAL;
}

uint32_t RecoveryState(Session& session, const Controller& controller, const RaidVolume& volume,
                       const _UVI_VolumeInfo& r, uint32_t state) {
    uint32_t master = 0;
    uint32_t recovery = 0;
    for (const auto& disk : controller.getDisks()) {
        const auto& config = disk->getRaidDiskConfig();
        if (!config || !config->isMemberOfArrayIndex(volume.getArrayOrd()))
            continue;
        _UVI_EndDeviceInfo device{};
        if (internalUviGetEndDeviceInfo(session, disk->getHandle(), &device).IsError())
            return UVI_VOLUME_STATE_UNKNOWN;
        const uint32_t deviceState =
            device.state == UVI_DISK_STATE_LOCKED ? uint32_t{UVI_DISK_STATE_MISSING} : device.state;
        (device.masterDisk ? master : recovery) = deviceState;
    }
    const uint8_t syncByte = volume.getRecord()[kSyncByte];
    const uint8_t syncModeByte = volume.getRecord()[kSyncModeByte];
    if (syncModeByte == 1 && r.flag65 == 0 && state != UVI_VOLUME_STATE_FAILED)
        state = UVI_VOLUME_STATE_BROKEN_CLONE;
    return RecoveryVolumeState(r.recoveryUpdateMode, state, RecoverySyncCode(syncByte, syncModeByte), master,
                               recovery);
}

void FillWindowsView(const RaidVolume& volume, bool pairingVolume, _UVI_VolumeInfo& r) {
    const WinDiskInterface* disk = volume.getWinDiskInterface().get();
    const WindowsDiskView view = ReadWindowsDiskView(disk);
    r.deviceNumber = view.deviceNumber;
    r.deviceType = view.deviceType;
    r.windowsCacheSetting = view.cacheSetting;
    r.seekPenalty = view.seekPenalty;
    r.windowsWriteCache = view.writeCache;
    if (disk && pairingVolume)
        r.systemVolume = disk->hasEfiSystemPartition() ? 1 : 0;
}

bool NeedsCachePolicyRepair(const _UVI_VolumeInfo& info) {
    return info.state == UVI_VOLUME_STATE_NORMAL && info.windowsCacheSetting == kCacheNotPowerProtected &&
           info.cachePolicy == kPolicyWriteBack;
}

} // namespace

CConsolidatedError internalUviGetVolumeHandles(Session* session, uint32_t* handleList,
                                               uint32_t* handleCount) {
    CConsolidatedError result;
    if (!session) {
        result.SetError(UVI_STATUS_INVALID_SESSION, "NULL Session passed into internalUviGetVolumeHandles",
                        nullptr);
        return result;
    }
    if (!handleCount) {
        result.SetError(UVI_STATUS_INVALID_SESSION,
                        "HandlesCount parameter cant be null (internalUviGetVolumeHandles)", nullptr);
        return result;
    }
    if (*handleCount != 0 && !handleList) {
        result.SetError(UVI_STATUS_INVALID_PARAMETER, "NULL handleList was passed for a non-zero handleCount",
                        nullptr);
        return result;
    }
    const uint32_t capacity = *handleCount;
    uint32_t all = 0;
    uint32_t visible = 0;
    for (const auto& controller : session->getControllers())
        for (const auto& volume : controller->getVolumes()) {
            ++all;
            if (IsCacheArray(*controller, volume->getArray()))
                continue;
            if (visible < capacity)
                handleList[visible] = volume->getHandle();
            ++visible;
        }
    if (capacity < visible) {
        // The count names every volume, hidden ones included: enough room for the second call.
        *handleCount = all;
        result.SetError(UVI_STATUS_BUFFER_TOO_SMALL, "Buffer to fill the Volume handles was too small",
                        nullptr);
        return result;
    }
    *handleCount = visible;
    return result;
}

CConsolidatedError internalUviGetVolumeInfo(Session& session, uint32_t volumeHandle, _UVI_VolumeInfo* info) {
    const auto volume = session.getVolumeByHandle(volumeHandle);
    if (!volume) {
        return InvalidHandleError("Invalid Handle passed in to internalUviGetVolumeInfo, Received: %d",
                                  volumeHandle);
    }
    const auto controller = session.getControllerByHandle(volume->getControllerHandle());
    if (!controller)
        return NullParameterError("UviVolumeInfo Controller cannot be null");
    if (!info)
        return NullParameterError("UviVolumeInfo VolumeInfo cannot be null");
    _UVI_VolumeInfo& r = *info;
    const bool pairingVolume = controller->getVezkVolume() == volume;
    const RaidVolumeDeviceConfig* config = volume->getDeviceConfig();
    const bool bothRecords = volume->getRecord() && config;

    std::memset(&r, 0, sizeof r);
    r.handle = volume->getHandle();
    r.controllerHandle = controller->getHandle();
    const auto& winDisk = volume->getWinDiskInterface();
    r.hasPartitions = winDisk && winDisk->hasPartitions() ? 1 : 0;
    r.isPairingVolume = pairingVolume ? 1 : 0;
    if (bothRecords)
        FillFromRecords(*volume, *config, pairingVolume, r);
    FillCacheRoles(*controller, *volume, r);
    const bool recoveryVolume = bothRecords && r.raidLevel == UVI_RAID_LEVEL_RECOVERY;
    if (recoveryVolume) {
        CConsolidatedError read = ReadRecoveryDiskName(*controller, *config, r);
        if (read.IsError())
            return read;
    }
    r.raidLevelSupported = (r.raidLevel & computeRaidLevelMask(*controller)) != 0 ? 1 : 0;

    uint32_t state = BaseVolumeState(volume->getRecordWord(kRawState), volume->getRecordWord(kFlags));
    if (state == UVI_VOLUME_STATE_NORMAL)
        state = NonRedundancyCheck(session, *controller, r);
    if (recoveryVolume)
        state = RecoveryState(session, *controller, *volume, r, state);
    r.state = state;
    FillWindowsView(*volume, pairingVolume, r);
    return {};
}

extern "C" {

_UVI_Error UviGetVolumeHandles(unsigned int session, unsigned int* handleList, unsigned int* handleCount) {
    return RunSessionCall(
        session, [&](Session& s) { return internalUviGetVolumeHandles(&s, handleList, handleCount); });
}

_UVI_Error UviGetVolumeInfo(unsigned int session, unsigned int volumeHandle, _UVI_VolumeInfo* info) {
    if (!info)
        return NullParameterError("volumeInfo cannot be null in GetVolumeInfo");
    const _UVI_Error filled =
        RunSessionCall(session, [&](Session& s) { return internalUviGetVolumeInfo(s, volumeHandle, info); });
    if (filled.status != UVI_STATUS_SUCCESS || !NeedsCachePolicyRepair(*info))
        return filled;
    // Write-back caching on a disk Windows does not see as power-protected risks the data on power
    // loss: the policy is switched off, and the record keeps what was read before the change.
    return UviVolumeSetCachePolicy(volumeHandle, kPolicyOff);
}

_UVI_Error UviGetIxoVolumes(unsigned int session, unsigned int controllerHandle, _UVI_VolumeInfo* records,
                            unsigned int* recordCount) {
    return RunSessionCall(session, [&](Session& s) {
        return CollectByRaidIndex(s, controllerHandle, records != nullptr, recordCount, VolumesByRaidIndex,
                                  [&](Session& inner, uint32_t handle, uint32_t position) {
                                      return internalUviGetVolumeInfo(inner, handle, &records[position]);
                                  });
    });
}

int UviGetVolumeMigrationRange() {
    return kMigrationRange;
}
}
