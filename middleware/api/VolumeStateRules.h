#pragma once
// How a volume's driver records become the RAID level code and the state of its exported record:
// the level table, the state map with its lock override and the state machine of recovery volumes.
// Pure functions over record values, so the rules can be read and checked apart from any session.
#include <cstdint>

namespace volume_rules {

// Flag-word bits of the volume record.
constexpr uint32_t kFlagNotInitialized = 1u << 8;
constexpr uint32_t kFlagRecoveryMode2 = 1u << 10;
constexpr uint32_t kFlagRecoveryMode1 = 1u << 11;
constexpr uint32_t kFlagLocked = 1u << 13;
constexpr uint32_t kFlag15 = 1u << 15;

struct RaidLevel {
    uint32_t code = 0;
    // 1 or 2 for a recovery volume, else 0.
    uint32_t recoveryUpdateMode = 0;
};

// rawLevel: the record's level word; domains: its word at 80; disks: its disk count.
RaidLevel ComputeRaidLevel(uint32_t rawLevel, uint32_t domains, uint32_t disks, uint32_t flags,
                           bool pairingVolume);

// The state from the driver's raw map state; the lock bit makes any of them 9 (locked).
uint32_t BaseVolumeState(uint32_t rawState, uint32_t flags);

// The sync code of a recovery volume from the record's bytes 112 and 113.
uint32_t RecoverySyncCode(uint8_t syncByte, uint8_t syncModeByte);

// The state of a recovery volume: mode its update mode, state the state so far, sync the sync code,
// master and recovery the end-device states of the two members (locked already counted as missing).
uint32_t RecoveryVolumeState(uint32_t mode, uint32_t state, uint32_t sync, uint32_t master,
                             uint32_t recovery);

// The exported cache policy from the device configuration's policy word (bits 0 to 8).
uint32_t CachePolicyFromConfig(uint32_t word);

} // namespace volume_rules
