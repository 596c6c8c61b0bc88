// The cache-memory pairing enable: the pair and the sizes are chosen, both drives are prepared, and
// the changes run inside the enable section, each followed by its undo step; the driver is asked to
// concatenate, and the outcome goes to the event log.
#include <algorithm>
#include <string>

#include "middleware/accelerate/BootOrder.h"
#include "middleware/accelerate/PairingServiceSteps.h"
#include "middleware/accelerate/UVIAccelerateVezkAction.h"
#include "middleware/api/ApiLookups.h"
#include "middleware/api/DiskOperations.h"
#include "middleware/api/EndDeviceQueries.h"
#include "middleware/api/NvcInfo.h"
#include "middleware/api/SystemOperations.h"
#include "middleware/api/UviSystemRecords.h"
#include "middleware/api/VezkQueries.h"
#include "middleware/api/VezkStatus.h"
#include "middleware/api/VolumeQueries.h"
#include "middleware/core/EventLogger.h"
#include "middleware/core/NamedCriticalSection.h"
#include "middleware/core/RegistrySettings.h"
#include "middleware/core/RollbackList.h"
#include "middleware/core/TextConversions.h"
#include "middleware/ioctl/ControllerLocatorLock.h"
#include "middleware/ioctl/VezkRequests.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Disk.h"
#include "middleware/model/DiskShrinkExtension.h"
#include "middleware/model/HybridDiskExtension.h"
#include "middleware/model/RaidDiskConfig.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/Session.h"
#include "middleware/model/VezkDiskPair.h"
#include "middleware/model/WinDiskInterface.h"
#include "middleware/pairing/PairingState.h"

namespace {

using Code = CConsolidatedError::KEDO2_ERRORS;

constexpr uint64_t kMiB = 0x100000;
constexpr uint64_t kSixteenGiB = 0x400000000ull;
constexpr uint64_t kAlignment = 8192;
// Kept free at the end of the fast drive by an automatic cache volume.
constexpr uint64_t kFastDriveReserve = 0x400000;
constexpr uint64_t kSmallestDataVolume = 0x400000;
constexpr uint64_t kRoomReserve = 4096;
// The cache volume sizes an automatic size with a file cache picks from.
constexpr uint64_t kCacheVolumeSteps[] = {0x359900000ull, 0x500000000ull, 0xA00000000ull};
// The cache-memory interface device type of a disk on its controller.
constexpr uint32_t kPairableDevice = 4;

// The event indices of the enable.
constexpr uint32_t kEnableSucceeded = 0;
constexpr uint32_t kEnableFailed = 1;
constexpr uint32_t kToolsStarted = 2;
constexpr uint32_t kToolsFailed = 3;
constexpr uint32_t kKindSuccess = 0;
constexpr uint32_t kKindError = 3;

// The enable's own record of the pairing being on.
CachedRegistrySetting& HalvexEnabled() {
    static CachedRegistrySetting setting("IsHalvexEnabled");
    return setting;
}

CConsolidatedError Failure(Code code, const std::string& message) {
    CConsolidatedError error;
    error.SetError(code, message.c_str());
    return error;
}

CConsolidatedError StatusFailure(_UVI_Status status, const char* message) {
    CConsolidatedError error;
    error.SetError(status, message, nullptr);
    return error;
}

uint64_t RoundDown(uint64_t bytes) {
    return bytes / kAlignment * kAlignment;
}

// Capacity and RAID metadata of a drive, as the pairing's cache volume kind lays it out.
struct DriveRoom {
    uint64_t capacity = 0;
    uint64_t metadata = 0;
    uint32_t sectorSize = 0;
};

bool RoomOf(Session& session, uint32_t diskHandle, uint32_t kind, DriveRoom& room) {
    const auto disk = session.getEndDeviceByHandle(diskHandle);
    if (!disk || !disk->getRaidDiskConfig())
        return false;
    const RaidDiskConfig& config = *disk->getRaidDiskConfig();
    const auto& win = disk->getWinDiskInterface();
    room.capacity = win ? win->getNumberOfBlocks() * win->getBlockLength() : 0;
    room.sectorSize = config.getSectorSize();
    room.metadata =
        DiskShrinkExtension::getMetadataSpaceSize(config.getMetadataSectors(), config.getSectorSize(), kind);
    return true;
}

std::string VersionText() {
    const _UVI_MiddlewareVersionInfo version = UviGetMiddlewareVersionInfo();
    return std::string(version.versionText, strnlen(version.versionText, sizeof version.versionText));
}

// The enable's entry for a failure thrown out of it: nothing of the drives is known.
void LogThrown(const CConsolidatedError& error) {
    const std::string message = error.GetErrorMessage();
    MoxMwEventLogger::create()->attachProcessName().logStrings(
        kKindError, 0, kEnableFailed,
        {"N/A", "N/A", "N/A", "N/A", VersionText(), "N/A",
         std::to_string(static_cast<uint32_t>(error.GetErrorCode())), message});
}

} // namespace

