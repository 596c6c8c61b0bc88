#include "middleware/model/VolumeTransaction.h"

#include <cstring>
#include <memory>
#include <string>

#include "middleware/ioctl/RaidConfig.h"
#include "middleware/ioctl/RaidConfigSetters.h"
#include "middleware/model/Controller.h"
#include "middleware/model/IndexIdentity.h"
#include "middleware/model/RaidArray.h"
#include "middleware/model/RaidVolume.h"
#include "middleware/model/Session.h"

namespace {

constexpr size_t kVolumeActionOffset = 88;

// Runs the work on the transaction's controller: 0xA0010003 when the session has none with the handle.
template <class Work> CConsolidatedError OnController(Session& session, uint32_t handle, Work work) {
    const std::shared_ptr<Controller> controller = session.getControllerByHandle(handle);
    if (!controller) {
        CConsolidatedError error;
        error.SetError(CConsolidatedError::UVI_INVALIDHANDLE,
                       ("Invalid controller handle: [" + std::to_string(handle) + "]").c_str());
        return error;
    }
    return work(*controller);
}

// A volume the driver's volume actions concern: one with its record, outside the synthetic array
// of a cache-memory pair.
bool TakesVolumeActions(const RaidVolume& volume) {
    if (!volume.getRecord())
        return false;
    const std::shared_ptr<RaidArray> array = volume.getArray();
    return !(array && array->isSynthetic());
}

} // namespace

CConsolidatedError VolumeTransaction::confirmSetup(Session& session, HANDLE target) const {
    return OnController(session, m_ControllerHandle, [&](Controller& controller) {
        CConsolidatedError error = refuseWhileBusy(target);
        for (const auto& volume : controller.getVolumes()) {
            if (error.IsError())
                break;
            if (volume && TakesVolumeActions(*volume))
                error = ConfirmVolumeAtIndex(target, *volume);
        }
        return error;
    });
}

CConsolidatedError VolumeTransaction::singleVolumeTransaction(Session& session, HANDLE target,
                                                              uint32_t action) {
    CConsolidatedError result = OnController(session, m_ControllerHandle, [&](Controller& controller) {
        CConsolidatedError error = confirmSetup(session, target);
        if (error.IsError())
            return error;
        for (const auto& volume : controller.getVolumes()) {
            if (!volume || !TakesVolumeActions(*volume))
                continue;
            CIoctlRaidVolume_SetAction set(target, volume->getIndex(),
                                           volume->getHandle() == m_TargetHandle ? action : 0);
            error = set.Invoke();
            if (error.IsError()) {
                error.AddDebugInformation("Could not get set volume Action");
                return error;
            }
        }
        error = validateVolumeTransactionSetup(session, target, action);
        if (error.IsError())
            return error;
        return triggerTransaction(target, kTriggerVolumeActions);
    });
    addOperationTrace(result, "VolumeTransaction::singleVolumeTransaction");
    return result;
}

CConsolidatedError VolumeTransaction::validateVolumeTransactionSetup(Session& session, HANDLE target,
                                                                     uint32_t action) {
    CConsolidatedError result = OnController(session, m_ControllerHandle, [&](Controller& controller) {
        CConsolidatedError error;
        for (int32_t i = 0; i < controller.getVolumeCount(); ++i) {
            CIoctlRaidVolumeGroup read(target, static_cast<uint32_t>(i));
            read.SetVerifyOnInvoke(true);
            error = read.Invoke();
            if (error.IsError()) {
                error.AddDebugInformation("Could not get current volume information for volume index: %d", i);
                return error;
            }
            const std::shared_ptr<RaidVolume> volume = controller.getVolumeByIndex(i);
            if (!volume) {
                error.SetError(CConsolidatedError::GENERAL_INVALID_VALUE,
                               "Could not get volume by IXO ordinal");
                return error;
            }
            const BYTE* now = read.GetGroupData();
            uint8_t known[RaidVolume::kNameSize] = {};
            if (volume->getRecord())
                std::memcpy(known, volume->getRecord() + RaidVolume::kName, sizeof(known));
            uint32_t writtenAction = 0;
            std::memcpy(&writtenAction, now + kVolumeActionOffset, sizeof(writtenAction));
            const uint32_t expected = volume->getHandle() == m_TargetHandle ? action : 0;
            if (std::memcmp(known, now + RaidVolume::kName, sizeof(known)) != 0 ||
                writtenAction != expected) {
                error.SetError(CConsolidatedError::CFG_CONFIG_HAS_CHANGED, nullptr);
                error.AddDebugInformation(
                    "Could not validate the setup of volume transaction, config of volumes has changed");
                return error;
            }
        }
        return error;
    });
    addOperationTrace(result, "VolumeTransaction::validateVolumeTransactionSetup");
    return result;
}
