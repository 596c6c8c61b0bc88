#include "cli/access/ThirdPartyViews.h"

#include "cli/Controller.h"
#include "cli/EndDevice.h"
#include "cli/ValueTexts.h"

namespace MOX {

PropertyList ThirdPartyController::serialize() const {
    PropertyList properties = {
        {"ID", "Scsi" + UIntToText(info_.portNumber)},
        {"Name", getName()},
        {"Type", ControllerTypeText(info_.type)},
    };
    AppendControllerHardwareRows(properties, info_.vendorId, info_.deviceId, info_.revisionId,
                                 info_.rootPortBus, info_.rootPortDevice, info_.rootPortFunction);
    return properties;
}

std::string ThirdPartyController::getName() const {
    return RecordText(info_.name);
}

bool ThirdPartyController::isRemapCapable() const {
    return info_.capabilities[UVI_CAPABILITY_FLAG_COUNT - 1] != 0;
}

std::string ThirdPartyEndDevice::getId() const {
    return DiskIdToText(info_.scsiAddress);
}

std::string ThirdPartyEndDevice::getSerialNumber() const {
    return TrimLeadingSpaces(RecordText(info_.serialNumber));
}

std::string ThirdPartyEndDevice::getModel() const {
    return RecordText(info_.modelNumber);
}

PropertyList ThirdPartyEndDevice::serialize() const {
    PropertyList properties = {{"ID", getId()}, {"Type", EndDeviceTypeText(info_.deviceType)}};
    if (info_.deviceType == 1) {
        properties.emplace_back("Disk Type", DiskTypeText(info_.busType, isSsd()));
        properties.emplace_back("State", DiskStateToText(info_.state));
        properties.emplace_back("Size", SizeToText(info_.diskLength) + " GB");
        properties.emplace_back("System Disk", BoolText(isSystemDisk()));
        properties.emplace_back("Firmware", RecordText(info_.firmwareRevision));
        properties.emplace_back("Usage", DiskUsageToText(info_.usage));
        properties.emplace_back("Serial Number", getSerialNumber());
        const std::string controllerSerial = RecordText(info_.nvmeSerialNumber);
        if (!controllerSerial.empty())
            properties.emplace_back("Controller Serial Number", TrimLeadingSpaces(controllerSerial));
    }
    properties.emplace_back("Model", getModel());
    return properties;
}

} // namespace MOX
