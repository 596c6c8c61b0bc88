#include "middleware/model/DiskTransaction.h"

#include <cstring>
#include <memory>

#include "middleware/ioctl/RaidConfig.h"
#include "middleware/ioctl/RaidConfigSetters.h"
#include "middleware/model/Controller.h"
#include "middleware/model/Disk.h"
#include "middleware/model/IndexIdentity.h"
#include "middleware/model/Session.h"

namespace {

constexpr size_t kDiskActionOffset = 64;
// The serial number text of a disk record, terminator included.
constexpr uint32_t kSerialSize = 17;

} // namespace

CConsolidatedError DiskTransaction::confirmSetup(Session& session, HANDLE target) const {
    CConsolidatedError error = refuseWhileBusy(target);
    for (const auto& controller : session.getControllers()) {
        if (error.IsError())
            break;
        if (controller && controller->getHandle() == m_ControllerHandle)
            error = ConfirmDisksAtIndexes(target, *controller);
    }
    return error;
}

CConsolidatedError DiskTransaction::singleDiskTransaction(Session& session, HANDLE target, uint32_t action) {
    CConsolidatedError error = confirmSetup(session, target);
    if (error.IsError())
        return error;
    for (const auto& controller : session.getControllers()) {
        if (!controller || controller->getHandle() != m_ControllerHandle)
            continue;
        for (const auto& disk : controller->getDisks()) {
            if (!disk || !disk->getRaidDiskConfig())
                continue;
            CIoctlRaidDisk_SetAction set(target, disk->getRaidDiskConfig()->getDiskIndex(),
                                         disk->getHandle() == m_TargetHandle ? action : 0);
            error = set.Invoke();
            if (error.IsError()) {
                error.AddDebugInformation(
                    "Could not get set disk Action in DiskTransaction::singleDiskTransaction");
                return error;
            }
        }
    }
    error = validateDiskTransactionSetup(session, target, action);
    if (error.IsError())
        return error;
    return triggerTransaction(target, kTriggerDiskActions);
}

CConsolidatedError DiskTransaction::validateDiskTransactionSetup(Session& session, HANDLE target,
                                                                 uint32_t action) {
    CConsolidatedError error;
    for (const auto& controller : session.getControllers()) {
        if (!controller || controller->getHandle() != m_ControllerHandle)
            continue;
        for (int32_t i = 0; i < controller->getDiskCount(); ++i) {
            CIoctlRaidDiskGroup read(target, static_cast<uint32_t>(i));
            read.SetVerifyOnInvoke(true);
            error = read.Invoke();
            if (error.IsError()) {
                error.AddDebugInformation("Could not get current disk information for disk index: %d", i);
                return error;
            }
            const std::shared_ptr<Disk> disk = controller->getDiskByRaidIndex(i);
            if (!disk || !disk->getRaidDiskConfig()) {
                error.SetError(CConsolidatedError::GENERAL_INVALID_VALUE,
                               "Could not get disk by IXO ordinal");
                return error;
            }
            char known[kSerialSize] = {};
            char now[kSerialSize] = {};
            static_cast<void>(disk->getRaidDiskConfig()->copySerialNumber(known, sizeof(known)));
            static_cast<void>(read.CopyGroupSerialNumber(now, sizeof(now)));
            uint32_t writtenAction = 0;
            std::memcpy(&writtenAction, read.GetGroupData() + kDiskActionOffset, sizeof(writtenAction));
            const uint32_t expected = disk->getHandle() == m_TargetHandle ? action : 0;
            if (std::strncmp(known, now, sizeof(known)) != 0 || writtenAction != expected) {
                error.SetError(CConsolidatedError::CFG_CONFIG_HAS_CHANGED, nullptr);
                error.AddDebugInformation(
                    "Could not validate the setup of disk transaction, config of disks has changed");
                return error;
            }
        }
    }
    return error;
}
