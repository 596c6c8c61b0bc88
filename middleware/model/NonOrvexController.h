#pragma once
// Another vendor's SATA, RAID or NVMe adapter: known through Windows, its disks through the Windows
// disk list.
#include "middleware/model/Controller.h"
#include "platform/win/WinStorage.h"

class NonOrvexController : public Controller {
public:
    explicit NonOrvexController(ControllerLocator* locator) : Controller(locator) {}

    CConsolidatedError Populate(const WinDiskList& winDisks) override;
    const char* getTypeName() const override { return "UnKnown"; }
    // The kind code: 0, 1 (SATA or RAID bus) or 3 (NVMe bus).
    int getType() const override { return m_KindCode; }
    bool isEndDeviceAddress(PackedScsiAddress) const override { return true; }
    PackedScsiAddress getDefaultVolumeAddress() const override { return kNoScsiAddress; }
    std::vector<int> getLpmControllerNumbers() const override { return {}; }

    // The disk pass: one disk per Windows disk on the controller's port, kept when it populates.
    void populateDisks(const WinDiskList& winDisks, int32_t diskKind);

    int getKindCode() const { return m_KindCode; }
    const STORAGE_ADAPTER_DESCRIPTOR& getAdapterDescriptor() const { return m_AdapterDescriptor; }

private:
    int m_KindCode = 0;
    STORAGE_ADAPTER_DESCRIPTOR m_AdapterDescriptor{};
};
