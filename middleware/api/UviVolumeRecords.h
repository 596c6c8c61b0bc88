#pragma once
// The volume record of the exported interface and the volume queries.
#include <stddef.h>
#include <stdint.h>

#include "middleware/core/Export.h"
#include "middleware/core/UviError.h"

#ifndef __cplusplus
#include <assert.h>
#include <stdbool.h>
typedef struct _UVI_VolumeInfo _UVI_VolumeInfo;
#endif

// Volume states (state), each named as the command line shows it.
enum _UVI_VolumeState {
    UVI_VOLUME_STATE_UNKNOWN = 0,
    UVI_VOLUME_STATE_NORMAL = 1,
    UVI_VOLUME_STATE_DEGRADED = 2,
    UVI_VOLUME_STATE_FAILED = 3,
    UVI_VOLUME_STATE_INITIALIZING = 4,
    UVI_VOLUME_STATE_REBUILDING = 5,
    UVI_VOLUME_STATE_VERIFYING = 6,
    UVI_VOLUME_STATE_VERIFYING_AND_FIX = 7,
    UVI_VOLUME_STATE_GENERAL_MIGRATION = 8,
    UVI_VOLUME_STATE_LOCKED = 9,
    UVI_VOLUME_STATE_UNINITIALIZED = 10,
    UVI_VOLUME_STATE_UNKNOWN_MAP_STATE = 11,
    UVI_VOLUME_STATE_STATE_CHANGING = 12,
    UVI_VOLUME_STATE_DISK_REPLACE = 13,
    UVI_VOLUME_STATE_UNKNOWN_MIGR_TYPE = 14,
    UVI_VOLUME_STATE_BROKEN_CLONE = 15,
    UVI_VOLUME_STATE_NON_REDUNDANT_VOLUME_FAILED_DISK = 16,
    UVI_VOLUME_STATE_MANUAL_NORMAL = 17,
    UVI_VOLUME_STATE_MANUAL_RECOVERY_NOT_PRESENT = 18,
    UVI_VOLUME_STATE_MANUAL_RECOVERY_FAILED = 19,
    UVI_VOLUME_STATE_MANUAL_SYNCING = 20,
    UVI_VOLUME_STATE_MANUAL_NO_BACKUP = 21,
    UVI_VOLUME_STATE_MANUAL_RECOVERY_NOT_PRESENT_NO_BACKUP = 22,
    UVI_VOLUME_STATE_MANUAL_RECOVERY_MOUNTED = 23,
    UVI_VOLUME_STATE_MANUAL_RECOVERY_IN_USE = 24,
    UVI_VOLUME_STATE_MANUAL_RECOVERY_IN_USE_MASTER_NOT_PRESENT = 25,
    UVI_VOLUME_STATE_MANUAL_RECOVERY_IN_USE_MASTER_FAILED = 26,
    UVI_VOLUME_STATE_MANUAL_RECOVERY_IN_USE_NO_BACKUP = 27,
    UVI_VOLUME_STATE_MANUAL_RECOVERY_IN_USE_MASTER_NOT_PRESENT_NO_BACKUP = 28,
    UVI_VOLUME_STATE_MANUAL_RECOVERY_IN_USE_MASTER_MOUNTED = 29,
    UVI_VOLUME_STATE_MANUAL_REVERSE_SYNCING = 30,
    UVI_VOLUME_STATE_DC_POWER_SAVE = 31,
    UVI_VOLUME_STATE_RECOVERY_NOT_PRESENT = 32,
    UVI_VOLUME_STATE_RECOVERY_FAILED = 33,
    UVI_VOLUME_STATE_RECOVERY_IN_USE = 34,
    UVI_VOLUME_STATE_SYNCING = 35,
    UVI_VOLUME_STATE_SYNC_PAUSED_DC_POWER_SAVE = 36,
    UVI_VOLUME_STATE_RECOVERY_NOT_PRESENT_NO_BACKUP = 37,
    UVI_VOLUME_STATE_RECOVERY_IN_USE_MASTER_NOT_PRESENT = 38,
    UVI_VOLUME_STATE_RECOVERY_IN_USE_MASTER_FAILED = 39,
    UVI_VOLUME_STATE_REVERSE_SYNCING = 40,
    UVI_VOLUME_STATE_RECOVERY_IN_USE_DC_POWER_SAVE = 41,
    UVI_VOLUME_STATE_RECOVERY_IN_USE_MASTER_NOT_PRESENT_NO_BACKUP = 42,
};

