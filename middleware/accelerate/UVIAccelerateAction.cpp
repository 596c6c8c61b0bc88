#include "middleware/accelerate/UVIAccelerateAction.h"

#include <algorithm>
#include <functional>

#include "middleware/accelerate/PairingServiceSteps.h"
#include "middleware/accelerate/UVIAccelerateVezkAction.h"
#include "middleware/accelerate/UVIAccelerateWynAction.h"
#include "middleware/api/ExportedCall.h"

namespace {

// Builds the action (its snapshot), runs one step on it and gives the snapshot back; whatever is
// thrown, by the build or the step, becomes the record.
template <class Action> _UVI_Error RunOn(const std::function<CConsolidatedError(Action&)>& step) {
    return RunExportedCall([&step] {
        Action action;
        return step(action);
    });
}

// SSD caching may only be turned off; anything else is refused before any request.
_UVI_Error WynEndOfLife() {
    return RunExportedCall([] { return CConsolidatedError::GetWynEolError(); });
}

} // namespace

UVIAccelerateAction::UVIAccelerateAction() : m_Settings(new AccelerateSettings) {}

UVIAccelerateAction::~UVIAccelerateAction() {
    delete m_Settings;
}

void UVIAccelerateAction::setCacheVolSize(uint64_t bytes) {
    m_Settings->cacheVolumeSize.mode = CacheSizeSpec::kExplicit;
    m_Settings->cacheVolumeSize.size = std::min(bytes, m_Settings->cacheVolumeSize.max);
}

_UVI_Error UVIAccelerateAction::doClearBlockCache() {
    return RunOn<UVIAccelerateVezkAction>(
        [](UVIAccelerateVezkAction& action) { return action.doClearBlockCache(); });
}

_UVI_Error UVIAccelerateAction::doCreateCacheVolumeTask(uint32_t) {
    return WynEndOfLife();
}

_UVI_Error UVIAccelerateAction::configVolumeAcceleration(uint32_t volumeHandle, _UVI_NvcMode mode) {
    if (mode != UVI_NVC_MODE_OFF)
        return WynEndOfLife();
    return RunOn<UVIAccelerateWynAction>([volumeHandle](UVIAccelerateWynAction& action) {
        return action.configVolumeAcceleration(volumeHandle, UVI_NVC_MODE_OFF);
    });
}

_UVI_Error UVIAccelerateAction::configDiskAcceleration(uint32_t diskHandle, _UVI_NvcMode mode) {
    if (mode != UVI_NVC_MODE_OFF)
        return WynEndOfLife();
    return RunOn<UVIAccelerateWynAction>([diskHandle](UVIAccelerateWynAction& action) {
        return action.configDiskAcceleration(diskHandle, UVI_NVC_MODE_OFF);
    });
}

_UVI_Error UVIAccelerateAction::turnOffVolumeOrDiskAcceleration(uint32_t controllerHandle) {
    return RunOn<UVIAccelerateWynAction>([controllerHandle](UVIAccelerateWynAction& action) {
        return action.turnOffAcceleration(controllerHandle);
    });
}

_UVI_Error UVIAccelerateAction::doDisassociate(const _UVI_VolumeInfo& volume) {
    return RunOn<UVIAccelerateWynAction>(
        [&volume](UVIAccelerateWynAction& action) { return action.disassociate(volume); });
}

_UVI_Error UVIAccelerateAction::resetCacheToAvailable(uint32_t controllerHandle) {
    return RunOn<UVIAccelerateWynAction>([controllerHandle](UVIAccelerateWynAction& action) {
        return action.resetCacheToAvailable(controllerHandle);
    });
}

_UVI_Error UVIAccelerateAction::waitForNvcMode(uint32_t controllerHandle, _UVI_NvcMode mode) {
    return RunOn<UVIAccelerateWynAction>([controllerHandle, mode](UVIAccelerateWynAction& action) {
        return action.waitForNvcMode(controllerHandle, mode);
    });
}

void UVIAccelerateAction::setFileCacheSize(uint32_t mib) {
    m_Settings->fileCacheSize.mode = CacheSizeSpec::kExplicit;
    m_Settings->fileCacheSize.size = std::min<uint64_t>(mib, m_Settings->fileCacheSize.max);
}

void UVIAccelerateAction::setMigrationStart(uint64_t start) {
    m_Settings->migrationStart = start;
}

void UVIAccelerateAction::setFastDisk(uint32_t diskHandle) {
    m_Settings->fastDisk = diskHandle;
}

