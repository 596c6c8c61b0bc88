#pragma once
// An event device: the host side of one notification channel of the RAID driver (or of software).
// It owns an event object, waits on it and reads the channel's status when it is signalled. Each
// device belongs to one event source, whose worker thread alone waits on it and reads its status.
#include <atomic>
#include <cstdint>

#include "middleware/core/ConsolidatedError.h"
#include "middleware/model/EventRecord.h"
#include "platform/win/WinTypes.h"

namespace UviEvents {

class Device {
public:
    Device() = default;
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    virtual uint32_t getType() const = 0;
    virtual uint32_t getId() const = 0;
    // Closes the event object, if any.
    virtual void closeHandle();
    // Stops and signals, then closes the event object.
    virtual ~Device();
    // Creates the event object (and registers it with the driver); called once, before the owner's
    // worker starts.
    virtual CConsolidatedError createEvent() = 0;
    // Reads the channel's status after a signalled wait; throws CConsolidatedError.
    virtual DeviceStatus getStatus() = 0;
    // Waits for the event (INFINITE allowed): 3 event, 5 stopped, 2 time-out, 1 failure (also
    // without an event object), 0 for any other answer.
    virtual uint32_t wait(uint32_t milliseconds);

    // Sets the stop flag, then signals the event so that a waiting worker wakes. The flag stays set:
    // the device is never started again, and work that looks at it (a busy status read) ends.
    void signalStop();
    bool isStopped() const { return m_Stop.load(); }
    uint64_t getKey() const { return DeviceKey(getType(), getId()); }

protected:
    HANDLE m_Event = nullptr;
    std::atomic<bool> m_Stop{false};
};

} // namespace UviEvents
