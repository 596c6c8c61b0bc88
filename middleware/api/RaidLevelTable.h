#pragma once
// The RAID levels the library knows: one constant row per level code of the C interface, read by
// the RAID level query, the volume creation (the driver's level number, the domain count) and the
// migration checks.
#include <cstddef>
#include <cstdint>

struct RaidLevelRow {
    // Level code of the C interface (0x1 RAID 0, 0x2 RAID 1, 0x4 RAID 10, 0x8 RAID 5, 0x20
    // cache-memory pair volume, 0x1000 recovery volume, 0x40000 single-disk RAID 0).
    uint32_t level;
    // The RaidLevel written into a new volume.
    uint32_t driverLevel;
    // Strip sizes in KB by number of member disks (position k: k + 1 disks), copied to clients.
    uint32_t stripValues1[6];
    uint32_t stripValues2[6];
    // NumDomainsOrMirrors of a new volume; the copies clients are told.
    uint32_t domainsOrMirrors;
    uint32_t minDisks;
    uint32_t maxDisks;
    // 0 striping, 1 mirroring, 2 parity.
    uint32_t levelClass;
    // Levels a volume of this level can migrate to when disks are added.
    uint32_t migrationMask;
    uint32_t secondMask;
    // Bit n: a strip of 2^(n+1) KB.
    uint32_t stripMask;
    uint8_t evenDiskCount;
    uint8_t zeroFlag;
    uint8_t redundant;
    uint8_t unused;
};
static_assert(sizeof(RaidLevelRow) == 88);
static_assert(offsetof(RaidLevelRow, stripValues1) == 8);
static_assert(offsetof(RaidLevelRow, stripValues2) == 32);
static_assert(offsetof(RaidLevelRow, domainsOrMirrors) == 56);
static_assert(offsetof(RaidLevelRow, migrationMask) == 72);
static_assert(offsetof(RaidLevelRow, stripMask) == 80);
static_assert(offsetof(RaidLevelRow, evenDiskCount) == 84);

inline constexpr size_t kRaidLevelRowCount = 7;
extern const RaidLevelRow RaidLevelTable[kRaidLevelRowCount];

// The row of exactly this level code; null when the table has none.
const RaidLevelRow* GetRaidLevelDescriptor(uint32_t level);
// The same lookup under the name the volume operations use.
inline const RaidLevelRow* findRaidLevelRow(uint32_t level) {
    return GetRaidLevelDescriptor(level);
}

// Disks a volume of the current level class with `currentDisks` members needs added to reach the
// target class; -1 when that migration is not possible (compared unsigned, it is never enough).
int MinDisksToAddForMigration(uint32_t currentClass, uint32_t currentDisks, uint32_t targetClass);

// Usable bytes of a volume of the level over `disks` members of `sizePerDisk` bytes; 0 for a level
// the table cannot size.
uint64_t VolumeCapacityForLevel(uint32_t level, uint32_t disks, uint64_t sizePerDisk);
