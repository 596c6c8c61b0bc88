#include "sim/driver/CacheActions.h"

#include <algorithm>

namespace sim::driver {
namespace {

constexpr uint32_t kInvalidParameter = 42;
constexpr int64_t kOff = 0;
// What a flushing step reports as its total amount; "left" counts down from it.
constexpr uint32_t kFlushTotal = 1000;

bool KnownMode(uint32_t mode) {
    return mode == 0 || mode == 3 || mode == 5;
}

json& NvCache(json& raid) {
    json& nvc = raid["nv_cache"];
    if (!nvc.is_object())
        nvc = json::object();
    return nvc;
}

const json* NvCacheOf(const json& raid) {
    auto it = raid.find("nv_cache");
    return it != raid.end() && it->is_object() ? &*it : nullptr;
}

bool HasCacheVolume(const json& nvc) {
    return Num(nvc, "cache_volume", -1) >= 0;
}

// Ends the acceleration: no accelerated volume, mode off.
void Release(json& nvc) {
    nvc["accelerated_volume"] = -1;
    nvc["mode"] = kOff;
    nvc.erase("transition");
}

// The step the driver rests on between two modes; -1 when it goes straight there.
int64_t StepBetween(int64_t from, int64_t to) {
    if (from == 0 && to == 3)
        return 1;
    if (from == 0 && to == 5)
        return 2;
    if (from == 3 && to == 5)
        return 4;
    if (from == 5 && to == 3)
        return 6;
    if ((from == 3 || from == 5) && to == 0)
        return 7;
    return -1;
}

// Starts a change to a known mode. Returns true when it is carried out at once.
bool ChangeMode(json& nvc, int64_t target, uint64_t now) {
    const int64_t step = StepBetween(Num(nvc, "mode", 0), target);
    nvc.erase("transition");
    if (Num(nvc, "transition_ms", 0) <= 0 || step < 0) {
        nvc["mode"] = target;
        return true;
    }
    nvc["mode"] = step;
    nvc["transition"] = {{"to", target}, {"start_ms", now}};
    return false;
}

void SwitchOff(json& nvc, uint64_t now) {
    if (ChangeMode(nvc, kOff, now))
        Release(nvc);
}

void Accelerate(json& nvc, int64_t volumeIndex, uint32_t mode, uint64_t now) {
    if (mode == kOff) {
        SwitchOff(nvc, now);
        return;
    }
    nvc["accelerated_volume"] = volumeIndex;
    ChangeMode(nvc, mode, now);
}

uint64_t TransitionStart(const json& nvc) {
    return static_cast<uint64_t>(Num(nvc.at("transition"), "start_ms", 0));
}

} // namespace

uint32_t CacheVolumeAction(json& raid, size_t volumeIndex, uint32_t action, uint32_t deviceAction,
                           uint64_t now) {
    json& nvc = NvCache(raid);
    const auto index = static_cast<int64_t>(volumeIndex);
    switch (action) {
    case 15:
        if (!KnownMode(deviceAction) || (deviceAction != 0 && !HasCacheVolume(nvc)))
            return kInvalidParameter;
        Accelerate(nvc, index, deviceAction, now);
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

uint32_t CacheDiskAction(json& raid, size_t diskIndex, uint64_t now) {
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
            Accelerate(nvc, static_cast<int64_t>(v), mode, now);
            break;
        }
    return 0;
}

void CacheVolumeRemoved(json& raid, size_t volumeIndex) {
    auto it = raid.find("nv_cache");
    if (it == raid.end() || !it->is_object())
        return;
    json& nvc = *it;
    const auto index = static_cast<int64_t>(volumeIndex);
    if (Num(nvc, "accelerated_volume", -1) == index)
        Release(nvc);
    for (const char* key : {"cache_volume", "accelerated_volume"}) {
        const int64_t at = Num(nvc, key, -1);
        if (at == index)
            nvc[key] = -1;
        else if (at > index)
            nvc[key] = at - 1;
    }
}

void CacheVolumeCreated(json& raid, size_t volumeIndex, uint64_t sizeMb) {
    json& nvc = NvCache(raid);
    nvc["cache_volume"] = static_cast<int64_t>(volumeIndex);
    nvc["size_mb"] = sizeMb;
}

bool CacheModeChangeDue(const json& raid, uint64_t now) {
    const json* nvc = NvCacheOf(raid);
    if (!nvc || !nvc->contains("transition"))
        return false;
    if (nvc->contains("hold") && Num(*nvc, "hold", -1) == Num(*nvc, "mode", 0))
        return false;
    return now >= TransitionStart(*nvc) + static_cast<uint64_t>(Num(*nvc, "transition_ms", 0));
}

void FinishCacheModeChange(json& raid) {
    json& nvc = NvCache(raid);
    const int64_t target = Num(nvc.at("transition"), "to", 0);
    const bool held = nvc.contains("hold") && Num(nvc, "hold", -1) == target;
    nvc.erase("transition");
    if (target == kOff && !held)
        Release(nvc);
    else
        nvc["mode"] = target;
}

bool CacheFlushProgress(const json& raid, uint64_t now, uint32_t& left, uint32_t& total) {
    const json* nvc = NvCacheOf(raid);
    if (!nvc || !nvc->contains("transition"))
        return false;
    const int64_t mode = Num(*nvc, "mode", 0);
    if (mode != 6 && mode != 7)
        return false;
    const auto duration = static_cast<uint64_t>(Num(*nvc, "transition_ms", 0));
    const uint64_t start = TransitionStart(*nvc);
    const uint64_t elapsed = std::min(now > start ? now - start : 0, duration);
    total = kFlushTotal;
    left = duration == 0 ? 0 : static_cast<uint32_t>(kFlushTotal - elapsed * kFlushTotal / duration);
    return true;
}

} // namespace sim::driver
