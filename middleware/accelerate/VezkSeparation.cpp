// The cache-memory pairing separation: in one step with its waits, its first stage alone, one stage
// at a time by the pair's operation status, the driver's separation request, and the pairing's own
// reset of its cache.
#include <cstring>
#include <string>

#include "middleware/accelerate/BootOrder.h"
#include "middleware/accelerate/MoxStorageSwDevice.h"
#include "middleware/accelerate/PairingServiceSteps.h"
#include "middleware/accelerate/UVIAccelerateVezkAction.h"
#include "middleware/api/DebugLog.h"
#include "middleware/api/NvcInfo.h"
#include "middleware/api/VezkQueries.h"
#include "middleware/api/VolumeOperations.h"
#include "middleware/core/EventLogger.h"
#include "middleware/core/NamedCriticalSection.h"
#include "middleware/core/TextConversions.h"
#include "middleware/ioctl/ControllerLocatorLock.h"
#include "middleware/ioctl/VezkRequests.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Disk.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/Session.h"
#include "middleware/model/VezkPairingInfo.h"
#include "middleware/pairing/BootMigration.h"
#include "middleware/pairing/PairingState.h"
#include "platform/win/Trace.h"
#include "tools/Ostrel/ServiceCommands/ServiceCommandFactories.h"

namespace {

constexpr const char* kDisableSection = "Global\\HalvexDisableOneStepSemaphore";
// The block migration's wait: its budget of failed reads and its period.
constexpr uint32_t kMigrationBudgetMs = 10000;
constexpr uint32_t kMigrationPeriodMs = 2000;
// Volume record byte whose bit 0 marks a volume of the pairing.
constexpr size_t kPairingFlagByte = 110;

// The event indices and kinds of the separation.
constexpr uint32_t kCacheReset = 4;
constexpr uint32_t kSeparationFailed = 5;
constexpr uint32_t kSeparationStep = 6;
constexpr uint32_t kKindError = 3;
constexpr uint32_t kKindInformation = 1;

CConsolidatedError Failure(CConsolidatedError::KEDO2_ERRORS code, const char* message) {
    CConsolidatedError error;
    error.SetError(code, message);
    return error;
}

// The failure under the separation's own code, the former code told in its message.
void Recode(CConsolidatedError& error, CConsolidatedError::KEDO2_ERRORS code, const char* text) {
    const std::string former = ToHexString(error.GetErrorCode());
    error.SetError(code, (text + former).c_str());
}

void ClearCacheServiceData() {
    const CommandPtr command = CreateClearHalvexDataCommand(0, nullptr);
    if (command)
        static_cast<void>(command->Execute(0, nullptr)); // the data may be gone already
}

std::unique_ptr<IEventLogger> Logger() {
    auto logger = MoxMwEventLogger::create();
    logger->attachProcessName();
    return logger;
}

} // namespace

StorageSwDeviceFromDiskFactory UVIAccelerateVezkAction::makeDiskDeviceFactory() {
    return [](Disk* disk) -> std::unique_ptr<IMoxStorageSwDevice> {
        StorageDiskIdentity identity;
        identity.model = disk->modelNumber();
        identity.firmware = disk->firmwareRevision();
        identity.nvmeSerial = disk->getNvmeSerialNumber();
        identity.serial = disk->getSerialNumber();
        return std::make_unique<MoxStorageSwDevice>(identity);
    };
}

StorageSwDeviceFromNodeFactory UVIAccelerateVezkAction::makeNodeDeviceFactory() {
    return [](MoxCfgMgr::IDev* node) -> std::unique_ptr<IMoxStorageSwDevice> {
        return std::make_unique<MoxStorageSwDevice>(node);
    };
}

