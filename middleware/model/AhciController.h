#pragma once
// The vendor's SATA/AHCI RAID controller: it keeps the driver's AHCI information for the
// controller queries and refuses a second populate.
#include <memory>

#include "middleware/ioctl/AtaRequests.h"
#include "middleware/model/Controller.h"

class AhciController : public Controller {
public:
    // The address of a pairing volume the driver does not name: port 0, path 7, target 0, lun 0.
    static constexpr PackedScsiAddress kDefaultVolumeAddress = 0x00070000;

    explicit AhciController(ControllerLocator* locator);
    ~AhciController() override;

    CConsolidatedError Populate(const WinDiskList& winDisks) override;
    const char* getTypeName() const override { return "SATA"; }
    int getType() const override { return kTypeAhci; }
    // Path ids 6 and 7 carry the driver's volumes.
    bool isEndDeviceAddress(PackedScsiAddress address) const override;
    PackedScsiAddress getDefaultVolumeAddress() const override { return kDefaultVolumeAddress; }
    std::vector<int> getLpmControllerNumbers() const override { return {0}; }

    // The AHCI information request; null until populated.
    CIoctlMpGetAhciInfo* getAhciInfoRequest() const { return m_AhciInfo.get(); }

private:
    std::unique_ptr<CIoctlMpGetAhciInfo> m_AhciInfo;
};
