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
#include "middleware/api/UviDeviceQueries.h"
#include "middleware/api/UviEndDeviceRecords.h"
#include "middleware/api/UviRaidRecords.h"
#include "middleware/api/UviVolumeCreation.h"
#include "middleware/api/VolumeCreateSupport.h"
#include "middleware/api/VolumeOperations.h"
#include "middleware/api/VolumeSetters.h"
#include "middleware/core/EventLogger.h"
#include "middleware/ioctl/ControllerLocatorLock.h"
#include "middleware/ioctl/RaidConfigSetters.h"
#include "middleware/model/AhciPort.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Disk.h"
#include "middleware/model/DiskShrinkExtension.h"
#include "middleware/model/RaidArray.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/Session.h"
#include "middleware/model/SessionHolder.h"
#include "middleware/model/TopologyTexts.h"
#include "middleware/model/VolumeTransaction.h"
#include "platform/win/WinBase.h"
#include "platform/win/WinStorage.h"

namespace {

constexpr uint32_t kRecoveryLevel = 0x1000;
constexpr uint32_t kCacheLevel = 0x40000;
constexpr uint64_t kTwoTiB = 0x20000000000ull;
// Capability bytes of the controller record: disks, and volumes, of 2 TiB and more.
constexpr size_t kLargeDiskCapability = 439 - 424;
// The name field of the driver's records and of the exported volume record (with its terminator).
constexpr size_t kNameCompareBytes = 17;
constexpr size_t kMaxNameCharacters = 16;
// Event index of a volume creation in the event log.
constexpr uint32_t kEventVolumeCreated = 13;
constexpr int kBufferFlushAttempts = 11;
constexpr size_t kMaxMembers = 256;

using volume_create::ConfirmSelectionTargets;
using volume_create::Failure;
using volume_create::StatusFailure;
using volume_create::WithDebug;

// Sends a write whose answer is checked; its failure carries the debug text.
CConsolidatedError InvokeVerified(CIoctl& request, const char* debug) {
    request.SetVerifyOnInvoke(true);
    CConsolidatedError error = request.Invoke();
    if (error.IsError())
        error.AddDebugInformation("%s", debug);
    return error;
}

// The size the driver creates: what was asked when the offer holds it, the offer when nothing was
// asked or the request exceeds it by less than a twentieth; 0 when the request is too large.
uint64_t SizeToCreate(uint64_t requested, uint64_t offered) {
    if (requested == 0)
        return offered;
    if (requested <= offered)
        return requested;
    return requested - offered < offered / 20 ? offered : 0;
}

// Whether the Windows disk behind the source is partitioned MBR.
bool HasMbrLayout(const Disk& disk) {
    const auto& win = disk.getWinDiskInterface();
    return win && win->getDriveLayoutInfo().PartitionStyle == PARTITION_STYLE_MBR;
}

// The buffer-flush setting of the new volume, tried until one attempt succeeds.
void ApplyBufferFlush(const std::string& name, bool powerProtected) {
    for (int attempt = 0; attempt < kBufferFlushAttempts; ++attempt) {
        try {
            if (internalUviVolumeSetBufferFlushWithNewSession(name.c_str(), powerProtected).IsSuccessful())
                return;
        } catch (...) {
            // A failed attempt is retried like a refused one.
        }
        Sleep(1000);
    }
}

// The entry of the event log that records a creation.
void LogCreation(Session& session, const char* name, uint32_t level, uint32_t sourceDisk,
                 const uint32_t* disks, unsigned count) {
    bool sourceIsSystem = false;
    std::string serials;
    for (unsigned i = 0; i < count; ++i) {
        const auto disk = session.getEndDeviceByHandle(disks[i]);
        if (!disk)
            continue;
        const char* serial = disk->getSerialNumber();
        if (!serials.empty())
            serials += ", ";
        serials += serial && *serial ? serial : "N/A";
    }
    if (sourceDisk != 0)
        if (const auto source = session.getEndDeviceByHandle(sourceDisk);
            source && source->getRaidDiskConfig())
            sourceIsSystem = source->getRaidDiskConfig()->isSystemDisk();
    const std::unique_ptr<IEventLogger> logger = MoxMwEventLogger::create();
    logger->attachProcessName();
    logger->log(1, 1, kEventVolumeCreated,
                std::vector<std::string>{name ? name : "", RaidLevelName(level),
                                         sourceIsSystem ? "true" : "false", std::to_string(count), serials});
}

// The cleanup of a creation that failed after its first write: the listed disks other than the
// source lose the metadata the creation gave them.
void RemoveCreatedMetadata(CConsolidatedError& result, const uint32_t* disks, unsigned count,
                           uint32_t sourceDisk) {
    const CConsolidatedError cleanup = runWithSession(0, [&](Session& fresh) {
        CConsolidatedError outcome;
        for (unsigned i = 0; i < count; ++i) {
            if (disks[i] == sourceDisk)
                continue;
            if (internalUviDiskClearMetadata(fresh, disks[i]).IsError())
                result.AddDebugInformation("Unable to reset disk(s) during cleanup");
        }
        return outcome;
    });
    if (cleanup.IsError())
        result.AddDebugInformation("Unable to reset disk(s) during cleanup");
}

// Checks of the listed disks against the controller, the level and the volumes there already.
CConsolidatedError CheckCreation(Session& session, const uint32_t* disks, unsigned count,
                                 uint32_t arrayHandle, const char* name, uint32_t level, uint32_t stripSize,
                                 Controller*& controllerOut, std::vector<_UVI_EndDeviceInfo>& records) {
    std::shared_ptr<Controller> controller;
    CConsolidatedError error = GetDiskAndController(&session, disks[0], controller);
    if (error.IsError())
        return WithDebug(error, "Disk not found in internalUviVolumeCreate");
    for (unsigned i = 1; i < count; ++i) {
        std::shared_ptr<Controller> other;
        error = GetDiskAndController(&session, disks[i], other);
        if (error.IsError())
            return WithDebug(error, "Disk not found in internalUviVolumeCreate");
        if (other->getHandle() != controller->getHandle())
            return StatusFailure(UVI_STATUS_INVALID_PARAMETER, "disks on different controllers");
    }

    _UVI_ControllerInfo controllerInfo{};
    error = internalUviGetControllerInfo(session, controller->getHandle(), &controllerInfo);
    if (error.IsError())
        return error;
    records.assign(count, _UVI_EndDeviceInfo{});
    for (unsigned i = 0; i < count; ++i) {
        error = internalUviGetEndDeviceInfo(session, disks[i], &records[i]);
        if (error.IsError())
            return error;
        if (records[i].capacity >= kTwoTiB && !controllerInfo.capabilities[kLargeDiskCapability])
            return StatusFailure(UVI_STATUS_INVALID_SIZE,
                                 "Disk Size is >= 2TB when Controller does not support it!");
    }

    const uint32_t raidInfoHandle = RaidInfoHandle(controller->getHandle());
    _UVI_RaidInfo raidInfo{};
    error = internalUviRaidInfo(session, raidInfoHandle, &raidInfo);
    if (error.IsError())
        return WithDebug(error, "Couldn't get RAID info in internalUviVolumeCreate");
    _UVI_RaidLevelInfo levelInfo{};
    error = internalUviGetRaidLevelInfo(session, raidInfoHandle, level, &levelInfo);
    if (error.IsError())
        return WithDebug(error, "Couldn't get RAID level in internalUviVolumeCreate");

    if (static_cast<uint32_t>(controller->getVolumeCount()) == raidInfo.maxVolumesPerController)
        return Failure(CConsolidatedError::UVI_DATAEXCEEDSLIMITS,
                       "Number of Volumes exceeds limits on the Controller");
    error = internalUviGetControllerInfo(session, controller->getHandle(), &controllerInfo);
    if (error.IsError())
        return error;
    if (arrayHandle == 0 &&
        (count > static_cast<uint32_t>(controller->getDiskCount()) || count > controllerInfo.maxDisksTotal))
        return Failure(CConsolidatedError::UVI_DATAEXCEEDSLIMITS,
                       "Total number of support disks exceeds limits");

    if ((stripSize & levelInfo.stripMask) == 0)
        return StatusFailure(UVI_STATUS_INVALID_PARAMETER, "Invalid strip size");
    if (count < levelInfo.minDisks || count > levelInfo.maxDisks)
        return StatusFailure(UVI_STATUS_INVALID_PARAMETER, "Invalid number of disks");
    if (levelInfo.flag0 && count % 2 != 0)
        return StatusFailure(UVI_STATUS_INVALID_PARAMETER, "Even disk count required");
    if (levelInfo.flag1 && count % 2 == 0)
        return StatusFailure(UVI_STATUS_INVALID_PARAMETER, "Odd disk count required");

    for (const auto& volume : controller->getVolumes()) {
        if (!volume)
            continue;
        volume_create::VolumeFacts facts;
        if (volume_create::ReadVolumeFacts(session, volume->getHandle(), facts).IsError())
            continue;
        if (name && std::strncmp(facts.name.c_str(), name, kNameCompareBytes) == 0)
            return Failure(CConsolidatedError::UVI_INVALIDSTRING, "Duplicate Volume Name");
        if (facts.raidLevel == kRecoveryLevel)
            return Failure(CConsolidatedError::UVI_NOTSUPPORTED,
                           "Cannot create another volume in a controller with Yqr volume");
    }
    controllerOut = controller.get();
    return error;
}

// The checks on the source disk, and the room for the RAID metadata at its end.
CConsolidatedError PrepareSource(Session& session, unsigned count, uint32_t sourceDisk, uint64_t sizeInBytes,
                                 const std::vector<_UVI_EndDeviceInfo>& records,
                                 const Controller& controller) {
    CConsolidatedError error;
    if (sourceDisk != 0) {
        _UVI_EndDeviceInfo source{};
        error = internalUviGetEndDeviceInfo(session, sourceDisk, &source);
        if (error.IsError())
            return WithDebug(error, "Disk is invalid(?) in internalUviVolumeCreate");
        uint64_t smallest = UINT64_MAX;
        for (unsigned i = 0; i < count; ++i)
            smallest = std::min<uint64_t>(smallest, records[i].capacity);
        if (smallest < source.capacity)
            return Failure(CConsolidatedError::UVI_INVALIDSIZE,
                           "One or more disks are smaller than the source disk!");
        const auto disk = session.getEndDeviceByHandle(sourceDisk);
        if (source.systemDisk && disk && HasMbrLayout(*disk) && sizeInBytes > kTwoTiB)
            return Failure(CConsolidatedError::UVI_INVALIDPARAMETER,
                           "Cannot Create >=2TB volumes from a disk with MBR parition");
    }
    if (!controller.getControllerLocator())
        return Failure(CConsolidatedError::UVI_INTERNALERROR, "Device locator for Controller cannot be null");
    if (sourceDisk == 0)
        return error;
    for (unsigned i = 0; i < count; ++i) {
        if (records[i].endDeviceHandle != sourceDisk || records[i].usage != UVI_DISK_USAGE_PASS_THROUGH)
            continue;
        const auto disk = session.getEndDeviceByHandle(sourceDisk);
        if (!disk || !disk->getRaidDiskConfig())
            return Failure(CConsolidatedError::GENERAL_INVALID_VALUE,
                           "Could not find proper disk to perform shrink");
        const RaidDiskConfig& config = *disk->getRaidDiskConfig();
        return DiskShrinkExtension(disk->getWinDiskInterface().get())
            .makeSpaceForMetadata(config.getMetadataSectors(), config.getSectorSize(), 0);
    }
    return error;
}

// Parse, size, create: the driver's two-phase creation under the controller's lock.
CConsolidatedError RunCreation(Session& session, const Controller& controller, const uint32_t* disks,
                               unsigned count, uint32_t sourceDisk, uint32_t arrayHandle, const char* name,
                               uint32_t level, uint32_t stripSize, uint64_t sizeInBytes,
                               uint32_t recoveryFlags, uint32_t masterDisk, int volumeType) {
    ControllerLocatorLock lock(controller.getTarget());
    const HANDLE target = lock.GetDeviceHandle();
    VolumeTransaction transaction(controller.getHandle(), 0);
    auto writeParams = [&](uint64_t size) {
        return setCreateModifyParams(session, disks, count, sourceDisk, arrayHandle, name, level, size,
                                     stripSize, controller, target, recoveryFlags, masterDisk, volumeType);
    };
    bool triggered = false;
    // A refusal here has written nothing, so there are no marks to clear either.
    CConsolidatedError error = ConfirmSelectionTargets(session, controller, target, arrayHandle);
    if (error.IsError())
        return error;
    error = writeParams(sizeInBytes);
    if (error.IsError()) {
        error.AddDebugInformation("Unable to set up create params internalUviVolumeCreate");
    } else if (error = transaction.triggerTransaction(target, kTriggerParseCreation); error.IsError()) {
        error.AddDebugInformation("Trigger ParseCreate failed");
    } else {
        CIoctlRaidNewVolumeGroup offer(target);
        offer.SetVerifyOnInvoke(true);
        error = offer.Invoke();
        uint64_t size = 0;
        if (error.IsError()) {
            error.AddDebugInformation(
                "Unable to get new volume table after parseCreate in internalUviVolumeCreate");
        } else {
            uint32_t offeredMb = 0;
            std::memcpy(&offeredMb, offer.GetGroupData() + 20, sizeof offeredMb);
            size = SizeToCreate(sizeInBytes, static_cast<uint64_t>(offeredMb) << 20);
            if (size == 0)
                error = StatusFailure(UVI_STATUS_INVALID_PARAMETER, "invalid size");
        }
        if (error.IsSuccessful()) {
            error = writeParams(size);
            if (error.IsError())
                error.AddDebugInformation("Unable to set up create params in internalUviVolumeCreate");
        }
        if (error.IsSuccessful()) {
            const bool fromDisk = sourceDisk != 0;
            error = transaction.triggerTransaction(target, fromDisk ? kTriggerCreateVolumeFromDisk
                                                                    : kTriggerCreateVolume);
            triggered = true;
            if (error.IsError())
                error.AddDebugInformation(fromDisk
                                              ? "Trigger CreateFromDisk failed in internalUviVolumeCreate"
                                              : "Trigger create failed in internalUviVolumeCreate");
        }
    }
    if (triggered && volumeType != kVolumeTypeCacheNoEvent && volumeType != kVolumeTypeCacheMemory)
        LogCreation(session, name, level, sourceDisk, disks, count);
    for (const auto& disk : controller.getDisks())
        if (disk && disk->getRaidDiskConfig())
            static_cast<void>(setDiskCheckbox(session, disk->getHandle(), target, false));
    return error;
}

// The cache policy a connection kind gives a new volume: 0 when the kind decides nothing.
int PolicyOfConnection(uint32_t kind) {
    switch (kind) {
    case 2:
        return 4;
    case 0:
    case 1:
    case 3:
    case 4:
        return 1;
    default:
        return 0;
    }
}

CConsolidatedError NullRecord() {
    return Failure(CConsolidatedError::UVI_INVALIDPARAMETER, "params cannot be null");
}

// A further volume in the array's free space. The exported form takes the whole free space only
// (`wholeArrayOnly`: any size is refused); the cache volumes ask for a size of their own.
CConsolidatedError CreateOnArray(Session& session, const _UVI_VolumeCreateParams& params, int volumeType,
                                 bool wholeArrayOnly, std::shared_ptr<Controller>& controller) {
    const auto array = session.getArrayByHandle(params.arrayHandle);
    if (!array)
        return CConsolidatedError(CConsolidatedError::UVI_INVALIDHANDLE);
    CConsolidatedError error = GetArrayAndController(&session, params.arrayHandle, controller);
    if (error.IsError())
        return error;
    if (!controller)
        return CConsolidatedError(CConsolidatedError::UVI_FAILED);
    _UVI_RaidInfo raidInfo{};
    error = internalUviRaidInfo(session, RaidInfoHandle(controller->getHandle()), &raidInfo);
    if (error.IsError())
        return error;
    if (array->getRecordWord(RaidArray::kNumRaidDevs) == raidInfo.maxVolumesPerArray)
        return Failure(CConsolidatedError::UVI_DATAEXCEEDSLIMITS, "Exceeds Maximum Volumes Per Array");
    if (static_cast<uint32_t>(controller->getVolumeCount()) == raidInfo.maxVolumesPerController)
        return Failure(CConsolidatedError::UVI_DATAEXCEEDSLIMITS, "Exceeds Maximum Volumes Per HBA");
    std::vector<uint32_t> members;
    for (const auto& disk : controller->getDisks())
        if (members.size() < kMaxMembers && disk && disk->getRaidDiskConfig() &&
            disk->getRaidDiskConfig()->isMemberOfArrayIndex(array->getIndex()))
            members.push_back(disk->getHandle());
    volume_create::ArrayFacts arrayFacts;
    error = volume_create::ReadArrayFacts(session, params.arrayHandle, arrayFacts);
    if (error.IsError())
        return error;
    error = ValidateVolumeName(params.name);
    if (error.IsError())
        return error;
    if (wholeArrayOnly && params.sizeInBytes != 0)
        return Failure(CConsolidatedError::UVI_INVALIDSIZE, "InValid Size passed");
    const std::string name(params.name, strnlen(params.name, sizeof params.name));
    return internalUviVolumeCreate(session, members.data(), static_cast<unsigned>(members.size()), 0,
                                   params.arrayHandle, name.c_str(), params.raidLevel, params.stripSize,
                                   wholeArrayOnly ? 0 : params.sizeInBytes, 0, 0, volumeType);
}

// The creation from a list of disks, once its name is known to be good.
CConsolidatedError CreateFromDisks(Session& session, const _UVI_VolumeCreateFromDisksParams& params,
                                   int volumeType) {
    const std::string name(params.name, strnlen(params.name, sizeof params.name));
    return internalUviVolumeCreate(session, params.diskHandles, params.diskCount, params.sourceDiskHandle, 0,
                                   name.c_str(), params.raidLevel, params.stripSize, params.sizeInBytes, 0, 0,
                                   volumeType);
}

} // namespace

