#pragma once
// The views of other vendors' controllers and of the end devices behind them.
#include "cli/Serializable.h"
#include "middleware/api/UviApi.h"

namespace MOX {

class ThirdPartyController : public BasicController {
public:
    explicit ThirdPartyController(const _UVI_ThirdPartyControllerInfo& info) : info_(info) {}

    PropertyList serialize() const override;
    std::string getName() const override;
    uint32_t getScsiPortNumber() const override { return info_.portNumber; }
    uint32_t getHandle() const override { return info_.controllerHandle; }
    bool isOwnDriverController() const override { return false; }
    bool isCompatibleWithDriver() const override { return false; }
    bool isRemapCapable() const override;

    const _UVI_ThirdPartyControllerInfo& getInfo() const { return info_; }

private:
    _UVI_ThirdPartyControllerInfo info_;
};

class ThirdPartyEndDevice : public BasicEndDevice {
public:
    explicit ThirdPartyEndDevice(const _UVI_ThirdPartyEndDeviceInfo& info) : info_(info) {}

    PropertyList serialize() const override;
    uint32_t getHandle() const override { return info_.endDeviceHandle; }
    uint32_t getControllerHandle() const override { return info_.controllerHandle; }
    std::string getId() const override;
    uint32_t getUsage() const override { return info_.usage; }
    uint32_t getDiskType() const override { return info_.busType; }
    bool isSystemDisk() const override { return info_.systemDisk != 0; }
    bool isSsd() const override { return info_.solidState != 0; }
    std::string getSerialNumber() const override;
    std::string getModel() const override;
    uint64_t getSize() const override { return info_.diskLength; }
    bool hasSmartEvent() const override { return false; }
    uint32_t getState() const override { return info_.state; }

    const _UVI_ThirdPartyEndDeviceInfo& getInfo() const { return info_; }

private:
    _UVI_ThirdPartyEndDeviceInfo info_;
};

} // namespace MOX