uint32_t UVIAccelerateVezkAction::DriverAddress(const Disk& disk) {
    return disk.getWinScsiAddress() != kNoScsiAddress ? disk.getWinScsiAddress() : disk.getScsiAddress();
}

CConsolidatedError EnableVezkOneStep(CacheSizeSpec cacheVolumeSize, CacheSizeSpec fileCacheSize,
                                     uint64_t migrationStart, uint32_t slowDisk, uint32_t fastDisk,
                                     bool separationSafe, _UVI_VezkFileCacheMode fcMode) {
    CConsolidatedError result;
    try {
        UVIAccelerateVezkAction action;
        if (!action.isSupported(0, result))
            return result;
        const _UVI_VezkInfo pairing = action.getPairingInfo(0);
        if (pairing.halvexStatus != 0)
            return Failure(
                CConsolidatedError::HALVEX_CONCATENATE_KEDO2_ALREADYENABLED,
                std::string("Cannot perform action. Orvex Halvex Storage operation is in progress: ") +
                    UVI_VezkOperationStatusToDescription(pairing.halvexStatus));
        if (pairing.pairType != 0)
            return Failure(CConsolidatedError::HALVEX_CONCATENATE_KEDO2_ALREADYENABLED,
                           "Orvex Halvex Storage is already enabled");
        // One handle given: the pair is taken as it is, a zero one included.
        if (slowDisk == 0 && fastDisk == 0) {
            result = action.findSuitablePair(slowDisk, fastDisk);
            if (result.IsError())
                return result;
        }
        bool fileCacheUsed = false;
        if (!action.checkFileCacheMode(fcMode, slowDisk, fastDisk, fileCacheUsed)) {
            CConsolidatedError refused(CConsolidatedError::HALVEX_UNKNOWN);
            refused.AddErrorMessage("Selected file cache mode is invalid: [%u]",
                                    static_cast<unsigned>(fcMode));
            return refused;
        }
        CacheSizeSpec cacheVolume;
        if (cacheVolumeSize.mode == CacheSizeSpec::kAutomatic) {
            cacheVolume = CacheSizeSpec{CacheSizeSpec::kAutomatic, 0, UINT64_MAX};
            result = action.computeCacheVolumeSize(fastDisk, fileCacheUsed, cacheVolume);
            if (result.IsError())
                return result;
        } else {
            const uint64_t size = cacheVolumeSize.getSize();
            if (size == 0)
                return StatusFailure(
                    UVI_STATUS_INVALID_PARAMETER,
                    "Must specify explicit cache volume size, special value 0 is not supported");
            cacheVolume = CacheSizeSpec{CacheSizeSpec::kExplicit, size, UINT64_MAX};
        }
        if (migrationStart == UINT64_MAX)
            migrationStart = action.defaultMigrationStart(slowDisk);
        uint32_t fileCacheMb = 0;
        if (fileCacheSize.mode != CacheSizeSpec::kAutomatic)
            fileCacheMb = static_cast<uint32_t>(fileCacheSize.getSize());
        else if (fileCacheUsed)
            fileCacheMb =
                action.computeFileCacheSize(slowDisk, fastDisk, migrationStart, cacheVolume.getSize());
        else
            migrationStart = 0;
        VezkEnableRequest request;
        request.fastDisk = fastDisk;
        request.slowDisk = slowDisk;
        request.cacheVolumeSize = cacheVolume;
        request.fileCacheSizeMb = fileCacheMb;
        request.migrationStart = migrationStart;
        request.separationSafe = separationSafe;
        return action.enableHalvexOneStep(request);
    } catch (const CConsolidatedError& thrown) {
        result = thrown;
    } catch (const std::exception& thrown) {
        result = CConsolidatedError();
        result.SetError(CConsolidatedError::GENERAL_FAULT,
                        *thrown.what() ? thrown.what() : "Unknown exception");
    } catch (...) {
        result = CConsolidatedError();
        result.SetError(CConsolidatedError::GENERAL_FAULT, "Unknown exception");
    }
    try {
        LogThrown(result);
    } catch (...) {
        // The entry is a courtesy; the caller gets the failure itself.
    }
    return result;
}

