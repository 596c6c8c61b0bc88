#include "middleware/model/DeviceFactory.h"

#include "middleware/ioctl/RemapPortRequests.h"
#include "middleware/model/DeviceController.h"
#include "middleware/model/DeviceNvmeDisk.h"

namespace UviEvents {

DeviceFactory::DeviceFactory(std::shared_ptr<DeviceLocator> locator, std::shared_ptr<GuidSource> guidSource)
    : m_Locator(std::move(locator)), m_GuidSource(std::move(guidSource)) {}

DeviceList DeviceFactory::createForController(PackedScsiAddress address) const {
    const uint32_t port = address >> 24;
    ControllerLocator* record = DeviceLocator::FindByPort(static_cast<int32_t>(port));
    if (!record) {
        CConsolidatedError error;
        error.SetError(CConsolidatedError::UVI_FAILED, "Failed to find controller");
        throw error;
    }
    DeviceList devices;
    if (address != PackScsiAddress(port, 0, 0, 0))
        return devices;
    devices.push_back(std::make_unique<DeviceController>(m_GuidSource, address, m_Locator));
    appendNvmeDisks(*record, devices);
    return devices;
}

DeviceList DeviceFactory::createForAll() const {
    DeviceList devices;
    std::vector<ControllerLocator*> records;
    for (int i = DeviceLocator::FindNextByFlags(kControllerMaskVendor, -1); i >= 0;
         i = DeviceLocator::FindNextByFlags(kControllerMaskVendor, i)) {
        ControllerLocator* record = DeviceLocator::GetByIndex(i);
        if (!record)
            continue;
        records.push_back(record);
        if (record->flags == kControllerSataRaid || record->flags == kControllerRemapping)
            devices.push_back(std::make_unique<DeviceController>(
                m_GuidSource, PackScsiAddress(static_cast<uint32_t>(record->portNumber), 0, 0, 0),
                m_Locator));
    }
    for (ControllerLocator* record : records)
        appendNvmeDisks(*record, devices);
    return devices;
}

void DeviceFactory::appendNvmeDisks(ControllerLocator& record, DeviceList& devices) const {
    CioctlReMapPortIterator walk;
    try {
        if (walk.Invoke(&record, static_cast<uint8_t>(record.portNumber)).IsError())
            return;
    } catch (const CConsolidatedError&) {
        return;
    }
    for (PackedScsiAddress address : walk.GetAddresses()) {
        CIoctlReMapPortGetConnectionInfo request(&record, address);
        try {
            if (request.Invoke().IsSuccessful() && request.GetConnectionType() == kRemapPortInterfaceNvme)
                devices.push_back(std::make_unique<DeviceNvmeDisk>(m_GuidSource, address, m_Locator));
        } catch (const CConsolidatedError&) {
            // An address whose connection cannot be read is not an event channel.
        }
    }
}

} // namespace UviEvents
