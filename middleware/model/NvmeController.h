#pragma once
// The vendor's NVMe controller: no RAID pass and no pairing, but its ports and disks.
#include "middleware/model/Controller.h"

class NvmeController : public Controller {
public:
    explicit NvmeController(ControllerLocator* locator) : Controller(locator) {}

    const char* getTypeName() const override { return "NVMe"; }
    int getType() const override { return kTypeNvme; }
    bool isEndDeviceAddress(PackedScsiAddress) const override { return true; }
    PackedScsiAddress getDefaultVolumeAddress() const override { return 0; }
    std::vector<int> getLpmControllerNumbers() const override { return {}; }
};