CConsolidatedError ValidateVolumeName(const char* name) {
    if (!name)
        return Failure(CConsolidatedError::UVI_INVALIDPARAMETER, "Volume name cannot be null");
    const size_t length = strnlen(name, kMaxNameCharacters + 1);
    if (length > kMaxNameCharacters)
        return Failure(CConsolidatedError::UVI_INVALIDSTRING,
                       "Buffer does not contain valid null-terminated string.");
    for (size_t i = 0; i < length; ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || c > 0x7E || c == '\\')
            return Failure(CConsolidatedError::UVI_INVALIDSTRING, "Volume Name contains invalid characters");
    }
    return CConsolidatedError();
}

CConsolidatedError setDiskCheckbox(Session& session, uint32_t diskHandle, HANDLE target, bool checked) {
    const auto disk = session.getEndDeviceByHandle(diskHandle);
    if (!disk)
        return StatusFailure(UVI_STATUS_INVALID_PARAMETER, "Invalid disk handle");
    if (!disk->getRaidDiskConfig())
        return StatusFailure(UVI_STATUS_INVALID_PARAMETER, "Disk isn't Ixo disk");
    CIoctlRaidDisk_SetCheckbox set(target, disk->getRaidDiskConfig()->getDiskIndex(), checked ? 1 : 0);
    return InvokeVerified(set, "unable to set checkbox");
}

