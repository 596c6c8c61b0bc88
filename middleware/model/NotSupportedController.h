#pragma once
// A controller whose driver lacks an interface the library requires (or whose flags name no kind):
// listed, populated as far as its interfaces allow, typed from its record's flags.
#include "middleware/model/Controller.h"

class NotSupportedController : public Controller {
public:
    NotSupportedController(ControllerLocator* locator, uint32_t flags)
        : Controller(locator), m_Flags(flags) {}

    const char* getTypeName() const override { return "UnKnown"; }
    // 1 for an AHCI flag, else 4 for the remapping flag, else 3 for the NVMe flag, else 0.
    int getType() const override;
    bool isEndDeviceAddress(PackedScsiAddress) const override { return true; }
    PackedScsiAddress getDefaultVolumeAddress() const override { return 0; }
    std::vector<int> getLpmControllerNumbers() const override { return {}; }

    uint32_t getLocatorFlags() const { return m_Flags; }

private:
    uint32_t m_Flags;
};
