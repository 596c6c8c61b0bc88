#include "cli/Controller.h"

#include <cstring>

#include "cli/ValueTexts.h"

namespace MOX {

RaidLevel::RaidLevel(uint32_t level, const _UVI_RaidLevelInfo& info) : level(level), info(info) {
    for (uint32_t target : {1u, 2u, 4u, 8u}) {
        if ((info.migrationMask & target) == 0)
            continue;
        std::string description = RaidLevelToText(target);
        if ((info.secondMask & target) != 0)
            description += " by adding a disk.";
        migrationDescriptions.push_back(description);
    }
}

Controller::Controller() {
    std::memset(&info_, 0, sizeof info_);
}

Controller::Controller(const _UVI_ControllerInfo& info) : info_(info) {}

void Controller::setRaidInfo(const _UVI_RaidInfo& info) {
    maxDisksPerArray_ = UIntToText(info.maxDisksPerArray);
    maxDisks_ = UIntToText(info.maxDisksTotal);
    maxVolumesPerArray_ = UIntToText(info.maxVolumesPerArray);
    maxVolumes_ = UIntToText(info.maxVolumesPerController);
    raidSupported_ = BoolText(info.raidSupported != 0);
}

void Controller::addRaidLevel(const _UVI_RaidLevelInfo& info, uint32_t level) {
    raidLevels_.emplace_back(level, info);
}

std::string Controller::getSupportedRaidText() const {
    std::string text;
    for (const RaidLevel& level : raidLevels_) {
        if (!text.empty())
            text += ",";
        text += RaidLevelToText(level.level);
    }
    return text;
}

std::string Controller::getName() const {
    return RecordText(info_.name);
}

uint32_t Controller::getScsiPortNumber() const {
    return info_.portNumber;
}

uint32_t Controller::getHandle() const {
    return info_.controllerHandle;
}

bool Controller::isCompatibleWithDriver() const {
    return info_.interfaceNotSupported == 0;
}

bool Controller::isRemapCapable() const {
    // The last capability byte is the remap-possible flag.
    return info_.capabilities[UVI_CAPABILITY_FLAG_COUNT - 1] != 0;
}

PropertyList Controller::serialize() const {
    PropertyList properties = {
        {"ID", "Scsi" + UIntToText(info_.portNumber)}, {"Name", getName()},
        {"Type", ControllerTypeText(info_.type)},      {"Supported RAID", getSupportedRaidText()},
        {"Max Disks/Array", maxDisksPerArray_},
    };
    AppendControllerHardwareRows(properties, info_.vendorId, info_.deviceId, info_.revisionId,
                                 info_.rootPortBus, info_.rootPortDevice, info_.rootPortFunction);
    return properties;
}

void AppendControllerHardwareRows(PropertyList& properties, uint16_t vendorId, uint16_t deviceId,
                                  uint8_t revisionId, uint8_t bus, uint8_t device, uint8_t function) {
    properties.emplace_back("HW Information", "");
    properties.emplace_back("Vendor ID", HexIdToText(vendorId));
    properties.emplace_back("Device ID", HexIdToText(deviceId));
    properties.emplace_back("HW Revision", UIntToText(revisionId));
    properties.emplace_back("Root port PCI location", PciLocationToText(bus, device, function));
}

std::string ControllerTypeText(uint32_t type) {
    switch (type) {
    case 1:
        return "AHCI";
    case 3:
        return "NVMe";
    case 4:
        return "ZRC";
    default:
        return "Unknown";
    }
}

} // namespace MOX