CConsolidatedError UVIAccelerateVezkAction::computeCacheVolumeSize(uint32_t fastDisk, bool fileCacheUsed,
                                                                   CacheSizeSpec& spec) {
    DriveRoom fast;
    if (!RoomOf(getSession(), fastDisk, getCacheVolumeKind(), fast))
        return StatusFailure(UVI_STATUS_INVALID_PARAMETER, "Could not find fast disk by handle");
    const uint64_t used = fast.metadata + kFastDriveReserve;
    const uint64_t space = fast.capacity > used ? RoundDown(fast.capacity - used) : 0;
    uint64_t size = space;
    if (fileCacheUsed && space >= kSixteenGiB)
        for (uint64_t step : kCacheVolumeSteps)
            if (step <= space)
                size = step;
    spec.size = std::min(size, spec.max);
    spec.mode = CacheSizeSpec::kExplicit;
    return CConsolidatedError();
}

uint32_t UVIAccelerateVezkAction::computeFileCacheSize(uint32_t slowDisk, uint32_t fastDisk,
                                                       uint64_t migrationStart, uint64_t cacheVolumeBytes) {
    DriveRoom slow, fast;
    if (!RoomOf(getSession(), slowDisk, getCacheVolumeKind(), slow) ||
        !RoomOf(getSession(), fastDisk, getCacheVolumeKind(), fast))
        return 0;
    const uint64_t slowUsable = slow.capacity > slow.metadata ? RoundDown(slow.capacity - slow.metadata) : 0;
    const uint64_t migrated = migrationStart * slow.sectorSize;
    const uint64_t slowRoom = slowUsable >= migrated ? slowUsable - migrated : 0;
    if (fast.capacity < kSixteenGiB)
        return 0;
    const uint64_t fastUsed = fast.metadata + cacheVolumeBytes;
    const uint64_t fastRoom = fast.capacity > fastUsed ? RoundDown(fast.capacity - fastUsed) : 0;
    const uint64_t room = std::min(slowRoom, fastRoom);
    return room < kRoomReserve ? 0 : static_cast<uint32_t>((room - kRoomReserve) / kMiB);
}

uint64_t UVIAccelerateVezkAction::defaultMigrationStart(uint32_t slowDisk) {
    _UVI_EndDeviceInfo record{};
    if (internalUviGetEndDeviceInfo(getSession(), slowDisk, &record).IsError() ||
        record.logicalSectorSize == 0)
        return 0;
    uint64_t offset = 0, size = 0;
    if (GetDiskVolumeProperties(getSession().getEndDeviceByHandle(slowDisk), offset, size).IsError())
        return 0;
    return offset / record.logicalSectorSize;
}

bool UVIAccelerateVezkAction::checkFileCacheMode(uint32_t mode, uint32_t slowDisk, uint32_t fastDisk,
                                                 bool& fileCacheUsed) {
    const auto fast = getSession().getEndDeviceByHandle(fastDisk);
    if (!fast)
        return false;
    const auto controller = getSession().getControllerByHandle(fast->getControllerHandle());
    if (!controller)
        return false;
    for (const auto& pair : controller->getVezkDiskPairs()) {
        if (pair->getFastDiskHandle() != fastDisk || pair->getSlowDiskHandle() != slowDisk)
            continue;
        if (mode == 0) {
            mode = ToVezkFileCacheMode(pair->getDefaultFileCacheMode());
            fileCacheUsed = mode == 0 || mode == 2;
        } else {
            fileCacheUsed = mode == 2;
        }
        const std::vector<uint32_t> allowed = pair->getAllowedFileCacheModes();
        return std::find(allowed.begin(), allowed.end(), mode) != allowed.end();
    }
    return false;
}

