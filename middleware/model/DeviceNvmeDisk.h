#pragma once
// The event channel of one NVMe disk behind a controller's remap port: the driver's asynchronous
// event requests, whose data are the disk's asynchronous event completion words.
#include <string>

#include "middleware/model/DeviceMox.h"

namespace UviEvents {

class DeviceNvmeDisk : public DeviceMox {
public:
    using DeviceMox::DeviceMox;

    uint32_t getType() const override { return DEVICE_TYPE_NVME_DISK; }
    // Creates the event and registers its name for the disk's asynchronous events; 0xA0010010
    // without a locator record for the port. Errors are returned, never thrown.
    CConsolidatedError createEvent() override;
    // {id, 2, 0, information byte of the first SMART / health event word, or 0}; the request's
    // failure is thrown.
    DeviceStatus getStatus() override;

    const std::string& getEventName() const { return m_EventName; }

private:
    std::string m_EventName;
};

} // namespace UviEvents
