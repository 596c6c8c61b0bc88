#pragma once
// The RAID limit and RAID level records of the C interface. Plain little-endian records; bytes
// without a field name are reserved and read 0.
#include <stddef.h>
#include <stdint.h>

#ifndef __cplusplus
#include <assert.h>
typedef struct _UVI_RaidInfo _UVI_RaidInfo;
typedef struct _UVI_RaidLevelInfo _UVI_RaidLevelInfo;
#endif

// One controller's RAID limits, named by its RAID information handle.
struct _UVI_RaidInfo {
    uint32_t raidInfoHandle;
    uint32_t maxDisksPerArray;
    uint32_t maxDisksTotal;
    uint32_t maxVolumesPerArray;
    uint32_t maxVolumesPerController;
    // 1 when the limits were filled; 0 without a dictionary or on an NVMe controller.
    uint8_t raidSupported;
    uint8_t byte21;
    uint8_t byte22;
    uint8_t byte23;
    uint32_t reserved24;
};
static_assert(sizeof(_UVI_RaidInfo) == 28, "record layout");
static_assert(offsetof(_UVI_RaidInfo, maxDisksPerArray) == 4, "record layout");
static_assert(offsetof(_UVI_RaidInfo, maxDisksTotal) == 8, "record layout");
static_assert(offsetof(_UVI_RaidInfo, maxVolumesPerArray) == 12, "record layout");
static_assert(offsetof(_UVI_RaidInfo, maxVolumesPerController) == 16, "record layout");
static_assert(offsetof(_UVI_RaidInfo, raidSupported) == 20, "record layout");
static_assert(offsetof(_UVI_RaidInfo, byte21) == 21, "record layout");
static_assert(offsetof(_UVI_RaidInfo, byte22) == 22, "record layout");
static_assert(offsetof(_UVI_RaidInfo, byte23) == 23, "record layout");
static_assert(offsetof(_UVI_RaidInfo, reserved24) == 24, "record layout");

// What one RAID level allows on one controller.
struct _UVI_RaidLevelInfo {
    uint32_t supported;
    uint32_t minDisks;
    uint32_t maxDisks;
    uint32_t reserved12[8];
    // Level codes a volume of this level can migrate to.
    uint32_t migrationMask;
    uint32_t secondMask;
    uint8_t flag0;
    uint8_t flag1;
    uint8_t reserved54[2];
    // Bit n: a strip of 2^(n+1) KB.
    uint32_t stripMask;
    // Strip sizes in KB; position k stands for a volume of k + 1 member disks.
    uint32_t stripValues1[6];
    uint32_t stripValues2[6];
    // 1 for the redundant levels.
    uint8_t redundantFlag;
    uint8_t reserved109[3];
    uint32_t copies;
    // 0 none, 1 mirroring, 2 parity.
    uint32_t redundancy;
};
static_assert(sizeof(_UVI_RaidLevelInfo) == 120, "record layout");
static_assert(offsetof(_UVI_RaidLevelInfo, minDisks) == 4, "record layout");
static_assert(offsetof(_UVI_RaidLevelInfo, maxDisks) == 8, "record layout");
static_assert(offsetof(_UVI_RaidLevelInfo, migrationMask) == 44, "record layout");
static_assert(offsetof(_UVI_RaidLevelInfo, secondMask) == 48, "record layout");
static_assert(offsetof(_UVI_RaidLevelInfo, flag0) == 52, "record layout");
static_assert(offsetof(_UVI_RaidLevelInfo, flag1) == 53, "record layout");
static_assert(offsetof(_UVI_RaidLevelInfo, stripMask) == 56, "record layout");
static_assert(offsetof(_UVI_RaidLevelInfo, stripValues1) == 60, "record layout");
static_assert(offsetof(_UVI_RaidLevelInfo, stripValues2) == 84, "record layout");
static_assert(offsetof(_UVI_RaidLevelInfo, redundantFlag) == 108, "record layout");
static_assert(offsetof(_UVI_RaidLevelInfo, copies) == 112, "record layout");
static_assert(offsetof(_UVI_RaidLevelInfo, redundancy) == 116, "record layout");