CConsolidatedError UVIAccelerateVezkAction::findSuitablePair(uint32_t& slowDisk, uint32_t& fastDisk) {
    uint32_t found = 0;
    for (const auto& controller : getSession().getControllers()) {
        for (const auto& pair : controller->getVezkDiskPairs())
            if (pair->getStatus() == 0) {
                ++found;
                slowDisk = pair->getSlowDiskHandle();
                fastDisk = pair->getFastDiskHandle();
            }
        if (found > 1)
            break;
    }
    if (found == 0)
        return Failure(CConsolidatedError::HALVEX_CONCATENATE_KEDO2_NODISKPAIRFOUND,
                       "No suitable pair for concatenation found.");
    if (found > 1)
        return Failure(
            CConsolidatedError::HALVEX_CONCATENATE_KEDO2_MANYDISKPAIRFOUND,
            "More than 1 suitable pair for concatenation found. Please specify disks you want to use.");
    return CConsolidatedError();
}

CConsolidatedError UVIAccelerateVezkAction::findFileCacheVolume(_UVI_VolumeInfo& volume) {
    for (const auto& controller : getSession().getControllers())
        if (const auto fileCache = controller->getFileCacheVolume())
            return internalUviGetVolumeInfo(getSession(), fileCache->getHandle(), &volume);
    return Failure(CConsolidatedError::UVI_INTERNALERROR, "FC volume not found");
}

CConsolidatedError UVIAccelerateVezkAction::clearMemberMetadata(uint32_t controllerHandle,
                                                                const std::vector<uint32_t>& addresses) {
    const auto controller = getSession().getControllerByHandle(controllerHandle);
    if (!controller)
        return Failure(CConsolidatedError::UVI_INTERNALERROR, "Controller not found");
    ControllerLocator* locator = nullptr;
    if (getSession().getControllerLocator(controllerHandle, locator).IsError() || !locator)
        return Failure(CConsolidatedError::UVI_INTERNALERROR, "Cannot get controller handle");
    for (uint32_t address : addresses) {
        if (controller->getInterfaceDeviceType(address) != kPairableDevice)
            continue;
        const CConsolidatedError error = removeMetadata(&getSession(), locator, address);
        if (error.IsError())
            return error;
    }
    return CConsolidatedError();
}

CConsolidatedError UVIAccelerateVezkAction::concatenate(const VezkEnableRequest& request) {
    _UVI_VolumeInfo data{};
    CConsolidatedError error = findFileCacheVolume(data);
    if (error.IsError()) {
        error.AddDebugInformation("Cannot find Data Volume");
        return error;
    }
    _UVI_EndDeviceInfo slowRecord{}, fastRecord{};
    error = internalUviGetEndDeviceInfo(getSession(), request.slowDisk, &slowRecord);
    if (error.IsError())
        return error;
    error = internalUviGetEndDeviceInfo(getSession(), request.fastDisk, &fastRecord);
    if (error.IsError())
        return error;
    const uint32_t dataLocation = slowRecord.hasPartitions ? 2 : fastRecord.hasPartitions ? 1 : 3;

    uint32_t dataAddress = kNoScsiAddress;
    if (data.controllerHandle != 0) {
        const auto volume = getSession().getVolumeByHandle(data.handle);
        if (!volume)
            return Failure(CConsolidatedError::UVI_INTERNALERROR, "Cannot find Data Volume");
        const auto controller = getSession().getControllerByHandle(data.controllerHandle);
        if (!controller)
            return Failure(CConsolidatedError::UVI_INTERNALERROR, "Fast Volume controller cannot be null");
        dataAddress = (volume->getScsiAddress() & 0x00FFFFFFu) |
                      (static_cast<uint32_t>(controller->getPortNumber()) << 24);
    }
    const auto slow = getSession().getEndDeviceByHandle(request.slowDisk);
    if (!slow)
        return Failure(CConsolidatedError::UVI_INTERNALERROR, "Cannot find slow disk");
    const uint32_t slowAddress = DriverAddress(*slow);
    if (data.sizeInBytes < kSmallestDataVolume)
        return Failure(CConsolidatedError::UVI_INTERNALERROR, "Data Volume is too small");
    error = clearMemberMetadata(data.controllerHandle, {dataAddress, slowAddress});
    if (error.IsError())
        return error;

    // A migration start beyond the slow drive leaves no room at all, never a wrapped-around size.
    const uint64_t slowBytes = slowRecord.capacity;
    const uint64_t skipped = request.migrationStart * slowRecord.logicalSectorSize;
    const bool startInside = slowRecord.logicalSectorSize == 0 ||
                             request.migrationStart <= slowBytes / slowRecord.logicalSectorSize;
    const uint64_t slowRoom = startInside && slowBytes >= skipped ? slowBytes - skipped : 0;
    const uint64_t dataRoom = data.sizeInBytes - kRoomReserve;
    const uint64_t room = std::min(dataRoom, slowRoom);
    const uint64_t availableMb = room < kRoomReserve ? 0 : (room - kRoomReserve) / kMiB;
    if (!startInside || availableMb < request.fileCacheSizeMb)
        return Failure(CConsolidatedError::HALVEX_CONCATENATE_KEDO2_SPECIFIEDFILECACHETOOBIG,
                       "Not enough space for specified file cache\nSpecified: " +
                           std::to_string(request.fileCacheSizeMb) +
                           "MB\nMax available: " + std::to_string(availableMb) + "MB");

    const auto controller = getSession().getControllerByHandle(slow->getControllerHandle());
    ControllerLocator* locator = nullptr;
    if (!controller || getSession().getControllerLocator(controller->getHandle(), locator).IsError() ||
        !locator)
        return Failure(CConsolidatedError::UVI_INTERNALERROR, "Cannot get controller handle");
    const uint32_t sectorSize = slowRecord.logicalSectorSize != 0 ? slowRecord.logicalSectorSize : 512;
    ControllerLocatorLock lock(locator);
    CIoctlVezkEnable concatenation(locator, dataAddress, slowAddress, request.migrationStart,
                                   uint64_t{request.fileCacheSizeMb} * kMiB / sectorSize,
                                   request.separationSafe, dataLocation);
    error = concatenation.Invoke();
    if (error.IsSuccessful())
        EnsureBootManagerFirst();
    return error;
}

