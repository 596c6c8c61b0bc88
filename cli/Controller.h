#pragma once
// The view of one controller of the vendor's driver, with the RAID levels it supports.
#include <cstdint>
#include <string>
#include <vector>

#include "cli/Serializable.h"
#include "middleware/api/UviApi.h"

namespace MOX {

class RaidLevel {
public:
    RaidLevel(uint32_t level, const _UVI_RaidLevelInfo& info);
    virtual ~RaidLevel() = default;

    uint32_t level;
    _UVI_RaidLevelInfo info;
    // The levels a volume of this level can migrate to, "0", "1", "10" or "5", with " by adding a
    // disk." where the migration needs one.
    std::vector<std::string> migrationDescriptions;
};

class Controller : public BasicController {
public:
    Controller();
    explicit Controller(const _UVI_ControllerInfo& info);

    PropertyList serialize() const override;
    std::string getName() const override;
    uint32_t getScsiPortNumber() const override;
    uint32_t getHandle() const override;
    bool isOwnDriverController() const override { return true; }
    bool isCompatibleWithDriver() const override;
    bool isRemapCapable() const override;

    void setRaidInfo(const _UVI_RaidInfo& info);
    void addRaidLevel(const _UVI_RaidLevelInfo& info, uint32_t level);
    // The texts of the added levels joined by ",".
    std::string getSupportedRaidText() const;

    const _UVI_ControllerInfo& getInfo() const { return info_; }
    const std::vector<RaidLevel>& getRaidLevels() const { return raidLevels_; }
    const std::string& getMaxDisksPerArrayText() const { return maxDisksPerArray_; }
    const std::string& getMaxDisksText() const { return maxDisks_; }
    const std::string& getMaxVolumesPerArrayText() const { return maxVolumesPerArray_; }
    const std::string& getMaxVolumesText() const { return maxVolumes_; }
    const std::string& getRaidSupportedText() const { return raidSupported_; }

private:
    std::string maxDisksPerArray_, maxDisks_, maxVolumesPerArray_, maxVolumes_;
    std::string raidSupported_;
    std::vector<RaidLevel> raidLevels_;
    _UVI_ControllerInfo info_;
};

// "AHCI", "NVMe", "ZRC" or "Unknown", shared by both controller views.
std::string ControllerTypeText(uint32_t type);
// The rows both controller views end with: "HW Information" (empty), the PCI identity and the root
// port's location.
void AppendControllerHardwareRows(PropertyList& properties, uint16_t vendorId, uint16_t deviceId,
                                  uint8_t revisionId, uint8_t bus, uint8_t device, uint8_t function);

} // namespace MOX
