#pragma once
// An NVMe drive the driver has taken over behind the remapping controller: its identify data (kept
// as the identify request), host memory buffer feature, SMART / health log and serial number.
// Nothing it reads fails the disk: what the drive does not answer stays zero.
#include <cstdint>
#include <memory>

#include "middleware/ioctl/NvmeRequests.h"
#include "middleware/model/Disk.h"

class NvmeDisk : public Disk {
public:
    NvmeDisk(std::unique_ptr<RaidDiskConfig> raidConfig, std::unique_ptr<HybridDiskExtension> hybrid);

    CConsolidatedError internalPopulate(HANDLE target) override;
    CConsolidatedError internalWinDiskPopulate(const WinDiskInterface& view) override;
    void getModelNumber(std::string& model) override;
    void getFirmwareRevision(std::string& firmware) override;
    void isSolidState(bool& solidState) override;
    uint32_t getDeviceType() const override;
    const char* getNvmeSerialNumber() const override;

    // Null when the identify request failed.
    const std::shared_ptr<CIoctlNvmeGetRemappedDeviceInfo>& getRemappedDeviceInfo() const {
        return m_DeviceInfo;
    }
    bool isHostMemoryBufferSupported() const { return m_HmbSupported; }
    uint32_t getHostMemoryBufferValue() const { return m_HmbValue; }
    const uint8_t* getHostMemoryBufferData() const { return m_HmbData; }
    const uint8_t* getHealthLog() const { return m_HealthLog; }

private:
    std::shared_ptr<CIoctlNvmeGetRemappedDeviceInfo> m_DeviceInfo;
    bool m_HmbSupported = false;
    uint32_t m_HmbValue = 0;
    uint8_t m_HmbData[kNvmeFeatureDataSize] = {};
    uint8_t m_HealthLog[kNvmeHealthLogSize] = {};
    char m_SerialNumber[21] = {};
};
