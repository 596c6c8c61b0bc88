#include "middleware/model/DeviceController.h"

#include "middleware/ioctl/SharedEvent.h"
#include "platform/win/WinBase.h"

namespace UviEvents {

namespace {

constexpr DWORD kBusyRetryMs = 1000;

} // namespace

CConsolidatedError DeviceController::createEvent() {
    return createRegisteredEvent([](ControllerLocator& record, const std::string& name) {
        CIoctlSharedEvent request(&record, name.c_str());
        return request.Invoke();
    });
}

DeviceStatus DeviceController::getStatus() {
    DeviceStatus status{m_Id, DEVICE_TYPE_CONTROLLER, 0, 0};
    CIoctlSharedEventStatus request(&requireRecord());
    CConsolidatedError result = request.Invoke();
    while (result.GetErrorCode() == CConsolidatedError::DRIVER_BUSY && !m_Stop.load()) {
        Sleep(kBusyRetryMs);
        if (m_Stop.load())
            break;
        static_cast<void>(request.Reset()); // a failed reset shows in the resend's result
        result = request.Invoke();
    }
    if (result.IsError()) {
        CConsolidatedError error;
        error.SetError(CConsolidatedError::UVI_FAILED, "Failed to get event Status",
                       "Failed to get event Status");
        throw error;
    }
    status.firstData = request.GetEventCounter();
    status.secondData = request.GetEventValue();
    return status;
}

} // namespace UviEvents