CConsolidatedError setCreateModifyParams(Session& session, const uint32_t* disks, unsigned count,
                                         uint32_t sourceDisk, uint32_t arrayHandle, const char* name,
                                         uint32_t raidLevel, uint64_t sizeInBytes, uint32_t stripSize,
                                         const Controller& controller, HANDLE target, uint32_t recoveryFlags,
                                         uint32_t masterDisk, int volumeType) {
    if (!name || (count != 0 && !disks))
        return StatusFailure(UVI_STATUS_INVALID_PARAMETER, "NULL parameter in setCreateModifyParams");
    uint32_t recoveryOptions = recoveryFlags;
    if (raidLevel == kRecoveryLevel) {
        const auto master = session.getEndDeviceByHandle(masterDisk);
        for (unsigned i = 0; master && master->getRaidDiskConfig() && i < count; ++i) {
            const auto disk = session.getEndDeviceByHandle(disks[i]);
            if (!disk || !disk->getRaidDiskConfig())
                continue;
            if (disk->getRaidDiskConfig()->getDiskIndex() < master->getRaidDiskConfig()->getDiskIndex())
                recoveryOptions += 0x1000;
            break;
        }
    }

    CConsolidatedError error;
    for (const auto& disk : controller.getDisks()) {
        if (!disk || !disk->getRaidDiskConfig())
            continue;
        error = setDiskCheckbox(session, disk->getHandle(), target, false);
        if (error.IsError())
            return WithDebug(error, "Unable to clear checkbox");
    }
    for (unsigned i = 0; i < count; ++i) {
        error = setDiskCheckbox(session, disks[i], target, true);
        if (error.IsError())
            return WithDebug(error, "Unable to set checkbox");
    }

    uint32_t sourceIndex = 0xFFFFFFFF;
    if (sourceDisk != 0) {
        const auto source = session.getEndDeviceByHandle(sourceDisk);
        if (!source || !source->getRaidDiskConfig())
            return StatusFailure(UVI_STATUS_INVALID_HANDLE, "Invalid source disk handle");
        sourceIndex = source->getRaidDiskConfig()->getDiskIndex();
    }
    CIoctlRaidCfg_SetDiskIndex setSource(target, sourceIndex);
    error = setSource.Invoke();
    if (error.IsError())
        return WithDebug(error, "Unable to set source disk index");

    uint32_t arrayIndex = 0xFFFFFFFF;
    if (arrayHandle != 0) {
        const auto array = session.getArrayByHandle(arrayHandle);
        if (!array)
            return StatusFailure(UVI_STATUS_INVALID_HANDLE, "Invalid array handle");
        arrayIndex = static_cast<uint32_t>(array->getIndex());
    }
    CIoctlRaidCfg_SetArrayIndex setArray(target, arrayIndex);
    error = setArray.Invoke();
    if (error.IsError())
        return WithDebug(error, "Unable to set array index");

    const RaidLevelRow* row = findRaidLevelRow(raidLevel);
    if (!row)
        return StatusFailure(UVI_STATUS_INTERNAL_ERROR, nullptr, "Unable to get RAID table entry");
    uint32_t options = 0;
    if (raidLevel == kRecoveryLevel) {
        options = recoveryOptions;
    } else if (raidLevel == kCacheLevel) {
        options = volumeType == kVolumeTypeCache          ? 0x4060
                  : volumeType == kVolumeTypeCacheNoEvent ? 0x14060
                  : volumeType == kVolumeTypeCacheMemory  ? 0x10000
                                                          : 0;
    }

    CIoctlRaidNewVolumeGroup_SetGroup group(target);
    try {
        group.ValuesToSet(name, static_cast<uint32_t>(std::strlen(name)),
                          static_cast<uint32_t>((sizeInBytes + 0xFFFFF) >> 20), stripSize * 2,
                          row->driverLevel, count, row->domainsOrMirrors, options);
    } catch (const CConsolidatedError& refused) {
        return WithDebug(refused, "Unable to set new vol group");
    }
    return InvokeVerified(group, "Unable to set new vol group");
}