void UVIAccelerateVezkAction::logEnable(const VezkEnableRequest& request, const CConsolidatedError& result) {
    std::vector<std::string> strings;
    for (uint32_t handle : {request.fastDisk, request.slowDisk}) {
        const auto disk = getSession().getEndDeviceByHandle(handle);
        std::vector<std::string> own = disk ? disk->getEventLogStrings() : std::vector<std::string>(7);
        strings.insert(strings.end(), own.begin(), own.end());
    }
    std::shared_ptr<Controller> controller;
    static_cast<void>(findVezkController(controller)); // without one its texts are empty
    std::string systemVolume = "unknown";
    if (controller)
        if (const auto accelerated = controller->getAcceleratedVolume()) {
            _UVI_VolumeInfo info{};
            if (internalUviGetVolumeInfo(getSession(), accelerated->getHandle(), &info).IsSuccessful())
                systemVolume = info.systemVolume ? "true" : "false";
        }
    strings.push_back(systemVolume);
    const auto fast = getSession().getEndDeviceByHandle(request.fastDisk);
    const bool hybrid =
        fast && fast->getHybridDiskExtension() && fast->getHybridDiskExtension()->isHybridDisk();
    strings.push_back(hybrid ? "true" : "false");
    strings.push_back(VersionText());
    strings.push_back(controller ? controller->getName() : std::string());
    auto logger = MoxMwEventLogger::create();
    logger->attachProcessName();
    if (result.IsError()) {
        strings.push_back(ToHexString(result.GetErrorCode()));
        strings.push_back(result.GetErrorMessage());
        logger->logStrings(kKindError, 0, kEnableFailed, strings);
    } else {
        logger->logStrings(kKindSuccess, 0, kEnableSucceeded, strings);
    }
}

