#include "middleware/model/AhciController.h"

#include <new>

namespace {

// The driver's volumes sit on these path ids of an AHCI controller.
constexpr uint32_t kVolumePathFirst = 6;
constexpr uint32_t kVolumePathLast = 7;

} // namespace

AhciController::AhciController(ControllerLocator* locator) : Controller(locator) {}

AhciController::~AhciController() = default;

bool AhciController::isEndDeviceAddress(PackedScsiAddress address) const {
    const uint32_t path = (address >> 16) & 0xFF;
    return path != kVolumePathFirst && path != kVolumePathLast;
}

CConsolidatedError AhciController::Populate(const WinDiskList& winDisks) {
    CConsolidatedError result;
    if (m_AhciInfo) {
        result.SetError(CConsolidatedError::GENERAL_INVALID_STATE,
                        "Duplicate calls to AhciController::Populate");
        return result;
    }
    if (isAtaSupported()) {
        m_AhciInfo.reset(new (std::nothrow) CIoctlMpGetAhciInfo(m_Locator, 0));
        if (!m_AhciInfo) {
            result.SetError(CConsolidatedError::GENERAL_INSUFF_MEM, nullptr,
                            "Could not create ahciInfo object in AhciController::Populate");
            return result;
        }
        m_AhciInfo->SetVerifyOnInvoke(true);
        result = m_AhciInfo->Invoke();
        if (result.IsError()) {
            result.AddDebugInformation("Could not get AHCI info in AhciController::Populate");
            CConsolidatedError busy;
            busy.SetError(CConsolidatedError::DRIVER_BUSY, "Driver busy in Ahci Controller Populate",
                          result.GetDebugInformation());
            return busy;
        }
    }
    return Controller::Populate(winDisks);
}
