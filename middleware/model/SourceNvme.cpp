#include "middleware/model/SourceNvme.h"

#include "platform/win/WinSync.h"

namespace UviEvents {

SourceNvme::~SourceNvme() {
    stopAndJoin();
}

void SourceNvme::run() {
    DeviceStatus status{};
    while (!deliveredStop()) {
        const bool polled = m_Polling;
        uint32_t code = polled ? poll(status) : m_Device->wait(INFINITE);
        bool end = false;
        if (m_Pending) {
            // The poll made the status itself; it is delivered as it stands.
            m_Pending = false;
        } else if (polled && code == WAIT_CODE_EVENT) {
            // The poll has just read this status; a second read would find the driver's words taken
            // and deliver 0 in place of the new information byte.
            m_Polling = status.secondData != 0;
        } else {
            status = DeviceStatus{};
            end = handle(code, status);
            m_Polling = status.secondData != 0;
        }
        dispatch(code, status);
        if (end || code == WAIT_CODE_STOPPED)
            break;
    }
}

uint32_t SourceNvme::poll(DeviceStatus& status) {
    for (;;) {
        const uint32_t result = m_Device->wait(kPollMs);
        if (result == WAIT_CODE_TIMEOUT) {
            m_Pending = true;
            m_Polling = false;
            status = DeviceStatus{m_Device->getId(), m_Device->getType(), 0, 1};
            return WAIT_CODE_EVENT;
        }
        if (result != WAIT_CODE_EVENT)
            return result;
        DeviceStatus read{};
        try {
            read = m_Device->getStatus();
        } catch (const CConsolidatedError&) {
            return WAIT_CODE_FAILURE;
        }
        if (read.secondData == status.secondData)
            continue;
        status = read;
        return WAIT_CODE_EVENT;
    }
}

} // namespace UviEvents
