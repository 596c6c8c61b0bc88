#pragma once
// What the exported disk and volume records report of the disk Windows shows for a device: its
// device number and type, and the tri-states of its cache setting, seek penalty and write cache.
#include <cstdint>

class WinDiskInterface;

struct WindowsDiskView {
    // 0xFFFFFFFF (-1) without a Windows disk.
    uint32_t deviceNumber = 0xFFFFFFFF;
    uint32_t deviceType = 0xFFFFFFFF;
    // 0 not read, 1 not power-protected, 2 power-protected.
    uint32_t cacheSetting = 0;
    // 0 not read, 1 the disk incurs a seek penalty, 2 it does not.
    uint32_t seekPenalty = 0;
    // 0 not read, 1 enabled, 2 disabled.
    uint32_t writeCache = 0;
    bool hasPartitions = false;
};

// The view of `disk`; the defaults above for none.
WindowsDiskView ReadWindowsDiskView(const WinDiskInterface* disk);