CConsolidatedError internalUviVolumeCreate(Session& session, const uint32_t* disks, unsigned count,
                                           uint32_t sourceDisk, uint32_t arrayHandle, const char* name,
                                           uint32_t raidLevel, uint32_t stripSize, uint64_t sizeInBytes,
                                           uint32_t recoveryFlags, uint32_t masterDisk, int volumeType) {
    if (raidLevel == kRecoveryLevel)
        return Failure(CConsolidatedError::UVI_NOTIMPLEMENTED, "Kvqr volumes are no longer supported");
    if (!disks || count == 0)
        return StatusFailure(UVI_STATUS_INVALID_PARAMETER, "disks not set properly");

    Controller* controller = nullptr;
    std::vector<_UVI_EndDeviceInfo> records;
    CConsolidatedError error =
        CheckCreation(session, disks, count, arrayHandle, name, raidLevel, stripSize, controller, records);
    if (error.IsError())
        return error;
    for (unsigned i = 0; i < count; ++i)
        if (records[i].systemDisk && disks[i] != sourceDisk)
            return StatusFailure(UVI_STATUS_INVALID_PARAMETER,
                                 "Cannot use system disk in a non-migratory volume create action",
                                 "In function internalUviVolumeCreate");

    // Every check runs before the first claim, so that a refused creation leaves each disk as it was.
    error = PrepareSource(session, count, sourceDisk, sizeInBytes, records, *controller);
    if (error.IsError())
        return error;
    if (arrayHandle == 0) {
        for (unsigned i = 0; i < count; ++i) {
            if (disks[i] == sourceDisk)
                continue;
            error = internalUviDiskClaim(session, disks[i]);
            if (error.IsError())
                return WithDebug(error, "Unable to claim disk in internalUviVolumeCreate");
        }
    }

    error = RunCreation(session, *controller, disks, count, sourceDisk, arrayHandle, name, raidLevel,
                        stripSize, sizeInBytes, recoveryFlags, masterDisk, volumeType);
    if (error.IsError()) {
        RemoveCreatedMetadata(error, disks, count, sourceDisk);
        return error;
    }

    if ((raidLevel == 0x1 || raidLevel == 0x2) && name) {
        const std::string shortName(name, strnlen(name, kNameCompareBytes));
        static_cast<void>(runWithNewSession(
            [&](Session& fresh) { return applyDefaultCachePolicyByName(fresh, shortName.c_str()); }));
    }

    if (sourceDisk != 0) {
        _UVI_EndDeviceInfo source{};
        const _UVI_Error read = UviGetEndDeviceInfo(0, sourceDisk, &source);
        if (read.status != UVI_STATUS_SUCCESS) {
            CConsolidatedError failed;
            failed.SetError(read.status, nullptr, nullptr);
            return failed;
        }
        CConsolidatedError ignored;
        callDiskUpdatePropertiesIoctl(source.deviceNumber, ignored);
    }
    return error;
}