CConsolidatedError UVIAccelerateVezkAction::disableHalvexOneStep() {
    writeDebugLog("Vezk Disable: Starting disable one step");
    _UVI_VolumeInfo pairing{};
    CConsolidatedError error = findVezkVolume(pairing);
    if (error.IsError())
        return error;
    const uint32_t controllerHandle = pairing.controllerHandle;
    NamedCriticalSection section(kDisableSection);
    error = section.enter();
    if (error.IsError())
        return error;
    writeDebugLog("Vezk Disable: in disable critical section");
    writeDebugLog("Vezk Disable: setting NVC mode to Safe");
    // The section is held by this thread already: the entry point's stage runs inside it.
    error = separationStage(SeparationRequest{controllerHandle, false}, CConsolidatedError());
    if (error.IsError())
        return error;
    writeDebugLog("Vezk Disable: setting NVC mode to Safe call complete");
    error = waitForNvcMode(controllerHandle, UVI_NVC_MODE_SAFE);
    if (error.IsError())
        return error;
    error = separate(controllerHandle);
    if (error.IsError())
        return error;
    writeDebugLog("Vezk Disable: separate call complete");
    error = waitForBlockMigration(controllerHandle, kMigrationBudgetMs, kMigrationPeriodMs);
    if (error.IsError())
        return error;
    error = refreshSession();
    if (error.IsError())
        return error;
    writeDebugLog("Vezk Disable: Data refreshed");
    const auto controller = getSession().getControllerByHandle(controllerHandle);
    if (!controller || !controller->getVezkInfo()) {
        CConsolidatedError missing(CConsolidatedError::UVI_INTERNALERROR);
        missing.AddDebugInformation(
            "UVIAccelerateVezkAction::disableHalvexOneStep vezkInfo cannot be null here");
        return missing;
    }
    if (controller->getVezkInfo()->isEnabled()) {
        CConsolidatedError still;
        still.SetError(
            CConsolidatedError::GENERAL_INVALID_STATE, "Separation error - unexpected VEZK state",
            "UVIAccelerateVezkAction::disableHalvexOneStep VEZK detected as enabled after separation "
            "and migration completion");
        return still;
    }
    writeDebugLog("Vezk Disable: Turning off acceleration");
    error = turnOffAcceleration(controllerHandle);
    if (error.IsError()) {
        Recode(error, CConsolidatedError::HALVEX_SEPARATE_KEDO2_DEACCELERATEFROMBLOCKCACHEFAILED,
               "turn off acceleration (BC) failed with error code: ");
        return error;
    }
    writeDebugLog("Vezk Disable: Turning off acceleration call complete");
    error = waitForNvcMode(controllerHandle, UVI_NVC_MODE_OFF);
    if (error.IsError())
        return error;
    writeDebugLog("Vezk Disable: Resetting cache");
    error = resetCacheToAvailable(controllerHandle);
    if (error.IsError()) {
        Recode(error, CConsolidatedError::HALVEX_SEPARATE_KEDO2_DESTROYINGBLOCKCACHEFAILED,
               "resetting cache (BC) to available failed with error code: ");
        return error;
    }
    writeDebugLog("Vezk Disable: Resetting cache complete");
    return error;
}

CConsolidatedError UVIAccelerateVezkAction::disableHalvexEntryPoint(SeparationRequest request,
                                                                    StorageSwDeviceFromDiskFactory,
                                                                    StorageSwDeviceFromNodeFactory) {
    NamedCriticalSection section(kDisableSection);
    return separationStage(request, section.enter());
}

