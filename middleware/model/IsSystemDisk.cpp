#include "middleware/model/IsSystemDisk.h"

#include "middleware/model/Disk.h"
#include "middleware/model/DiskShrinkExtension.h"
#include "middleware/model/VdsHandler.h"

CConsolidatedError IsSystemDisk(const WinDiskInterface* view, bool& isSystem) {
    if (!view) {
        CConsolidatedError error;
        error.SetError(CConsolidatedError::GENERAL_NULL_PARAMETER, "Disk cannot be null");
        return error;
    }
    GUID guid{};
    uint32_t signature = 0, kind = 0;
    CConsolidatedError result = DiskShrinkExtension(view).getDiskIdentifyData(guid, signature, kind);
    if (result.IsError())
        return result;
    if (kind == DiskShrinkExtension::kMbr || kind == DiskShrinkExtension::kGpt)
        return VdsGetAdvancedDiskFlags(kind, signature, guid, isSystem);
    return result;
}

CConsolidatedError IsSystemDisk(const std::shared_ptr<Disk>& disk, bool& isSystem) {
    return IsSystemDisk(disk ? disk->getWinDiskInterface().get() : nullptr, isSystem);
}
