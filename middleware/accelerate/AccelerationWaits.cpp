// The waits for the driver's asynchronous work (an NV cache mode change, the block migration of a
// pair) and the reset of the volume port's performance counters.
#include "middleware/accelerate/UVIAccelerateBaseAction.h"

#include "middleware/api/DebugLog.h"
#include "middleware/api/NvcInfo.h"
#include "middleware/ioctl/ControllerLocatorLock.h"
#include "middleware/ioctl/VezkRequests.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Session.h"

namespace {

constexpr uint32_t kNvcRoundMs = 2000;

// The modes the driver passes through while it changes mode.
bool IntermediateMode(_UVI_NvcMode mode) {
    return mode == UVI_NVC_MODE_2 || mode == UVI_NVC_MODE_4 || mode == UVI_NVC_MODE_32 ||
           mode == UVI_NVC_MODE_64 || mode == UVI_NVC_MODE_256;
}

CConsolidatedError StatusRefusal(_UVI_Status status, const char* message) {
    CConsolidatedError error;
    error.SetError(status, message, nullptr);
    return error;
}

// One read of the migration progress, under the controller's lock for the request alone. A request
// whose answer does not verify counts as a failed read.
CConsolidatedError ReadMigrationProgress(HANDLE target, uint32_t& progress) {
    ControllerLocatorLock lock(target);
    CIoctlVezkMigration request(target);
    CConsolidatedError error = request.Invoke();
    if (error.IsError())
        return error;
    try {
        progress = static_cast<uint32_t>(request.GetProgress());
    } catch (const CConsolidatedError& failed) {
        return failed;
    }
    return error;
}

} // namespace

CConsolidatedError UVIAccelerateBaseAction::waitForNvcMode(uint32_t controllerHandle, _UVI_NvcMode mode) {
    CConsolidatedError error;
    if (!isSupported(controllerHandle, error))
        return error;
    if (IntermediateMode(mode))
        return StatusRefusal(UVI_STATUS_INVALID_PARAMETER, "Cannot wait for an intermediate NVC mode");
    _UVI_NvcInfo nvc{};
    do {
        error = refreshSession();
        if (error.IsError())
            return error;
        error = internalUviGetNvcInfo(*m_Session, controllerHandle, &nvc);
        if (error.IsError())
            return error;
        writeDebugLog("Wait for NVC mode: %d, progress: %d", static_cast<int>(nvc.mode), nvc.progress);
        pause(kNvcRoundMs);
    } while (nvc.mode != mode || IntermediateMode(nvc.mode));
    const bool accelerating = nvc.acceleratedDiskHandle != 0 || nvc.acceleratedVolumeHandle != 0;
    if (mode == UVI_NVC_MODE_OFF && accelerating)
        return StatusRefusal(UVI_STATUS_INVALID_STATE,
                             "Cache mode is set to off but accelerated disk/volume still exist!");
    if ((mode == UVI_NVC_MODE_SAFE || mode == UVI_NVC_MODE_PERFORMANCE) && !accelerating)
        return StatusRefusal(UVI_STATUS_INVALID_STATE,
                             "Cache mode is set to on but accelerated disk/volume is not set!");
    return error;
}

CConsolidatedError UVIAccelerateBaseAction::waitForBlockMigration(uint32_t controllerHandle,
                                                                  uint32_t budgetMs, uint32_t periodMs) {
    ControllerLocator* locator = nullptr;
    CConsolidatedError error = m_Session->getControllerLocator(controllerHandle, locator);
    if (error.IsError())
        return error;
    // A period of 0 would poll without pause and divide the budget by nothing.
    if (periodMs == 0)
        return StatusRefusal(UVI_STATUS_INVALID_PARAMETER, "Poll period cannot be 0");
    const uint32_t allowedFailures = budgetMs / periodMs;
    uint32_t failures = 0;
    for (;;) {
        uint32_t progress = 0;
        error = ReadMigrationProgress(locator, progress);
        if (error.IsError()) {
            if (error.GetErrorCode() == CConsolidatedError::DRIVER_BUSY)
                return error;
            pause(periodMs);
            if (++failures <= allowedFailures)
                continue;
            CConsolidatedError timedOut;
            timedOut.SetError(CConsolidatedError::UVI_TIMEOUT, "Timed out waiting for progress to change");
            return timedOut;
        }
        failures = 0;
        writeDebugLog("Wait for block mig.: migration progress: %d | timeout: %d", static_cast<int>(progress),
                      0);
        if (progress > 99)
            return CConsolidatedError();
        pause(periodMs);
    }
}

CConsolidatedError UVIAccelerateBaseAction::resetVolportPerformanceCounters() {
    return runWithSession(0, [this](Session&) {
        for (const auto& controller : m_Session->getControllers())
            if (controller->isVezkSupported()) {
                CIoctlResetVolportPerformanceCounters request(controller->getTarget());
                return request.Invoke();
            }
        CConsolidatedError none;
        none.SetError(CConsolidatedError::HALVEX_DRIVER_FEATURENOTSUPPORTED,
                      "No controller supports Halvex memory.");
        return none;
    });
}
