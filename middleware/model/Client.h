#pragma once
// One subscription: the records its sources push are queued until its owner waits for them.
#include <atomic>
#include <cstdint>
#include <deque>

#include "middleware/core/SharedCriticalSection.h"
#include "middleware/model/EventRecord.h"
#include "platform/win/WinTypes.h"

namespace UviEvents {

class Client {
public:
    // Throws 0xA0010010 when its events cannot be created.
    explicit Client(uint64_t id);
    // Closes the client: a last record with code 4 is queued, and a waiter still inside wait()
    // finishes before the events go.
    virtual ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    uint64_t getId() const { return m_Id; }
    // Queues a record (dropped once the client is closed) and wakes a waiter.
    void push(const EventRecord& record);
    // Queues a stop record (code 5) and wakes a waiter.
    void stop();
    // The oldest queued record at once, else the next one pushed within the time (INFINITE
    // allowed): code 2 when the time runs out, 1 when the wait fails or wakes to an empty queue,
    // 4 once the client is closed.
    EventRecord wait(uint32_t milliseconds);

private:
    uint64_t m_Id;
    std::deque<EventRecord> m_Queue;
    SharedCriticalSection m_Lock;
    HANDLE m_DataReady = nullptr;
    HANDLE m_Idle = nullptr;
    std::atomic<bool> m_Closed{false};
};

} // namespace UviEvents
