#pragma once
// A software event channel with no driver behind it: values pushed into its queue are delivered one
// per signal, oldest first.
#include <cstdint>
#include <deque>

#include "middleware/core/SharedCriticalSection.h"
#include "middleware/model/Device.h"

namespace UviEvents {

class DeviceCustom : public Device {
public:
    uint32_t getType() const override { return DEVICE_TYPE_CUSTOM; }
    uint32_t getId() const override { return 0; }
    // An unnamed auto-reset event; 0xA0010010 with the Win32 error in the message when it fails.
    CConsolidatedError createEvent() override;
    // {0, 3, 0, the oldest queued value} (value 0 when the queue is empty); signals again while
    // values remain, so that the next wait returns at once.
    DeviceStatus getStatus() override;

    // Queues a value and signals the event.
    void push(uint64_t value);

private:
    SharedCriticalSection m_Lock;
    std::deque<uint64_t> m_Queue;
};

} // namespace UviEvents