CConsolidatedError UVIAccelerateVezkAction::separationStage(SeparationRequest request,
                                                            CConsolidatedError entered) {
    CConsolidatedError result = entered;
    const uint32_t controllerHandle = request.controllerHandle;
    if (result.IsSuccessful()) {
        if (!isSupported(controllerHandle, result))
            result.AddDebugInformation("Halvex not supported on controller [%d]",
                                       static_cast<int>(controllerHandle));
        if (result.IsSuccessful() && !hasAcceleratedVolume())
            result = Failure(CConsolidatedError::HALVEX_SEPARATE_KEDO2_HALVEXVOLUMENOTFOUND,
                             "There is no Orvex Halvex Storage to separate!");
    }
    // Whatever the outcome so far, the cache product lets go of the drives.
    StopVezkTools();
    if (!request.preservePinningData)
        ClearCacheServiceData();
    _UVI_NvcInfo nvc{};
    if (result.IsSuccessful())
        result = internalUviGetNvcInfo(getSession(), controllerHandle, &nvc);
    if (result.IsError()) {
        result.AddDebugInformation(
            "%s",
            mox::MakeTypeNameMessage(*this, "UVIAccelerateVezkAction::disableHalvexEntryPoint").c_str());
        return result;
    }
    const auto controller = getSession().getControllerByHandle(controllerHandle);
    std::vector<std::shared_ptr<Disk>> members;
    if (controller) {
        const auto [first, second] = controller->getVezkMemberDisks();
        for (const auto& disk : {first, second})
            if (disk)
                members.push_back(disk);
    }

    CConsolidatedError stage;
    if (nvc.mode == UVI_NVC_MODE_SAFE) {
        stage = separate(controllerHandle);
    } else {
        stage = internalUviGetNvcInfo(getSession(), controllerHandle, &nvc);
        if (stage.IsSuccessful()) {
            if (nvc.mode == UVI_NVC_MODE_PERFORMANCE) {
                stage = switchAcceleratedObject(UVI_NVC_MODE_SAFE, nvc);
                if (stage.IsError())
                    stage.SetError(CConsolidatedError::HALVEX_KEDO2_SETTING_BLOCK_CACHE_TO_SAFE_FAILED,
                                   "Setting Block Cache to Safe failed");
            } else {
                stage = Failure(CConsolidatedError::HALVEX_KEDO2_SETTING_BLOCK_CACHE_TO_SAFE_FAILED,
                                "Nvc in invalid mode - Performance expected.");
            }
        }
    }

    const VezkPairingInfo* pairing = controller ? controller->getVezkInfo() : nullptr;
    const std::string first =
        (pairing ? std::to_string(pairing->status()) : std::string("N/A")) + "(disable entry)";
    if (stage.IsError())
        Logger()->logStrings(kKindError, 0, kSeparationFailed,
                             {first, ToHexString(stage.GetErrorCode()), stage.GetErrorMessage()});
    else
        Logger()->logStrings(kKindInformation, 0, kSeparationStep, {first});

    if (stage.IsSuccessful()) {
        try {
            UviStorageSwDeviceEnumerateAction nodes(this, makeDiskDeviceFactory(), makeNodeDeviceFactory(),
                                                    &UVIAccelerateBaseAction::makeSoftwareDeviceLister);
            const CConsolidatedError removed = nodes.removeForDisks(members);
            if (removed.IsError())
                MOX_TRACE(TRACE_LEVEL_ERROR, "Removing the pair's device nodes failed: %#X %s %s",
                          static_cast<unsigned>(removed.GetErrorCode()), removed.GetErrorMessage(),
                          removed.GetDebugInformation());
        } catch (const std::exception& e) {
            MOX_TRACE(TRACE_LEVEL_ERROR, "Removing the pair's device nodes failed: %s", e.what());
        }
    }
    return stage;
}

CConsolidatedError UVIAccelerateVezkAction::separateOnPairingController() {
    std::shared_ptr<Controller> controller;
    const CConsolidatedError error = findVezkController(controller);
    if (error.IsError())
        return error;
    return disableHalvexEntryPoint(SeparationRequest{controller->getHandle(), false}, makeDiskDeviceFactory(),
                                   makeNodeDeviceFactory());
}

