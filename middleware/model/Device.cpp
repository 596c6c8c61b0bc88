#include "middleware/model/Device.h"

#include "platform/win/WinBase.h"
#include "platform/win/WinSync.h"

namespace UviEvents {

void Device::closeHandle() {
    if (m_Event) {
        CloseHandle(m_Event);
        m_Event = nullptr;
    }
}

Device::~Device() {
    signalStop();
    closeHandle();
}

uint32_t Device::wait(uint32_t milliseconds) {
    if (!m_Event)
        return WAIT_CODE_FAILURE;
    // The stop flag is not cleared here: a stop signalled while the owner was not waiting must still
    // end the owner's next wait as a stop.
    switch (WaitForSingleObject(m_Event, milliseconds)) {
    case WAIT_OBJECT_0: {
        const uint32_t code = m_Stop.load() ? WAIT_CODE_STOPPED : WAIT_CODE_EVENT;
        ResetEvent(m_Event);
        return code;
    }
    case WAIT_ABANDONED:
    case WAIT_FAILED:
        return WAIT_CODE_FAILURE;
    case WAIT_TIMEOUT:
        return WAIT_CODE_TIMEOUT;
    default:
        return WAIT_CODE_OTHER;
    }
}

void Device::signalStop() {
    m_Stop.store(true);
    if (m_Event)
        SetEvent(m_Event);
}

} // namespace UviEvents