// RAID level codes, one bit each.
enum {
    UVI_RAID_LEVEL_0 = 0x1,
    UVI_RAID_LEVEL_1 = 0x2,
    UVI_RAID_LEVEL_10 = 0x4,
    UVI_RAID_LEVEL_5 = 0x8,
    UVI_RAID_LEVEL_6 = 0x10,
    UVI_RAID_LEVEL_PAIRING = 0x20,
    UVI_RAID_LEVEL_RECOVERY = 0x1000,
    UVI_RAID_LEVEL_1E = 0x2000,
    UVI_RAID_LEVEL_3 = 0x4000,
    UVI_RAID_LEVEL_30 = 0x8000,
    UVI_RAID_LEVEL_50 = 0x10000,
    UVI_RAID_LEVEL_60 = 0x20000,
    UVI_RAID_LEVEL_0_SINGLE = 0x40000,
};

// One RAID volume, zero-filled before it is written.
struct _UVI_VolumeInfo {
    uint32_t handle;
    uint32_t arrayHandle;
    uint32_t arrayIndex;
    char name[17];
    uint8_t reserved29[3];
    // 0 to 42; 1 normal.
    uint32_t state;
    uint32_t reserved36;
    uint64_t sizeInBytes;
    // 1 is a 2 KB strip; each step up doubles it.
    uint32_t stripSizeCode;
    uint32_t numDisks;
    // The migration progress on a 32-bit scale.
    uint32_t migrationProgressScaled;
    // 1 off, 2 write-through, 3 write-back, 4 read; 0 for a setting the driver does not define.
    uint32_t cachePolicy;
    uint8_t systemVolume;
    uint8_t flag65;
    uint8_t initialized;
    uint8_t reserved67;
    uint32_t word68;
    uint32_t word72;
    uint32_t word76;
    uint32_t word80;
    uint32_t raidLevel;
    uint32_t controllerHandle;
    // 1 or 2 for a recovery volume, else 0.
    uint32_t recoveryUpdateMode;
    uint32_t recoverySync;
    uint8_t isBlockCacheVolume;
    uint8_t isAcceleratedVolume;
    uint8_t isPairingVolume;
    // Another volume of the same array is the block-cache volume.
    uint8_t arrayHasBlockCacheVolume;
    // The RAID level is among the controller's supported levels.
    uint8_t raidLevelSupported;
    uint8_t flag105;
    uint8_t reserved106[2];
    // The N of "\\.\PhysicalDrive" N; 0xFFFFFFFF without a Windows disk.
    uint32_t deviceNumber;
    uint32_t deviceType;
    // 0 not read, 1 not power-protected, 2 power-protected.
    uint32_t windowsCacheSetting;
    // 0 not read, 1 seek penalty, 2 none.
    uint32_t seekPenalty;
    // 0 not read, 1 enabled, 2 disabled.
    uint32_t windowsWriteCache;
    uint8_t hasPartitions;
    uint8_t reserved129[3];
    uint32_t configByte1;
    uint8_t flag136;
    uint8_t reserved137[3];
    // The driver's progress on the scale UviGetVolumeMigrationRange returns.
    uint32_t migrationProgress;
    uint32_t word144;
    uint32_t word148;
    // Recovery volumes: the name of the array disk record of the recovery member.
    char recoveryDiskName[17];
    uint8_t reserved169[7];
};
static_assert(sizeof(_UVI_VolumeInfo) == 176, "record layout");
static_assert(offsetof(_UVI_VolumeInfo, handle) == 0, "record layout");
static_assert(offsetof(_UVI_VolumeInfo, arrayHandle) == 4, "record layout");
static_assert(offsetof(_UVI_VolumeInfo, arrayIndex) == 8, "record layout");
static_assert(offsetof(_UVI_VolumeInfo, name) == 12, "record layout");
static_assert(offsetof(_UVI_VolumeInfo, state) == 32, "record layout");
static_assert(offsetof(_UVI_VolumeInfo, sizeInBytes) == 40, "record layout");
static_assert(offsetof(_UVI_VolumeInfo, stripSizeCode) == 48, "record layout");
static_assert(offsetof(_UVI_VolumeInfo, numDisks) == 52, "record layout");
static_assert(offsetof(_UVI_VolumeInfo, migrationProgressScaled) == 56, "record layout");
static_assert(offsetof(_UVI_VolumeInfo, cachePolicy) == 60, "record layout");
static_assert(offsetof(_UVI_VolumeInfo, systemVolume) == 64, "record layout");
static_assert(offsetof(_UVI_VolumeInfo, flag65) == 65, "record layout");
static_assert(offsetof(_UVI_VolumeInfo, initialized) == 66, "record layout");
static_assert(offsetof(_UVI_VolumeInfo, word68) == 68, "record layout");
static_assert(offsetof(_UVI_VolumeInfo, word72) == 72, "record layout");
static_assert(offsetof(_UVI_VolumeInfo, word76) == 76, "record layout");
static_assert(offsetof(_UVI_VolumeInfo, word80) == 80, "record layout");
static_assert(offsetof(_UVI_VolumeInfo, raidLevel) == 84, "record layout");
static_assert(offsetof(_UVI_VolumeInfo, controllerHandle) == 88, "record layout");
static_assert(offsetof(_UVI_VolumeInfo, recoveryUpdateMode) == 92, "record layout");
static_assert(offsetof(_UVI_VolumeInfo, recoverySync) == 96, "record layout");
static_assert(offsetof(_UVI_VolumeInfo, isBlockCacheVolume) == 100, "record layout");
static_assert(offsetof(_UVI_VolumeInfo, isAcceleratedVolume) == 101, "record layout");
static_assert(offsetof(_UVI_VolumeInfo, isPairingVolume) == 102, "record layout");
static_assert(offsetof(_UVI_VolumeInfo, arrayHasBlockCacheVolume) == 103, "record layout");
static_assert(offsetof(_UVI_VolumeInfo, raidLevelSupported) == 104, "record layout");
static_assert(offsetof(_UVI_VolumeInfo, flag105) == 105, "record layout");
static_assert(offsetof(_UVI_VolumeInfo, deviceNumber) == 108, "record layout");
static_assert(offsetof(_UVI_VolumeInfo, deviceType) == 112, "record layout");
static_assert(offsetof(_UVI_VolumeInfo, windowsCacheSetting) == 116, "record layout");
static_assert(offsetof(_UVI_VolumeInfo, seekPenalty) == 120, "record layout");
static_assert(offsetof(_UVI_VolumeInfo, windowsWriteCache) == 124, "record layout");
static_assert(offsetof(_UVI_VolumeInfo, hasPartitions) == 128, "record layout");
static_assert(offsetof(_UVI_VolumeInfo, configByte1) == 132, "record layout");
static_assert(offsetof(_UVI_VolumeInfo, flag136) == 136, "record layout");
static_assert(offsetof(_UVI_VolumeInfo, migrationProgress) == 140, "record layout");
static_assert(offsetof(_UVI_VolumeInfo, word144) == 144, "record layout");
static_assert(offsetof(_UVI_VolumeInfo, word148) == 148, "record layout");
static_assert(offsetof(_UVI_VolumeInfo, recoveryDiskName) == 152, "record layout");

#ifdef __cplusplus
extern "C" {
#endif
// Volumes of every own-driver controller, except those the cache acceleration keeps hidden.
MOX_EXPORT _UVI_Error UviGetVolumeHandles(unsigned int session, unsigned int* handleList,
                                          unsigned int* handleCount);
// One volume record; a normal write-back volume whose disk cache is not power-protected gets its
// cache policy switched off, and the answer is that change's result.
MOX_EXPORT _UVI_Error UviGetVolumeInfo(unsigned int session, unsigned int volumeHandle,
                                       _UVI_VolumeInfo* info);
// Records by RAID configuration index of one controller (0: all); succeeds only when the count equals
// the number of volumes.
MOX_EXPORT _UVI_Error UviGetIxoVolumes(unsigned int session, unsigned int controllerHandle,
                                       _UVI_VolumeInfo* records, unsigned int* recordCount);
// The full scale of the migration progress (10000); needs no initialisation.
MOX_EXPORT int UviGetVolumeMigrationRange(void);
#ifdef __cplusplus
}
#endif
