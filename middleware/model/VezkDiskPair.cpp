#include "middleware/model/VezkDiskPair.h"

#include <cstdio>
#include <string>

#include "middleware/core/HandleRegistry.h"
#include "middleware/ioctl/IoctlInterfaceVersionStore.h"
#include "middleware/ioctl/VezkRequests.h"
#include "middleware/model/Disk.h"
#include "middleware/model/IsSystemDisk.h"
#include "platform/win/WinBase.h"

namespace {

// The wait before the validity request is sent again to a busy driver.
constexpr DWORD kBusyWaitMs = 10;
// A fast disk of at most this many GiB leaves no room for the extended file-cache mode.
constexpr float kSmallFastDiskGiB = 16.0f;

} // namespace

VezkDiskPair::VezkDiskPair(std::shared_ptr<Disk> slowDisk, std::shared_ptr<Disk> fastDisk)
    : m_SlowDisk(std::move(slowDisk)), m_FastDisk(std::move(fastDisk)) {
    if (m_FastDisk) {
        m_FastDiskHandle = m_FastDisk->getHandle();
        m_FastDiskAddress = m_FastDisk->getScsiAddress();
    }
    if (m_SlowDisk) {
        m_SlowDiskHandle = m_SlowDisk->getHandle();
        m_SlowDiskAddress = m_SlowDisk->getScsiAddress();
    }
}

void VezkDiskPair::makeHandle() {
    const std::string key = "S:" + std::to_string(m_SlowDiskHandle) + "F:" + std::to_string(m_FastDiskHandle);
    m_Handle = HandleRegistry::instance().getHandle(HandleKindVezkDiskPair, key.c_str());
}

void VezkDiskPair::markFastDriveUnsupported() {
    makeHandle();
    m_Status = kStatusFastUnsupported;
}

void VezkDiskPair::markFastDiskSystem() {
    makeHandle();
    m_Status = kStatusFastSystem;
}

CConsolidatedError VezkDiskPair::Populate(HANDLE target) {
    makeHandle();
    CConsolidatedError result;
    if (m_SlowDiskHandle == 0 || m_FastDiskHandle == 0 || m_Handle == 0) {
        result.SetError(CConsolidatedError::GENERAL_NULL_PARAMETER, nullptr,
                        "Vezk disk pair populate: missing required fields");
        return result;
    }
    if (m_FastDisk->getWinDiskInterface()) {
        bool system = false;
        result = IsSystemDisk(m_FastDisk->getWinDiskInterface().get(), system);
        if (result.IsError() && result.GetErrorCode() != CConsolidatedError::UVI_DISK_IS_WINDOWS_DYNAMIC)
            return result;
        result.ClearError();
        if (system) {
            m_Status = kStatusFastSystem;
            return result;
        }
    }
    if (m_SlowDisk->getWinDiskInterface() && m_SlowDisk->getWinDiskInterface()->hasDynamicDiskPartitions()) {
        m_Status = kStatusSlowDynamic;
        return result;
    }
    if (m_SlowDisk->getRaidDiskConfig() && m_SlowDisk->getRaidDiskConfig()->isFlag24Set()) {
        m_Status = kStatusSlowUnsupported;
        return result;
    }

    uint32_t answer = 0;
    try {
        for (int attempt = 1;; ++attempt) {
            CIoctlVezkDisksPairValidForConcatenate request(target, m_SlowDiskAddress, m_FastDiskAddress);
            result = request.Invoke();
            if (result.GetErrorCode() != CConsolidatedError::DRIVER_BUSY || attempt == kValidityAttempts) {
                answer = request.GetSrbReturnCode();
                break;
            }
            Sleep(kBusyWaitMs);
        }
    } catch (const CConsolidatedError& e) {
        return e;
    }
    if (result.IsError())
        return result;
    m_Status = answer <= kStatusFastBigger ? answer : kStatusOther;

    if (m_Status == kStatusValid &&
        IoctlInterfaceVersionStore::CheckFeatureSupport(target, kFeatureFileCacheSupport)) {
        CIoctlIsFileCacheSupported request(target, m_SlowDiskAddress, m_FastDiskAddress);
        result = request.Invoke();
        if (result.IsError())
            return result;
        m_FileCache = (request.IsSupported() & 0xFF) != 0;
    }

    uint64_t fastBytes = 0;
    if (const CDictionaryEndDevice* entry = m_FastDisk->getDictionaryEntry())
        fastBytes = entry->GetValues().lbaCount * entry->GetValues().logicalSectorSize;
    m_FastDiskSmall = static_cast<float>(fastBytes) * (1.0f / 1073741824.0f) <= kSmallFastDiskGiB;

    if (m_SlowDisk->getWinDiskInterface())
        m_SlowDiskHasEsp = m_SlowDisk->getWinDiskInterface()->hasEfiSystemPartition();
    return result;
}

CConsolidatedError VezkDiskPair::populateJoined(bool fileCacheSupported, uint64_t pairingValue) {
    makeHandle();
    m_Status = kStatusJoined;
    m_FileCacheMode = kFileCacheModeOn;
    m_FileCache = fileCacheSupported;
    if (!m_FileCache)
        m_FileCacheMode = pairingValue != 0 ? kFileCacheModeExtended : kFileCacheModeOff;
    return CConsolidatedError();
}

uint32_t VezkDiskPair::getDefaultFileCacheMode() const {
    return m_FileCache ? kFileCacheModeOn : kFileCacheModeOff;
}

std::vector<uint32_t> VezkDiskPair::getAllowedFileCacheModes() const {
    if (m_FileCache)
        return {kFileCacheModeOn};
    if (!m_FastDiskSmall && m_SlowDiskHasEsp)
        return {kFileCacheModeOff, kFileCacheModeExtended};
    return {kFileCacheModeOff};
}
