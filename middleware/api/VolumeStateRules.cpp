#include "middleware/api/VolumeStateRules.h"

#include <initializer_list>
#include <iterator>

#include "middleware/api/UviEndDeviceRecords.h"
#include "middleware/api/UviVolumeRecords.h"

namespace volume_rules {

namespace {

// Member disk states.
bool Usable(uint32_t state) {
    return state == UVI_DISK_STATE_SMART_EVENT || state == UVI_DISK_STATE_NORMAL;
}
bool Offline(uint32_t state) {
    return state == UVI_DISK_STATE_OFFLINE || state == UVI_DISK_STATE_OFFLINE_BY_REQUEST;
}
constexpr uint32_t kMissing = UVI_DISK_STATE_MISSING;
constexpr uint32_t kFailed = UVI_DISK_STATE_FAILED;

bool In(uint32_t value, std::initializer_list<uint32_t> values) {
    for (uint32_t v : values)
        if (v == value)
            return true;
    return false;
}

// The states a degraded-by-copy recovery volume (T = 15) takes from its recovery member; 0 when none
// applies. first: the states for (offline, offline syncing-paused, missing, missing paused, failed,
// syncing).
uint32_t FromRecoveryMember(uint32_t sync, uint32_t recovery, const uint32_t (&states)[6]) {
    if (Offline(recovery) && In(sync, {0, 6}))
        return states[0];
    if (Offline(recovery) && sync == 4)
        return states[1];
    if (recovery == kMissing && In(sync, {0, 6}))
        return states[2];
    if (recovery == kMissing && sync == 4)
        return states[3];
    if (recovery == kFailed && In(sync, {0, 4, 6}))
        return states[4];
    if (Usable(recovery) && In(sync, {1, 5}))
        return states[5];
    return 0;
}

uint32_t Mode2(uint32_t t, uint32_t s, uint32_t m, uint32_t r) {
    if (Usable(m) && Usable(r) && t == 1 && s == 0)
        return 1;
    if (Usable(m) && t == 15)
        if (uint32_t state = FromRecoveryMember(s, r, {31, 36, 32, 37, 33, 35}))
            return state;
    if (Offline(m) && Usable(r) && t == 2 && s == 0)
        return 34;
    if (m == kMissing) {
        if (Usable(r) && t == 2 && s == 0)
            return 38;
        if (Usable(r) && t == 2 && s == 4)
            return 42;
        return t;
    }
    if (m == kFailed)
        return Usable(r) && t == 2 && In(s, {0, 4}) ? 39 : t;
    if (Usable(m) && Usable(r) && t == 2 && s == 2)
        return 40;
    if (Offline(m) && Usable(r) && t == 2 && s == 4)
        return 41;
    if (!Usable(m))
        return t;
    if (Usable(r) && In(t, {5, 8})) {
        if (s == 2)
            return 40;
        if (In(s, {1, 5}))
            return 35;
    }
    return t;
}

uint32_t Mode1(uint32_t t, uint32_t s, uint32_t m, uint32_t r) {
    if (Usable(m) && t == 15) {
        if (uint32_t state = FromRecoveryMember(s, r, {17, 21, 18, 22, 19, 20}))
            return state;
        if (s == 3)
            return 23;
    }
    if (Offline(m) && Usable(r) && t == 2 && s == 0)
        return 24;
    if (m == kMissing || m == kFailed) {
        if (!Usable(r))
            return t;
        if (m == kMissing && t == 2 && s == 0)
            return 25;
        if (m == kMissing && t == 2 && s == 4)
            return 28;
        if (m == kFailed && t == 2 && In(s, {0, 4}))
            return 26;
        return r == UVI_DISK_STATE_NORMAL && t == 2 && s == 3 ? 29 : t;
    }
    if (Usable(m) && Usable(r) && t == 2 && s == 2)
        return 30;
    if (Offline(m) && Usable(r) && t == 2 && s == 4)
        return 27;
    if ((r == UVI_DISK_STATE_NORMAL || m == UVI_DISK_STATE_SMART_EVENT) && t == 2 && s == 3)
        return 29;
    if (!Usable(m))
        return t;
    if (Usable(r) && In(t, {5, 8})) {
        if (s == 2)
            return 30;
        if (In(s, {1, 5}))
            return 20;
    }
    return t;
}

} // namespace

RaidLevel ComputeRaidLevel(uint32_t rawLevel, uint32_t domains, uint32_t disks, uint32_t flags,
                           bool pairingVolume) {
    switch (rawLevel) {
    case 0:
        if (pairingVolume)
            return {UVI_RAID_LEVEL_PAIRING, 0};
        if (domains == 1 && disks >= 2)
            return {UVI_RAID_LEVEL_0, 0};
        if (disks == 1)
            return {UVI_RAID_LEVEL_0_SINGLE, 0};
        return {};
    case 1:
        if (domains != 2)
            return {};
        if (disks >= 4 && disks % 2 == 0)
            return {UVI_RAID_LEVEL_10, 0};
        if (disks >= 3 && disks % 2 == 1)
            return {UVI_RAID_LEVEL_1E, 0};
        if (disks == 2) {
            if (flags & kFlagRecoveryMode1)
                return {UVI_RAID_LEVEL_RECOVERY, 1};
            if (flags & kFlagRecoveryMode2)
                return {UVI_RAID_LEVEL_RECOVERY, 2};
            return {UVI_RAID_LEVEL_1, 0};
        }
        return {};
    case 5:
        if (domains == 1 && disks >= 3)
            return {UVI_RAID_LEVEL_5, 0};
        if (domains >= 2 && disks >= 6)
            return {UVI_RAID_LEVEL_50, 0};
        return {};
    case 6:
        if (domains == 1 && disks >= 4)
            return {UVI_RAID_LEVEL_6, 0};
        if (domains >= 2 && disks >= 8)
            return {UVI_RAID_LEVEL_60, 0};
        return {};
    case 3:
        if (domains == 1 && disks >= 3)
            return {UVI_RAID_LEVEL_3, 0};
        if (domains >= 2 && disks >= 6)
            return {UVI_RAID_LEVEL_30, 0};
        return {};
    default:
        return {};
    }
}

uint32_t BaseVolumeState(uint32_t rawState, uint32_t flags) {
    static constexpr uint32_t kMap[] = {1, 10, 2, 3, 11, 4, 5, 6, 8, 12, 7, 13, 14};
    if (flags & kFlagLocked)
        return 9;
    return rawState < std::size(kMap) ? kMap[rawState] : 0;
}

uint32_t RecoverySyncCode(uint8_t syncByte, uint8_t syncModeByte) {
    switch (syncByte) {
    case 0:
        return 0;
    case 1:
        return syncModeByte == 2 ? 2 : 1;
    case 2:
        return 3;
    case 3:
        return 4;
    case 4:
        return 5;
    case 5:
        return 6;
    default:
        return 7;
    }
}

uint32_t RecoveryVolumeState(uint32_t mode, uint32_t state, uint32_t sync, uint32_t master,
                             uint32_t recovery) {
    if (mode == 2)
        return Mode2(state, sync, master, recovery);
    if (mode == 1)
        return Mode1(state, sync, master, recovery);
    return state;
}

uint32_t CachePolicyFromConfig(uint32_t word) {
    switch (word & 0x1FF) {
    case 0:
        return 1;
    case 0x100:
        return 4;
    case 0x101:
        return 3;
    case 0x102:
    case 0x103:
        return 2;
    default:
        return 0;
    }
}

} // namespace volume_rules
