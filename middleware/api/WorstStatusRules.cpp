#include "middleware/api/WorstStatus.h"

#include "middleware/api/UviEndDeviceRecords.h"

namespace worst_status {

uint32_t DiskContribution(uint32_t state, uint32_t usage, bool acceleratedMember) {
    switch (state) {
    case 0:
    case UVI_DISK_STATE_LOCKED:
        return 0;
    case UVI_DISK_STATE_OFFLINE:
        if (usage == UVI_DISK_USAGE_ARRAY_MEMBER)
            return acceleratedMember ? 1 : 0;
        return usage == UVI_DISK_USAGE_PASS_THROUGH ||
                       (usage >= UVI_DISK_USAGE_SPARE && usage <= UVI_DISK_USAGE_ACCELERATED)
                   ? 0
                   : 1;
    case UVI_DISK_STATE_FAILED:
        return usage == UVI_DISK_USAGE_ARRAY_MEMBER ||
                       (usage >= UVI_DISK_USAGE_OFFLINE_ARRAY && usage <= UVI_DISK_USAGE_ACCELERATED)
                   ? 1
                   : 2;
    case UVI_DISK_STATE_NORMAL:
    case UVI_DISK_STATE_OFFLINE_BY_REQUEST:
        return usage <= UVI_DISK_USAGE_ACCELERATED ? 0 : 1;
    default:
        return 1;
    }
}

uint32_t VolumeContribution(uint32_t state, bool blockCacheVolume, bool arrayHasBlockCacheVolume,
                            bool levelSupported) {
    uint32_t share;
    switch (state) {
    case 0:
    case 2:
    case 11:
    case 13:
    case 14:
    case 15:
    case 19:
    case 21:
    case 24:
    case 26:
    case 27:
    case 28:
    case 29:
    case 33:
    case 34:
    case 38:
    case 39:
    case 41:
    case 42:
        share = 1;
        break;
    case 1:
    case 4:
    case 5:
    case 6:
    case 7:
    case 8:
    case 9:
    case 10:
    case 12:
    case 17:
    case 18:
    case 20:
    case 22:
    case 23:
    case 25:
    case 30:
    case 31:
    case 32:
    case 35:
    case 36:
    case 37:
    case 40:
        share = 0;
        break;
    case 16:
        share = !blockCacheVolume && !arrayHasBlockCacheVolume ? 2 : 0;
        break;
    default:
        share = 2;
        break;
    }
    return share == 0 && !levelSupported ? 1 : share;
}

uint32_t CacheContribution(uint32_t cacheState) {
    return cacheState == 5 ? 1 : 0;
}

} // namespace worst_status
