#pragma once
// Builds the event devices of one controller, or of every controller of the RAID driver, from the
// controller locator table. The devices get no event object here: their source creates it.
#include <memory>
#include <vector>

#include "middleware/ioctl/DeviceLocator.h"
#include "middleware/ioctl/PackedScsiAddress.h"
#include "middleware/model/Device.h"
#include "middleware/model/GuidSource.h"

namespace UviEvents {

using DeviceList = std::vector<std::unique_ptr<Device>>;

class DeviceFactory {
public:
    DeviceFactory(std::shared_ptr<DeviceLocator> locator, std::shared_ptr<GuidSource> guidSource);

    // The controller device of the port's record and its NVMe disks; nothing for an address with a
    // path, target or lun. Throws 0xA001000F "Failed to find controller" for a port without record.
    DeviceList createForController(PackedScsiAddress address) const;
    // A controller device for each AHCI and remapping controller of the driver, then the NVMe disks
    // of every one of the driver's controllers, in table order.
    DeviceList createForAll() const;

private:
    void appendNvmeDisks(ControllerLocator& record, DeviceList& devices) const;

    std::shared_ptr<DeviceLocator> m_Locator;
    std::shared_ptr<GuidSource> m_GuidSource;
};

} // namespace UviEvents
