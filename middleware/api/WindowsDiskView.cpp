#include "middleware/api/WindowsDiskView.h"

#include "middleware/model/WinDiskInterface.h"

WindowsDiskView ReadWindowsDiskView(const WinDiskInterface* disk) {
    WindowsDiskView view;
    if (!disk)
        return view;
    view.deviceNumber = disk->getDeviceNumber();
    view.deviceType = static_cast<uint32_t>(disk->getStorageDeviceNumber().DeviceType);
    bool seekPenalty = false;
    view.seekPenalty = disk->getSeekPenalty(seekPenalty) ? (seekPenalty ? 1 : 2) : 0;
    DISK_CACHE_SETTING setting{};
    view.cacheSetting = disk->getCachePolicy(setting) ? (setting.IsPowerProtected ? 2 : 1) : 0;
    DISK_CACHE_INFORMATION information{};
    view.writeCache = disk->getCacheInformation(information) ? (information.WriteCacheEnabled ? 1 : 2) : 0;
    view.hasPartitions = disk->hasPartitions();
    return view;
}
