#include "middleware/model/Source.h"

#include <exception>

#include "platform/win/Trace.h"
#include "platform/win/WinSync.h"
#include "platform/win/WinThread.h"

namespace UviEvents {

Source::Source(std::unique_ptr<Device> device) : m_Device(std::move(device)) {}

Source::~Source() {
    stopAndJoin();
    {
        SharedCriticalSectionLock lock = m_Lock.lock();
        m_Clients.clear();
    }
    m_Device.reset();
}

void Source::stopAndJoin() {
    m_Stop.store(true);
    if (m_Thread.joinable()) {
        m_Device->signalStop();
        m_Thread.join();
    }
}

void Source::start() {
    if (m_Started) {
        CConsolidatedError error;
        error.SetError(CConsolidatedError::UVI_INTERNALERROR, "Source already initialized");
        throw error;
    }
    m_Started = true;
    CConsolidatedError created = m_Device->createEvent();
    if (created.IsError())
        throw created;
    m_Thread = platform::StartThread([this] {
        try {
            run();
        } catch (const std::exception& e) {
            // Nothing may leave the worker: an escaping exception would end the process.
            MOX_TRACE(TRACE_LEVEL_ERROR, "Event source 0x%llx ended: %s",
                      static_cast<unsigned long long>(m_Device->getKey()), e.what());
        } catch (...) {
            MOX_TRACE(TRACE_LEVEL_ERROR, "Event source 0x%llx ended by an unknown exception",
                      static_cast<unsigned long long>(m_Device->getKey()));
        }
        m_Ended.store(true);
    });
}

void Source::run() {
    while (!deliveredStop()) {
        uint32_t code = m_Device->wait(INFINITE);
        DeviceStatus status{};
        const bool end = handle(code, status);
        dispatch(code, status);
        if (end || code == WAIT_CODE_STOPPED)
            break;
    }
}

bool Source::deliveredStop() {
    if (!m_Stop.load())
        return false;
    dispatch(WAIT_CODE_STOPPED, DeviceStatus{});
    return true;
}

bool Source::handle(uint32_t& code, DeviceStatus& status) {
    switch (code) {
    case WAIT_CODE_FAILURE:
    case WAIT_CODE_CLIENT_CLOSED:
        return true;
    case WAIT_CODE_EVENT:
        try {
            status = m_Device->getStatus();
        } catch (const CConsolidatedError& e) {
            MOX_TRACE(TRACE_LEVEL_ERROR, "Event source 0x%llx: status read failed with 0x%X",
                      static_cast<unsigned long long>(m_Device->getKey()),
                      static_cast<unsigned>(e.GetErrorCode()));
            code = WAIT_CODE_FAILURE;
        }
        return false;
    default:
        return false;
    }
}

void Source::dispatch(uint32_t code, const DeviceStatus& status) {
    const EventRecord record = MakeEventRecord(code, status);
    SharedCriticalSectionLock lock = m_Lock.lock();
    for (auto& [id, client] : m_Clients)
        client->push(record);
}

void Source::subscribe(uint64_t id, std::shared_ptr<Client> client) {
    if (!client) {
        MOX_TRACE(TRACE_LEVEL_WARNING, "Event source 0x%llx: no client for id %llu",
                  static_cast<unsigned long long>(m_Device->getKey()), static_cast<unsigned long long>(id));
        return;
    }
    SharedCriticalSectionLock lock = m_Lock.lock();
    m_Clients[id] = std::move(client);
}

void Source::unsubscribe(uint64_t id) {
    SharedCriticalSectionLock lock = m_Lock.lock();
    m_Clients.erase(id);
}

} // namespace UviEvents