CConsolidatedError internalUviVolumeCreateFromDisks(Session& session,
                                                    const _UVI_VolumeCreateFromDisksParams& params,
                                                    int volumeType) {
    CConsolidatedError error = ValidateVolumeName(params.name);
    if (error.IsError())
        return error;
    bool powerProtected = true;
    for (unsigned i = 0; params.diskHandles && i < params.diskCount; ++i) {
        _UVI_EndDeviceInfo record{};
        error = internalUviGetEndDeviceInfo(session, params.diskHandles[i], &record);
        if (error.IsError())
            return error;
        if (record.cacheSettingState == 1) {
            powerProtected = false;
            break;
        }
    }
    error = CreateFromDisks(session, params, volumeType);
    if (error.IsError())
        return error;
    ApplyBufferFlush(std::string(params.name, strnlen(params.name, sizeof params.name)), powerProtected);
    return error;
}

CConsolidatedError createVolumeOnArray(Session& session, const _UVI_VolumeCreateParams* params,
                                       int volumeType) {
    if (!params)
        return NullRecord();
    std::shared_ptr<Controller> controller;
    return CreateOnArray(session, *params, volumeType, false, controller);
}

CConsolidatedError createVolumeFromDisks(Session& session, const _UVI_VolumeCreateFromDisksParams* params,
                                         int volumeType) {
    if (!params)
        return NullRecord();
    CConsolidatedError error = ValidateVolumeName(params->name);
    if (error.IsError())
        return error;
    return CreateFromDisks(session, *params, volumeType);
}

