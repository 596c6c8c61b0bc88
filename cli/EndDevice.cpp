#include "cli/EndDevice.h"

#include <cstring>
#include <utility>

#include "cli/ValueTexts.h"

namespace MOX {

namespace {

constexpr uint32_t kBusSata = 1;
constexpr uint32_t kBusPcie = 3;
constexpr uint32_t kPortInterfaceNvme = 3;

const char* PortInterfaceText(uint32_t value) {
    static const char* const texts[] = {nullptr, "Unsupported", "AHCI", "NVMe"};
    return value >= 1 && value <= 3 ? texts[value] : "Unknown";
}

const char* BusWidthText(uint32_t value) {
    static const char* const texts[] = {nullptr, "Unsupported", "X1", "X2", "X4"};
    return value >= 1 && value <= 4 ? texts[value] : "Unknown";
}

const char* BusSpeedText(uint32_t value) {
    static const char* const texts[] = {nullptr, "Unsupported", "GEN1", "GEN2", "GEN3", "GEN4"};
    return value >= 1 && value <= 5 ? texts[value] : "Unknown";
}

const char* YesNo(bool value) {
    return value ? "Yes" : "No";
}

} // namespace

std::string EndDeviceTypeText(uint32_t type) {
    switch (type) {
    case 1:
        return "Disk";
    case 2:
        return "ATAPI";
    case 3:
        return "Non Storage";
    default:
        return "Unknown end device type";
    }
}

std::string DiskTypeText(uint32_t bus, bool solidState) {
    const char* busText = bus == 1 ? "SATA" : bus == 2 ? "SAS" : bus == 3 ? "PCIE" : "Unknown disk type";
    return std::string(busText) + (solidState ? " SSD" : " Disk");
}

EndDevice::EndDevice() {
    std::memset(&info_, 0, sizeof info_);
    std::memset(&phy_, 0, sizeof phy_);
    std::memset(&nvc_, 0, sizeof nvc_);
}

EndDevice::EndDevice(const _UVI_EndDeviceInfo& info, const UVI_PhyInfo& phy,
                     std::vector<_UVI_VolumeInfo> arrayVolumes, const _UVI_NvcInfo& nvc)
    : info_(info), phy_(phy), arrayVolumes_(std::move(arrayVolumes)), nvc_(nvc),
      id_(DiskIdToText(info.scsiAddress)) {}

uint32_t EndDevice::getHandle() const {
    return info_.endDeviceHandle;
}
uint32_t EndDevice::getControllerHandle() const {
    return info_.controllerHandle;
}
std::string EndDevice::getId() const {
    return id_;
}
uint32_t EndDevice::getUsage() const {
    return info_.usage;
}
uint32_t EndDevice::getDiskType() const {
    return info_.busType;
}
bool EndDevice::isSystemDisk() const {
    return info_.systemDisk != 0;
}
bool EndDevice::isSsd() const {
    return info_.solidState != 0;
}
std::string EndDevice::getSerialNumber() const {
    return TrimLeadingSpaces(RecordText(info_.serialNumber));
}
std::string EndDevice::getModel() const {
    return RecordText(info_.modelNumber);
}
uint64_t EndDevice::getSize() const {
    return info_.capacity;
}
bool EndDevice::hasSmartEvent() const {
    return info_.smartEvent != 0;
}
uint32_t EndDevice::getState() const {
    return info_.state;
}

PropertyList EndDevice::serialize() const {
    PropertyList properties = {{"ID", id_}, {"Type", EndDeviceTypeText(info_.deviceType)}};
    if (info_.deviceType == 1)
        addDiskProperties(properties);
    properties.emplace_back("Model", getModel());
    return properties;
}

void EndDevice::addDiskProperties(PropertyList& properties) const {
    properties.emplace_back("Disk Type", DiskTypeText(info_.busType, isSsd()));
    if (info_.busType == kBusPcie) {
        properties.emplace_back("Port Interface", PortInterfaceText(phy_.portInterface));
        properties.emplace_back("Bus Width", BusWidthText(phy_.busWidth));
        properties.emplace_back("Bus Speed", BusSpeedText(phy_.busSpeed));
        if (phy_.portInterface == kPortInterfaceNvme) {
            properties.emplace_back("Host Memory Buffer supported", YesNo(info_.hmbSupported != 0));
            if (info_.hmbSupported != 0) {
                properties.emplace_back("Host Memory Buffer enabled", YesNo(info_.hmbEnabled != 0));
                if (info_.hmbEnabled != 0)
                    properties.emplace_back("Host Memory Buffer memory",
                                            UInt64ToText(info_.hmbSizeMiB) + " MB");
            }
        }
    }
    if (info_.busType == kBusSata) {
        static const char* const speeds[] = {nullptr, "1.5", "3", "6"};
        if (phy_.linkRate >= 1 && phy_.linkRate <= 3)
            properties.emplace_back("Disk Link Speed", std::string(speeds[phy_.linkRate]) + " Gb/s");
    }
    properties.emplace_back("State", DiskStateToText(info_.state));
    properties.emplace_back("Size", SizeToText(info_.capacity) + " GB");
    properties.emplace_back("Space available for new volumes",
                            SizeToText(info_.freeSectorCount * info_.sectorSize) + " GB");
    properties.emplace_back("System Disk", BoolText(isSystemDisk()));
    properties.emplace_back("Firmware", RecordText(info_.firmwareRevision));
    properties.emplace_back("Usage", usageText());
    if (info_.usage == UVI_DISK_USAGE_ACCELERATED)
        properties.emplace_back("Acceleration Mode",
                                AccelerationModeToText(static_cast<uint32_t>(nvc_.mode)));
    properties.emplace_back("Serial Number", getSerialNumber());
    const std::string controllerSerial = RecordText(info_.nvmeSerialNumber);
    if (!controllerSerial.empty())
        properties.emplace_back("Controller Serial Number", TrimLeadingSpaces(controllerSerial));
    addLocationProperties(properties);
}

std::string EndDevice::usageText() const {
    if (info_.usage == UVI_DISK_USAGE_ACCELERATED)
        return "Accelerated disk";
    if (info_.usage == UVI_DISK_USAGE_ARRAY_MEMBER) {
        // The first recovery or cache volume of the array decides the member's role.
        for (const _UVI_VolumeInfo& volume : arrayVolumes_) {
            if (volume.raidLevel == UVI_RAID_LEVEL_RECOVERY)
                return info_.masterDisk != 0 ? "Master disk" : "Recovery disk";
            if (volume.isBlockCacheVolume != 0)
                return "Cache device";
        }
    }
    return DiskUsageToText(info_.usage);
}

void EndDevice::addLocationProperties(PropertyList& properties) const {
    const uint32_t type = phy_.locationType;
    static const char* const types[] = {nullptr, "SATA", "Cycle Router", "Software Remap", "ZRC"};
    if (type < 1 || type > 4) {
        properties.emplace_back("Device location type", "Unknown");
        return;
    }
    properties.emplace_back("Device location type", types[type]);
    if (type == 1)
        properties.emplace_back("Port number", UIntToText(phy_.locationPort));
    if (type == 2)
        properties.emplace_back("Cycle router number", UIntToText(phy_.locationCycleRouter));
    if (type == 4) {
        properties.emplace_back("Socket", UIntToText(phy_.locationSocket));
        properties.emplace_back("Controller", UIntToText(phy_.locationController));
        properties.emplace_back("Physical slot", UIntToText(phy_.locationSlot));
    }
    if (type == 3 || type == 4)
        properties.emplace_back(
            "Root port PCIe location",
            PciLocationToText(phy_.locationBus, phy_.locationDevice, phy_.locationFunction));
}

} // namespace MOX
