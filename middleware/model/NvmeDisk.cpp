#include "middleware/model/NvmeDisk.h"

#include <cstring>

#include "middleware/model/RecordBytes.h"

namespace {

// Identify controller bytes.
constexpr size_t kSerialNumber = 4;
constexpr size_t kSerialNumberSize = 20;
constexpr size_t kHmbPreferredSize = 272;

} // namespace

NvmeDisk::NvmeDisk(std::unique_ptr<RaidDiskConfig> raidConfig, std::unique_ptr<HybridDiskExtension> hybrid)
    : Disk(std::move(raidConfig), std::move(hybrid)) {}

CConsolidatedError NvmeDisk::internalPopulate(HANDLE target) {
    auto info = std::make_shared<CIoctlNvmeGetRemappedDeviceInfo>(target, m_ScsiAddress);
    info->SetVerifyOnInvoke(true);
    if (info->Invoke().IsSuccessful())
        m_DeviceInfo = std::move(info);

    if (m_DeviceInfo) {
        const uint8_t* identify = m_DeviceInfo->GetVerifiedPayload();
        if (model::Read32(identify, kHmbPreferredSize) != 0) {
            m_HmbSupported = true;
            CIoctlNvmeGetFeatures features(target, m_ScsiAddress);
            if (features.Invoke().IsSuccessful() && features.Succeeded() && features.CopyData(m_HmbData))
                m_HmbValue = features.GetCompletionDword();
        }
        std::memcpy(m_SerialNumber, identify + kSerialNumber, kSerialNumberSize);
        m_SerialNumber[kSerialNumberSize] = '\0';
    }

    CIoctlNvmeGetHealthLogPage health(target, m_ScsiAddress & 0x00FFFFFF);
    if (health.Invoke().IsSuccessful())
        health.GetLogPage(m_HealthLog);
    return CConsolidatedError();
}

CConsolidatedError NvmeDisk::internalWinDiskPopulate(const WinDiskInterface&) {
    return CConsolidatedError();
}

void NvmeDisk::getModelNumber(std::string& model) {
    if (m_DeviceInfo)
        model = m_DeviceInfo->GetModelNumber();
}

void NvmeDisk::getFirmwareRevision(std::string& firmware) {
    if (m_DeviceInfo)
        firmware = m_DeviceInfo->GetFirmwareRevision();
}

void NvmeDisk::isSolidState(bool& solidState) {
    solidState = true;
}

uint32_t NvmeDisk::getDeviceType() const {
    return kDeviceTypeNvme;
}

const char* NvmeDisk::getNvmeSerialNumber() const {
    return m_SerialNumber[0] == '\0' ? nullptr : m_SerialNumber;
}