CConsolidatedError applyDefaultCachePolicyByName(Session& session, const char* name) {
    std::shared_ptr<Controller> controller;
    std::shared_ptr<RaidVolume> target;
    for (const auto& c : session.getControllers()) {
        for (const auto& volume : c->getVolumes())
            if (volume && name && volume->getName() == name) {
                controller = c;
                target = volume;
                break;
            }
        if (target)
            break;
    }
    if (!target)
        return Failure(CConsolidatedError::UVI_INVALIDPARAMETER,
                       "Could not find volume with serial number: &s");
    for (const auto& disk : controller->getDisksOfVolume(target)) {
        const auto port = disk ? controller->getPortByNumber(disk->getScsiAddress()) : nullptr;
        if (!port || !port->getConnectionInfo())
            continue;
        int policy = 0;
        try {
            policy = PolicyOfConnection(port->getConnectionInfo()->GetConnectionType());
        } catch (const CConsolidatedError&) {
            continue;
        }
        if (policy == 0)
            continue;
        return internalUviVolumeSetCachePolicy(session, target->getHandle(), policy);
    }
    return CConsolidatedError();
}

CConsolidatedError MakeSpaceOnDiskForMetadata(Session* session, uint32_t diskHandle, uint64_t bytes) {
    if (!session || diskHandle == 0)
        return Failure(CConsolidatedError::UVI_INVALIDSTATE, nullptr);
    const auto disk = session->getEndDeviceByHandle(diskHandle);
    if (!disk)
        return Failure(CConsolidatedError::UVI_INVALIDSTATE, nullptr);
    return DiskShrinkExtension(disk->getWinDiskInterface().get()).makeSpace(bytes);
}

