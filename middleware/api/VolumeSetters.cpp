#include "middleware/api/VolumeSetters.h"

#include <cstdio>
#include <memory>

#include "middleware/api/ApiHelpers.h"
#include "middleware/api/UviApi.h"
#include "middleware/api/VolumeOperations.h"
#include "middleware/api/VolumeQueries.h"
#include "middleware/ioctl/ControllerLocatorLock.h"
#include "middleware/ioctl/RaidConfigSetters.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Disk.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/Session.h"
#include "middleware/model/SessionHandler.h"
#include "middleware/model/SessionHolder.h"
#include "middleware/model/VolumeTransaction.h"
#include "platform/win/WinBase.h"

namespace {

constexpr uint32_t kVolumeActionExportPolicy = 11;
constexpr int kSessionOpenAttempts = 16;
constexpr DWORD kSessionOpenPauseMs = 1000;

bool TakesVolumePolicies(uint32_t state) {
    switch (state) {
    case 1:  // normal
    case 8:  // migrating
    case 17: // recovery: manual normal
    case 20: // recovery: manual syncing
    case 35: // recovery: syncing
        return true;
    default:
        return false;
    }
}

CConsolidatedError InvalidPolicy() {
    CConsolidatedError error;
    error.SetError(CConsolidatedError::UVI_INVALIDPARAMETER, "Invalid Policy passed in");
    return error;
}

} // namespace

CConsolidatedError internalUviVolumeSetExportPolicy(Session& session, uint32_t volumeHandle, int policy) {
    if (policy == 1)
        return InvalidPolicy();
    std::shared_ptr<Controller> controller;
    _UVI_VolumeInfo info{};
    CConsolidatedError error = GetVolumeControllerAndInfo(session, volumeHandle, controller, info);
    if (error.IsError())
        return error;
    if (!TakesVolumePolicies(info.state))
        return CConsolidatedError(CConsolidatedError::UVI_INVALIDSTATE);
    // The driver would export the boot volume under another policy at the next start; a refusal
    // that looked like success would hide that nothing changed.
    if (info.systemVolume) {
        error.SetError(CConsolidatedError::UVI_INVALIDSTATE, nullptr);
        error.AddDebugInformation("Unable to set export policy on Boot Volume");
        return error;
    }

    const DeviceAction device{static_cast<uint32_t>(policy), "Unable to set volume action for export policy"};
    return RunVolumeAction(session, *controller, volumeHandle, kVolumeActionExportPolicy, &device,
                           "Could not set volume export policy!");
}

CConsolidatedError internalUviVolumeSetBufferFlush(Session* session, uint32_t volumeHandle, bool enabled) {
    CConsolidatedError error;
    if (!session) {
        error.SetError(UVI_STATUS_INVALID_PARAMETER, "NULL session in helper function",
                       "NULL session in internalUviVolumeSetBufferFlush");
        return error;
    }
    _UVI_VolumeInfo info{};
    error = internalUviGetVolumeInfo(*session, volumeHandle, &info);
    if (error.IsError()) {
        error.AddDebugInformation("Error getting volume info for the handle passed in!");
        return error;
    }
    const std::shared_ptr<RaidVolume> volume = session->getVolumeByHandle(volumeHandle);
    if (!volume) {
        char debug[60];
        std::snprintf(debug, sizeof(debug), "Could not find volumes matching name %s", info.name);
        error.SetError(UVI_STATUS_INVALID_PARAMETER, "No volumes of that name found", debug);
        return error;
    }
    // Windows' own view of the volume keeps the setting; a remembered value would only be applied
    // again to a member disk.
    if (volume->getWinDiskInterface()) {
        static_cast<void>(volume->getWinDiskInterface()->setVolumeBufferFlush(enabled));
        static_cast<void>(DeleteVolumeFlushPolicy(info.name));
        return error;
    }
    const std::shared_ptr<Controller> controller = session->getControllerByHandle(info.controllerHandle);
    if (!controller) {
        error.SetError(CConsolidatedError::UVI_FAULT, nullptr);
        error.AddErrorMessage("couldn't find controller with handle %d",
                              static_cast<int>(info.controllerHandle));
        return error;
    }
    for (const auto& disk : controller->getDisksOfVolume(volume)) {
        if (disk && disk->getWinDiskInterface()) {
            static_cast<void>(disk->getWinDiskInterface()->setVolumeBufferFlush(enabled));
            break;
        }
    }
    // Remembered also without a member shown to Windows: the system information applies it again.
    static_cast<void>(SetVolumeFlushPolicy(info.name, enabled));
    return error;
}

CConsolidatedError internalUviVolumeSetBufferFlushWithNewSession(const char* volumeName, bool enabled) {
    CConsolidatedError error;
    if (!volumeName) {
        error.SetError(UVI_STATUS_INVALID_PARAMETER, "NULL parameter in helper function",
                       "NULL parameter in internalUviVolumeSetBufferFlushWithNewSession");
        return error;
    }
    unsigned int sessionHandle = 0;
    _UVI_Error opened{};
    for (int attempt = 0; attempt < kSessionOpenAttempts; ++attempt) {
        opened = UviSessionOpen(&sessionHandle);
        CleanupUviError(&opened);
        if (opened.status == UVI_STATUS_SUCCESS)
            break;
        Sleep(kSessionOpenPauseMs);
    }
    if (opened.status != UVI_STATUS_SUCCESS)
        return CConsolidatedError(static_cast<CConsolidatedError::KEDO2_ERRORS>(opened.code));

    SessionHolder holder;
    Session* session = nullptr;
    if (!SessionHandler::get().isInitialized())
        error = CConsolidatedError(CConsolidatedError::UVI_NOTINITIALIZED);
    else
        error = SessionHolder::acquire(holder, static_cast<int>(sessionHandle), session);
    if (error.IsSuccessful()) {
        std::shared_ptr<RaidVolume> found;
        if (session)
            for (const auto& controller : session->getControllers())
                for (const auto& volume : controller->getVolumes())
                    if (!found && volume && volume->getName() == volumeName)
                        found = volume;
        if (found)
            error = internalUviVolumeSetBufferFlush(session, found->getHandle(), enabled);
        else
            error.SetError(CConsolidatedError::UVI_FAILED, "Could not find matching serial number",
                           "Failed to find serial number in internalUviVolumeSetBufferFlushWithNewSession");
    }
    static_cast<void>(SessionHolder::release(holder));
    _UVI_Error closed = UviSessionClose(sessionHandle);
    CleanupUviError(&closed);
    return error;
}