CConsolidatedError UVIAccelerateVezkAction::enableHalvexOneStep(const VezkEnableRequest& request) {
    std::shared_ptr<Controller> controller;
    CConsolidatedError error = findVezkController(controller);
    if (error.IsError())
        return error;
    const uint32_t controllerHandle = controller->getHandle();
    if (controllerHandle == 0)
        return Failure(CConsolidatedError::UVI_INTERNALERROR, "Controller handle invalid");
    if (hasAcceleratedVolume())
        return Failure(CConsolidatedError::HALVEX_CONCATENATE_KEDO2_ALREADYENABLED,
                       "Orvex Halvex Storage is already enabled");
    // The undo steps run after the section is left: the list is made first, so destroyed last.
    RollbackList undo;
    NamedCriticalSection section(kEnableOneStepSection);
    _UVI_VezkInfo pairing{};
    error = internalUviVezkNvcInfo(getSession(), controllerHandle, pairing);
    if (error.IsError())
        return error;
    if (pairing.pairType != 0)
        return Failure(CConsolidatedError::HALVEX_CONCATENATE_KEDO2_ALREADYENABLED,
                       "Halvex concatenation already enabled");
    uint32_t pairStatus = 0;
    error = checkIfDiskPairValid(request.slowDisk, request.fastDisk, pairStatus);
    if (error.IsError())
        return error;
    if (pairStatus != 0)
        return PairStatusToError(pairStatus);
    error = CheckVezkServicesExist();
    if (error.IsError())
        return error;
    _UVI_EndDeviceInfo fastRecord{};
    error = internalUviGetEndDeviceInfo(getSession(), request.fastDisk, &fastRecord);
    if (error.IsError())
        return error;
    const auto slow = getSession().getEndDeviceByHandle(request.slowDisk);
    if (!slow || !slow->getRaidDiskConfig())
        return Failure(CConsolidatedError::UVI_INTERNALERROR, "Slow disk handle invalid");

    // Entered before the first change to a drive: a second enable must not shrink or clean a drive
    // this one is pairing.
    error = section.enter();
    if (error.IsError())
        return error;
    const RaidDiskConfig& slowConfig = *slow->getRaidDiskConfig();
    error = DiskShrinkExtension(slow->getWinDiskInterface().get())
                .makeSpaceForMetadata(slowConfig.getMetadataSectors(), slowConfig.getSectorSize(),
                                      getCacheVolumeKind());
    if (error.IsError())
        return error;
    error = CleanNonSystemDisk(getSession(), request.fastDisk);
    if (error.IsError()) {
        error.SetError(CConsolidatedError::HALVEX_CONCATENATE_KEDO2_FASTMEDIANOTCLEAN, nullptr);
        return error;
    }
    static_cast<void>(RefreshPartitionInfoOfControllers(getSession())); // the drives are read anew below
    error = refreshSession();
    if (error.IsError())
        return error;

    HalvexEnabled().setBool(true);
    undo.push([this] { undoHalvexEnabledFlag(); });
    CacheSizeSpec cacheVolume = request.cacheVolumeSize;
    error = createCacheVolume(request.fastDisk, cacheVolume);
    if (error.IsError())
        return error;
    undo.push([this, controllerHandle] { undoResetCacheToAvailable(controllerHandle); });
    error = refreshSession();
    if (error.IsError())
        return error;
    _UVI_NvcInfo nvc{};
    error = internalUviGetNvcInfo(getSession(), fastRecord.controllerHandle, &nvc);
    if (error.IsError())
        return error;
    error = configDiskAcceleration(request.slowDisk, UVI_NVC_MODE_PERFORMANCE);
    if (error.IsError()) {
        const uint32_t code = error.GetErrorCode();
        const bool shrinkCode =
            (code >= 0xA001004B && code <= 0xA001004E) || (code >= 0xA0010051 && code <= 0xA001005D);
        if (!shrinkCode)
            error.SetError(CConsolidatedError::HALVEX_CONCATENATE_KEDO2_ACCELERATEWITHBLOCKCACHEFAILED,
                           nullptr);
        return error;
    }
    undo.push([this, controllerHandle] { undoTurnOffAcceleration(controllerHandle); });
    error = refreshSession();
    if (error.IsError())
        return error;

    error = concatenate(request);
    if (error.IsSuccessful())
        static_cast<void>(RefreshPartitionInfoOfControllers(getSession())); // Windows sees the pair next
    logEnable(request, error);
    if (error.IsError())
        return error;
    undo.commit();

    if (request.fileCacheSizeMb != 0) {
        const CConsolidatedError tools = StartVezkTools();
        auto logger = MoxMwEventLogger::create();
        logger->attachProcessName();
        if (tools.IsError())
            logger->logStrings(kKindError, 0, kToolsFailed,
                               {ToHexString(tools.GetErrorCode()), tools.GetErrorMessage()});
        else
            logger->log(kKindSuccess, 0, kToolsStarted);
    }
    section.leave();
    return error;
}