extern "C" {

_UVI_Error UviVolumeCreate(const _UVI_VolumeCreateParams* params) {
    if (!params)
        return RunExportedCall([] { return NullRecord(); });
    const _UVI_VolumeCreateParams request = *params;
    return RunExportedCall([&] {
        bool created = false;
        bool powerProtected = true;
        const std::string name(request.name, strnlen(request.name, sizeof request.name));
        CConsolidatedError result = runWithSession(0, [&](Session& session) {
            std::shared_ptr<Controller> controller;
            CConsolidatedError error = CreateOnArray(session, request, kVolumeTypePlain, true, controller);
            if (error.IsError())
                return error;
            created = true;
            // The new volume shares the Windows cache setting of the array's volumes.
            bool found = false;
            bool any = false;
            bool lastUnknown = false;
            for (const auto& volume : controller->getVolumes()) {
                volume_create::VolumeFacts facts;
                const CConsolidatedError read = runWithSession(0, [&](Session& fresh) {
                    return volume_create::ReadVolumeFacts(fresh, volume->getHandle(), facts);
                });
                if (read.IsError())
                    continue;
                any = true;
                lastUnknown = facts.windowsCacheSetting == 0;
                if (facts.arrayHandle == request.arrayHandle) {
                    found = true;
                    powerProtected = lastUnknown;
                    break;
                }
            }
            if (!found)
                powerProtected = any ? !lastUnknown : true;
            return error;
        });
        if (created)
            ApplyBufferFlush(name, powerProtected);
        return result;
    });
}

_UVI_Error UviVolumeCreateFromDisks(_UVI_VolumeCreateFromDisksParams params) {
    const _UVI_VolumeCreateFromDisksParams request = params;
    return RunOwnSessionCall([&](Session& session) {
        return ValidateThenRun(
            session,
            [&] {
                return UviActionValidator::RulesForVolumeCreateFromDisks(request.diskHandles,
                                                                         request.diskCount);
            },
            [&] { return internalUviVolumeCreateFromDisks(session, request, kVolumeTypePlain); });
    });
}

} // extern "C"
