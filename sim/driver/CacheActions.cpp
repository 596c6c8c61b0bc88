#include "sim/driver/CacheActions.h"

namespace sim::driver {
namespace {

constexpr uint32_t kInvalidParameter = 42;

bool KnownMode(uint32_t mode) {
    return mode == 0 || mode == 3 || mode == 5;
}

json& NvCache(json& raid) {
    json& nvc = raid["nv_cache"];
    if (!nvc.is_object())
        nvc = json::object();
    return nvc;
}

bool HasCacheVolume(const json& nvc) {
    return Num(nvc, "cache_volume", -1) >= 0;
}

// Ends the acceleration: no accelerated volume, mode off.
void Release(json& nvc) {
    nvc["accelerated_volume"] = -1;
    nvc["mode"] = 0;
}

} // namespace

uint32_t CacheVolumeAction(json& raid, size_t volumeIndex, uint32_t action, uint32_t deviceAction) {
    json& nvc = NvCache(raid);
    const auto index = static_cast<int64_t>(volumeIndex);
    switch (action) {
    case 15:
        if (!KnownMode(deviceAction) || (deviceAction != 0 && !HasCacheVolume(nvc)))
            return kInvalidParameter;
        if (deviceAction == 0) {
            Release(nvc);
        } else {
            nvc["accelerated_volume"] = index;
            nvc["mode"] = deviceAction;
        }
        return 0;
    case 17:
        if (Num(nvc, "accelerated_volume", -1) == index)
            Release(nvc);
        return 0;
    case 18:
        nvc["policy"] = deviceAction;
        return 0;
    case 19:
        Release(nvc);
        nvc["cache_volume"] = -1;
        nvc["state"] = 0;
        return 0;
    default:
        return kInvalidParameter;
    }
}

uint32_t CacheDiskAction(json& raid, size_t diskIndex) {
    json& disk = raid["disks"][diskIndex];
    const auto mode = static_cast<uint32_t>(Num(disk, "action_arg", 0));
    json& nvc = NvCache(raid);
    if (!KnownMode(mode) || (mode != 0 && !HasCacheVolume(nvc)))
        return kInvalidParameter;
    disk["cache_mode"] = mode;
    const int32_t array = ArrayOfDisk(raid, diskIndex);
    if (array < 0)
        return 0;
    const json& volumes = Table(raid, "volumes");
    for (size_t v = 0; v < volumes.size(); ++v)
        if (Num(volumes[v], "array", -1) == array) {
            if (mode == 0) {
                Release(nvc);
            } else {
                nvc["accelerated_volume"] = static_cast<int64_t>(v);
                nvc["mode"] = mode;
            }
            break;
        }
    return 0;
}

} // namespace sim::driver
