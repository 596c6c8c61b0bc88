#pragma once
// The event channel of one RAID controller: the volume port's shared event, whose status carries the
// driver's event counter and the value passed on with the event.
#include "middleware/model/DeviceMox.h"

namespace UviEvents {

class DeviceController : public DeviceMox {
public:
    using DeviceMox::DeviceMox;

    uint32_t getType() const override { return DEVICE_TYPE_CONTROLLER; }
    // Creates the event and registers its name through the volume port; 0xA0010010 without a
    // locator record for the port. Errors are returned, never thrown.
    CConsolidatedError createEvent() override;
    // {id, 1, event counter, event value}. A busy driver is asked again every second until it
    // answers or the device is stopped; a failure throws 0xA001000F.
    DeviceStatus getStatus() override;
};

} // namespace UviEvents
