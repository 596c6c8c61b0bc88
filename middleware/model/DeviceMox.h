#pragma once
// An event device of the RAID driver: its event is a named, machine-wide event whose name (a fresh
// GUID) is registered with the driver, which signals it.
#include <functional>
#include <memory>
#include <string>

#include "middleware/ioctl/DeviceLocator.h"
#include "middleware/model/Device.h"
#include "middleware/model/GuidSource.h"

namespace UviEvents {

class DeviceMox : public Device {
public:
    // id: the packed SCSI address (the controller's port << 24, or an NVMe disk's full address).
    DeviceMox(std::shared_ptr<GuidSource> guidSource, uint32_t id, std::shared_ptr<DeviceLocator> locator);
    ~DeviceMox() override;

    uint32_t getId() const override { return m_Id; }

    // Creates the manual-reset event "Global\" + a new GUID text and returns the GUID text. Throws
    // CConsolidatedError: 0xA0010010 when the event exists already, the GUID failure, or the Win32
    // error of the creation.
    std::string createGlobalEvent();

protected:
    // The locator record of the device's controller (the id's top byte); null when there is none.
    ControllerLocator* findRecord() const;
    // The record, or a thrown 0xA0010010 without one.
    ControllerLocator& requireRecord() const;
    // Creates the global event and has `enrol` register its GUID text with the driver on the
    // controller's record: 0xA0010010 without a record, else enrol's result; thrown errors are
    // returned.
    CConsolidatedError createRegisteredEvent(
        const std::function<CConsolidatedError(ControllerLocator&, const std::string&)>& enrol);

    std::shared_ptr<GuidSource> m_GuidSource;
    uint32_t m_Id;
    std::shared_ptr<DeviceLocator> m_Locator;
};

} // namespace UviEvents
