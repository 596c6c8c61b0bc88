#include "middleware/model/Client.h"

#include "middleware/core/ConsolidatedError.h"
#include "platform/win/WinBase.h"
#include "platform/win/WinSync.h"

namespace UviEvents {

Client::Client(uint64_t id) : m_Id(id) {
    m_DataReady = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    m_Idle = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    if (!m_DataReady || !m_Idle) {
        const DWORD lastError = GetLastError();
        if (m_DataReady)
            CloseHandle(m_DataReady);
        if (m_Idle)
            CloseHandle(m_Idle);
        CConsolidatedError error;
        error.SetError(CConsolidatedError::UVI_INTERNALERROR, nullptr);
        error.AddErrorMessage("Failed to create event objects for event client with error %#.8X",
                              static_cast<unsigned>(lastError));
        throw error;
    }
}

Client::~Client() {
    m_Closed.store(true);
    {
        SharedCriticalSectionLock lock = m_Lock.lock();
        m_Queue.push_back(MakeEventRecord(WAIT_CODE_CLIENT_CLOSED));
        SetEvent(m_DataReady);
    }
    WaitForSingleObject(m_Idle, INFINITE);
    CloseHandle(m_DataReady);
    CloseHandle(m_Idle);
}

void Client::push(const EventRecord& record) {
    if (m_Closed.load())
        return;
    SharedCriticalSectionLock lock = m_Lock.lock();
    m_Queue.push_back(record);
    SetEvent(m_DataReady);
}

void Client::stop() {
    SharedCriticalSectionLock lock = m_Lock.lock();
    m_Queue.push_back(MakeEventRecord(WAIT_CODE_STOPPED));
    SetEvent(m_DataReady);
}

EventRecord Client::wait(uint32_t milliseconds) {
    if (m_Closed.load())
        return MakeEventRecord(WAIT_CODE_CLIENT_CLOSED);
    {
        SharedCriticalSectionLock lock = m_Lock.lock();
        if (!m_Queue.empty()) {
            EventRecord record = m_Queue.front();
            m_Queue.pop_front();
            return record;
        }
        ResetEvent(m_DataReady);
    }
    ResetEvent(m_Idle);
    EventRecord record = MakeEventRecord(WAIT_CODE_FAILURE);
    switch (WaitForSingleObject(m_DataReady, milliseconds)) {
    case WAIT_OBJECT_0: {
        SharedCriticalSectionLock lock = m_Lock.lock();
        if (!m_Queue.empty()) {
            record = m_Queue.front();
            m_Queue.pop_front();
        }
        break;
    }
    case WAIT_TIMEOUT:
        record = MakeEventRecord(WAIT_CODE_TIMEOUT);
        break;
    default:
        break;
    }
    SetEvent(m_Idle);
    return record;
}

} // namespace UviEvents