CConsolidatedError UVIAccelerateVezkAction::separate(uint32_t controllerHandle) {
    CConsolidatedError error;
    if (!isSupported(controllerHandle, error))
        return error;
    if (!hasAcceleratedVolume())
        return Failure(CConsolidatedError::HALVEX_SEPARATE_KEDO2_HALVEXVOLUMENOTFOUND,
                       "There is no Orvex Halvex Storage to separate!");
    ControllerLocator* locator = nullptr;
    error = getSession().getControllerLocator(controllerHandle, locator);
    if (error.IsError())
        return error;
    ControllerLocatorLock lock(locator);
    CIoctlVezkDisable request(locator);
    error = request.Invoke();
    if (error.IsSuccessful())
        EnsureBootManagerFirst();
    return error;
}

CConsolidatedError UVIAccelerateVezkAction::resetCacheToAvailable(uint32_t controllerHandle) {
    const auto controller = getSession().getControllerByHandle(controllerHandle);
    if (!controller)
        return Failure(CConsolidatedError::UVI_INTERNALERROR, "Controller not found");
    const uint8_t* nvc = controller->getNvCacheInfo();
    int32_t accelerated = -1;
    if (nvc)
        std::memcpy(&accelerated, nvc + nv_cache_info::kAcceleratedVolumeIndex, sizeof accelerated);
    if (accelerated != -1)
        return UVIAccelerateBaseAction::resetCacheToAvailable(controllerHandle);
    for (const auto& volume : controller->getVolumes())
        if (volume->getRecord() && (volume->getRecord()[kPairingFlagByte] & 1) != 0)
            return internalUviVolumeDelete(getSession(), volume->getHandle());
    return Failure(CConsolidatedError::UVI_INTERNALERROR, "Vezk operation status not consistent");
}

CConsolidatedError UVIAccelerateVezkAction::doVezkAutomation(uint32_t& performed) {
    performed = 0;
    std::shared_ptr<Controller> controller;
    CConsolidatedError error = findVezkController(controller);
    uint32_t controllerHandle = 0;
    if (error.IsError()) {
        error.AddErrorMessage("Invalid controller handle");
    } else {
        controllerHandle = controller->getHandle();
        if (controllerHandle == 0)
            error.AddErrorMessage("Invalid controller handle");
    }
    _UVI_VezkInfo pairing{};
    if (error.IsSuccessful())
        error = internalUviVezkNvcInfo(getSession(), controllerHandle, pairing);
    if (error.IsError()) {
        error.AddDebugInformation(
            "%s", mox::MakeTypeNameMessage(*this, "UVIAccelerateVezkAction::doVezkAutomation").c_str());
        return error;
    }
    NamedCriticalSection section(kDisableSection);
    error = section.enter();
    if (error.IsError())
        return error;
    const uint32_t status = pairing.halvexStatus;
    switch (status) {
    case 2:
        performed = 1;
        error = turnOffAcceleration(controllerHandle);
        if (error.IsError())
            Recode(error, CConsolidatedError::HALVEX_SEPARATE_KEDO2_DEACCELERATEFROMBLOCKCACHEFAILED,
                   "Turning off acceleration failed in automation with code: ");
        break;
    case 4:
        performed = 1;
        error = resetCacheToAvailable(controllerHandle);
        if (error.IsError())
            Recode(error, CConsolidatedError::HALVEX_SEPARATE_KEDO2_DESTROYINGBLOCKCACHEFAILED,
                   "Resetting cache drive to available failed in automation with code: ");
        break;
    case 9:
        performed = 1;
        error = separate(controllerHandle);
        break;
    default:
        break;
    }
    if (performed == 1) {
        if (error.IsError())
            Logger()->logStrings(
                kKindError, 0, kSeparationFailed,
                {std::to_string(status), ToHexString(error.GetErrorCode()), error.GetErrorMessage()});
        else if (status == 4)
            Logger()->log(kKindInformation, 0, kCacheReset);
        else
            Logger()->logStrings(kKindInformation, 0, kSeparationStep, {std::to_string(status)});
    }
    return error;
}