void UVIAccelerateAction::setSlowDisk(uint32_t diskHandle) {
    m_Settings->slowDisk = diskHandle;
}

void UVIAccelerateAction::setSeparationSafe(bool safe) {
    m_Settings->separationSafe = safe;
}

void UVIAccelerateAction::setPreservePinningData(bool preserve) {
    m_Settings->preservePinningData = preserve;
}

void UVIAccelerateAction::setFcMode(_UVI_VezkFileCacheMode mode) {
    m_Settings->fcMode = mode;
}

_UVI_Error UVIAccelerateAction::doVezkEnableOneStep() {
    const AccelerateSettings settings = *m_Settings;
    return RunExportedCall([&settings] {
        return EnableVezkOneStep(settings.cacheVolumeSize, settings.fileCacheSize, settings.migrationStart,
                                 settings.slowDisk, settings.fastDisk, settings.separationSafe,
                                 settings.fcMode);
    });
}

_UVI_Error UVIAccelerateAction::doVezkStartTools() {
    return RunOn<UVIAccelerateVezkAction>([](UVIAccelerateVezkAction& action) {
        CConsolidatedError error;
        return action.isSupported(0, error) ? StartVezkTools() : error;
    });
}

_UVI_Error UVIAccelerateAction::doVezkDisableOneStep() {
    return RunOn<UVIAccelerateVezkAction>(
        [](UVIAccelerateVezkAction& action) { return action.disableHalvexOneStep(); });
}

_UVI_Error UVIAccelerateAction::doSeparateConcatenation() {
    return RunOn<UVIAccelerateVezkAction>(
        [](UVIAccelerateVezkAction& action) { return action.separateOnPairingController(); });
}

_UVI_Error UVIAccelerateAction::doSeparateConcatenation(uint32_t controllerHandle) {
    const bool preserve = m_Settings->preservePinningData;
    return RunOn<UVIAccelerateVezkAction>([controllerHandle, preserve](UVIAccelerateVezkAction& action) {
        return action.disableHalvexEntryPoint(SeparationRequest{controllerHandle, preserve},
                                              UVIAccelerateVezkAction::makeDiskDeviceFactory(),
                                              UVIAccelerateVezkAction::makeNodeDeviceFactory());
    });
}

_UVI_Error UVIAccelerateAction::checkIfDiskPairValid(uint32_t slowDisk, uint32_t fastDisk,
                                                     _UVI_VezkDiskPairStatus& status) {
    return RunOn<UVIAccelerateVezkAction>([&](UVIAccelerateVezkAction& action) {
        uint32_t found = 0;
        const CConsolidatedError error = action.checkIfDiskPairValid(slowDisk, fastDisk, found);
        status = static_cast<_UVI_VezkDiskPairStatus>(found);
        return error;
    });
}

_UVI_Error UVIAccelerateAction::checkIfDiskValid(uint32_t diskHandle, _UVI_VezkDiskConcatenationMember member,
                                                 _UVI_VezkDiskValidForConcatenationStatus& status) {
    return RunOn<UVIAccelerateVezkAction>([&](UVIAccelerateVezkAction& action) {
        uint32_t found = 0;
        const CConsolidatedError error = action.checkIfDiskValid(diskHandle, member, found);
        status = static_cast<_UVI_VezkDiskValidForConcatenationStatus>(found);
        return error;
    });
}

_UVI_Error UVIAccelerateAction::doVezkAutomation(uint32_t& performed) {
    performed = 0;
    return RunOn<UVIAccelerateVezkAction>(
        [&performed](UVIAccelerateVezkAction& action) { return action.doVezkAutomation(performed); });
}

_UVI_Error UVIAccelerateAction::doResetVolportPerformanceCounters() {
    return RunOn<UVIAccelerateVezkAction>(
        [](UVIAccelerateVezkAction& action) { return action.resetVolportPerformanceCounters(); });
}

_UVI_Error UVIAccelerateAction::doSeparateConcatenationNoSync() {
    return RunOn<UVIAccelerateVezkAction>(
        [](UVIAccelerateVezkAction& action) { return action.clearMetadata(); });
}

uint64_t UVIAccelerateAction::getMinCacheSize(bool pairing) {
    return pairing ? 0x80000000ull : 0x3B9999999ull;
}

uint64_t UVIAccelerateAction::getMaxCacheSize(bool) {
    return 0x1000000000ull;
}
