#include "middleware/model/DiskShrinkExtension.h"

#include <cinttypes>
#include <cstdio>

#include "platform/win/WinBase.h"
#include "platform/win/WinFiles.h"

namespace {

constexpr const char* kIdentifyDebug =
    "getDiskIdentifyData()  error in DiskShrinkExtension::getDiskIdentifyData";
constexpr uint64_t kGptHiddenAttribute = 1ull << 62;

CConsolidatedError NotLinked(const char* debug) {
    CConsolidatedError error;
    error.SetError(CConsolidatedError::GENERAL_INVALID_VALUE, "WinDisk must be linked", debug);
    return error;
}

} // namespace

CConsolidatedError DiskShrinkExtension::getDiskIdentifyData(GUID& gptGuid, uint32_t& mbrSignature,
                                                            uint32_t& kind) const {
    gptGuid = GUID{};
    mbrSignature = 0;
    kind = kNoPartitionTable;
    if (!isLinked())
        return NotLinked(kIdentifyDebug);
    CConsolidatedError result;
    const DRIVE_LAYOUT_INFORMATION_EX layout = m_View->getDriveLayoutInfo();
    if (layout.PartitionCount == 0)
        return result;
    if (m_View->hasDynamicDiskPartitions())
        result.SetError(CConsolidatedError::UVI_DISK_IS_WINDOWS_DYNAMIC, "Dynamic disks are not allowed.",
                        kIdentifyDebug);
    if (layout.PartitionStyle == PARTITION_STYLE_MBR) {
        kind = kMbr;
        mbrSignature = layout.Mbr.Signature;
    } else if (layout.PartitionStyle == PARTITION_STYLE_GPT) {
        kind = kGpt;
        gptGuid = layout.Gpt.DiskId;
    }
    return result;
}

uint32_t DiskShrinkExtension::getMetadataSpaceSize(uint32_t sectors, uint32_t sectorSize, uint32_t kind) {
    switch (kind) {
    case 0:
    case 1:
        return ((sectors + 15) & ~15u) * sectorSize;
    case 2:
    case 3:
        if (sectorSize == 0)
            return 0;
        return ((sectors + 4096 / sectorSize + 15) & ~15u) * sectorSize;
    default:
        return 0;
    }
}

CConsolidatedError DiskShrinkExtension::getLastGptPartitionInfo(uint64_t& freeBytes,
                                                                uint64_t& sizeBytes) const {
    freeBytes = 0;
    sizeBytes = 0;
    if (!isLinked())
        return NotLinked("getLastGptPartitionInfo()  error in DiskShrinkExtension::getLastGptPartitionInfo");
    const DRIVE_LAYOUT_INFORMATION_EX layout = m_View->getDriveLayoutInfo();
    if (layout.PartitionStyle != PARTITION_STYLE_GPT || layout.PartitionCount == 0 ||
        m_View->hasDynamicDiskPartitions())
        return CConsolidatedError();
    // Windows reports at most as many entries as the layout has room for.
    const size_t last = std::min<size_t>(layout.PartitionCount, WinDiskInterface::kMaxPartitionEntries) - 1;
    const PARTITION_INFORMATION_EX& entry = m_View->getPartitionEntries()[last];
    if (entry.Gpt.PartitionId == GUID{})
        return CConsolidatedError();
    const uint64_t length = static_cast<uint64_t>(entry.PartitionLength.QuadPart);
    const GUID& type = entry.Gpt.PartitionType;
    if (type == PARTITION_MSFT_RESERVED_GUID || type == PARTITION_MSFT_RECOVERY_GUID ||
        (type == PARTITION_BASIC_DATA_GUID && (entry.Gpt.Attributes & kGptHiddenAttribute))) {
        freeBytes = length;
        sizeBytes = length;
        return CConsolidatedError();
    }
    if (getVolumeFreeSpace(entry.Gpt.PartitionId, freeBytes, sizeBytes).IsError()) {
        freeBytes = 0;
        sizeBytes = length;
    }
    return CConsolidatedError();
}

CConsolidatedError DiskShrinkExtension::getVolumeFreeSpace(const GUID& volumeId, uint64_t& freeBytes,
                                                           uint64_t& totalBytes) {
    char path[260];
    std::snprintf(path, sizeof(path),
                  "\\\\.\\Volume{%08" PRIX32 "-%04" PRIX16 "-%04" PRIX16
                  "-%02X%02X-%02X%02X%02X%02X%02X%02X}\\",
                  volumeId.Data1, volumeId.Data2, volumeId.Data3, volumeId.Data4[0], volumeId.Data4[1],
                  volumeId.Data4[2], volumeId.Data4[3], volumeId.Data4[4], volumeId.Data4[5],
                  volumeId.Data4[6], volumeId.Data4[7]);
    ULARGE_INTEGER available{}, total{};
    if (!GetDiskFreeSpaceExA(path, &available, &total, nullptr)) {
        CConsolidatedError error;
        error.SetError(KEDO2_ERROR_TYPE_WIN32, GetLastError(),
                       "GetDiskFreeSpaceEx() failed in DiskShrinkExtension::getVolumeFreeSpace");
        return error;
    }
    freeBytes = available.QuadPart;
    totalBytes = total.QuadPart;
    return CConsolidatedError();
}
