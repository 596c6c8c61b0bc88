#include "middleware/model/DeviceCustom.h"

#include "platform/win/WinBase.h"
#include "platform/win/WinSync.h"

namespace UviEvents {

CConsolidatedError DeviceCustom::createEvent() {
    CConsolidatedError result;
    m_Event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!m_Event) {
        result.SetError(CConsolidatedError::UVI_INTERNALERROR, nullptr);
        result.AddErrorMessage("Failed to create event object for custom event with error %#.8X",
                               static_cast<unsigned>(GetLastError()));
    }
    return result;
}

DeviceStatus DeviceCustom::getStatus() {
    DeviceStatus status{0, DEVICE_TYPE_CUSTOM, 0, 0};
    SharedCriticalSectionLock lock = m_Lock.lock();
    if (m_Queue.empty())
        return status;
    status.secondData = m_Queue.front();
    m_Queue.pop_front();
    if (!m_Queue.empty() && m_Event)
        SetEvent(m_Event);
    return status;
}

void DeviceCustom::push(uint64_t value) {
    SharedCriticalSectionLock lock = m_Lock.lock();
    m_Queue.push_back(value);
    if (m_Event)
        SetEvent(m_Event);
}

} // namespace UviEvents
