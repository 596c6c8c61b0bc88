#pragma once
// The view of one end device (disk, optical drive or other device) of the vendor's controllers: its
// record, its PHY, the volumes of its array and its controller's NV cache.
#include <string>
#include <vector>

#include "cli/Serializable.h"
#include "middleware/api/UviApi.h"

namespace MOX {

class EndDevice : public BasicEndDevice {
public:
    EndDevice();
    EndDevice(const _UVI_EndDeviceInfo& info, const UVI_PhyInfo& phy,
              std::vector<_UVI_VolumeInfo> arrayVolumes, const _UVI_NvcInfo& nvc);
    virtual ~EndDevice() = default;

    PropertyList serialize() const override;
    uint32_t getHandle() const override;
    uint32_t getControllerHandle() const override;
    std::string getId() const override;
    uint32_t getUsage() const override;
    uint32_t getDiskType() const override;
    bool isSystemDisk() const override;
    bool isSsd() const override;
    std::string getSerialNumber() const override;
    std::string getModel() const override;
    uint64_t getSize() const override;
    bool hasSmartEvent() const override;
    uint32_t getState() const override;

    const _UVI_EndDeviceInfo& getInfo() const { return info_; }
    const UVI_PhyInfo& getPhy() const { return phy_; }
    const std::vector<_UVI_VolumeInfo>& getArrayVolumes() const { return arrayVolumes_; }
    const _UVI_NvcInfo& getNvcInfo() const { return nvc_; }

private:
    void addDiskProperties(PropertyList& properties) const;
    std::string usageText() const;
    void addLocationProperties(PropertyList& properties) const;

    _UVI_EndDeviceInfo info_;
    UVI_PhyInfo phy_;
    std::vector<_UVI_VolumeInfo> arrayVolumes_;
    _UVI_NvcInfo nvc_;
    std::string id_;
};

// "Disk", "ATAPI", "Non Storage" or "Unknown end device type", shared by both end-device views.
std::string EndDeviceTypeText(uint32_t type);
// The bus text, a blank and "SSD" or "Disk".
std::string DiskTypeText(uint32_t bus, bool solidState);

} // namespace MOX
