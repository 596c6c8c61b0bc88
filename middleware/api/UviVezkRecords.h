#pragma once
// The cache-memory pairing records of the exported interface, their status enumerations with texts,
// and the pairing queries.
#include <stddef.h>
#include <stdint.h>

#include "middleware/core/Export.h"
#include "middleware/core/UviError.h"

#ifndef __cplusplus
#include <assert.h>
#include <stdbool.h>
typedef struct _UVI_VezkInfo _UVI_VezkInfo;
typedef struct _UVI_HalvexOptimizationInfo _UVI_HalvexOptimizationInfo;
typedef struct _UVI_VolportPerformanceCounters _UVI_VolportPerformanceCounters;
typedef struct _UVI_VezkDiskPairInfo _UVI_VezkDiskPairInfo;
typedef enum _UVI_VezkDiskPairStatus _UVI_VezkDiskPairStatus;
typedef enum _UVI_VezkDiskValidForConcatenationStatus _UVI_VezkDiskValidForConcatenationStatus;
typedef enum _UVI_VezkFileCacheMode _UVI_VezkFileCacheMode;
typedef enum _UVI_VezkDiskConcatenationMember _UVI_VezkDiskConcatenationMember;
#endif

enum _UVI_VezkDiskPairStatus {
    UVI_VEZK_DISK_PAIR_VALID = 0,
    UVI_VEZK_DISK_PAIR_SAME_DISK = 1,
    UVI_VEZK_DISK_PAIR_FAST_NOT_SUPPORTED = 2,
    UVI_VEZK_DISK_PAIR_SLOW_NOT_SUPPORTED = 3,
    UVI_VEZK_DISK_PAIR_FAST_TOO_BIG = 4,
    UVI_VEZK_DISK_PAIR_INTERNAL_ERROR = 5,
    UVI_VEZK_DISK_PAIR_VOLUME_NOT_EXIST = 6,
    UVI_VEZK_DISK_PAIR_SYSTEM_COMPONENTS = 7,
    UVI_VEZK_DISK_PAIR_DYNAMIC_DISK = 8,
    UVI_VEZK_DISK_PAIR_UNKNOWN = 9,
};
static_assert(sizeof(_UVI_VezkDiskPairStatus) == 4, "record layout");

enum _UVI_VezkDiskValidForConcatenationStatus {
    UVI_VEZK_DISK_VALID = 0,
    UVI_VEZK_DISK_INTERNAL_ERROR = 1,
    UVI_VEZK_DISK_VOLUME_NOT_EXIST = 2,
    UVI_VEZK_DISK_IS_NOT_DISK = 3,
    UVI_VEZK_DISK_INCORRECT_BLOCK_SIZE = 4,
    UVI_VEZK_DISK_TOO_SMALL = 5,
    UVI_VEZK_DISK_INCORRECT_DISK_TYPE = 6,
    UVI_VEZK_DISK_INCORRECT_PARTITION_TYPE = 7,
};
static_assert(sizeof(_UVI_VezkDiskValidForConcatenationStatus) == 4, "record layout");

enum _UVI_VezkFileCacheMode {
    UVI_VEZK_FILE_CACHE_MODE_0 = 0,
    UVI_VEZK_FILE_CACHE_MODE_1 = 1,
    UVI_VEZK_FILE_CACHE_MODE_2 = 2,
};
static_assert(sizeof(_UVI_VezkFileCacheMode) == 4, "record layout");

// The role a drive is checked for in a pairing.
enum _UVI_VezkDiskConcatenationMember {
    UVI_VEZK_MEMBER_FAST = 0,
    UVI_VEZK_MEMBER_SLOW = 1,
};
static_assert(sizeof(_UVI_VezkDiskConcatenationMember) == 4, "record layout");

// One controller's cache-memory pairing; progress values are 0 to 100, -1 unknown.
struct _UVI_VezkInfo {
    uint32_t controllerHandle;
    int32_t overallMigrationProgress;
    int32_t blockMigrationProgress;
    int32_t bootMigrationProgress;
    int32_t cacheRemainingPercent;
    uint32_t reserved20;
    uint64_t valueA;
    uint64_t valueB;
    uint64_t valueAPlusC;
    uint64_t valueDTimesC;
    uint64_t cacheSize;
    uint32_t blockCacheUsedPercent;
    uint32_t pairingVolumeHandle;
    uint32_t fastDiskHandle;
    uint32_t slowDiskHandle;
    uint32_t reserved80;
    uint32_t pairType;
    uint32_t value4C;
    // 0 unknown, 1 creating, 2 separating, 3 no migration.
    uint32_t migrationType;
    // 1 normal, 2 rebuild, 3 migrating, 4 SMART event on the slow drive, 5 on the fast drive.
    uint32_t pairingState;
    uint32_t halvexStatus;
    uint32_t optimizationState;
    uint8_t vezkSupported;
    uint8_t cpuSupported;
    uint8_t pchSupported;
    uint8_t osSupported;
    uint8_t halvexFeatureSupported;
    uint8_t extendedFlag;
    uint8_t value72;
    uint8_t reserved115;
    // Packed SCSI address of the pairing volume; 0xFFFFFFFF without pairing information.
    uint32_t extendedAddress;
    uint8_t efiSystemPartition;
    uint8_t reserved121[3];
    uint32_t value44;
    uint32_t value40;
    // 0 no file cache, 1 with a file cache size, 2 without.
    uint32_t fileCacheState;
};
static_assert(sizeof(_UVI_VezkInfo) == 136, "record layout");
static_assert(offsetof(_UVI_VezkInfo, overallMigrationProgress) == 4, "record layout");
static_assert(offsetof(_UVI_VezkInfo, blockMigrationProgress) == 8, "record layout");
static_assert(offsetof(_UVI_VezkInfo, bootMigrationProgress) == 12, "record layout");
static_assert(offsetof(_UVI_VezkInfo, cacheRemainingPercent) == 16, "record layout");
static_assert(offsetof(_UVI_VezkInfo, valueA) == 24, "record layout");
static_assert(offsetof(_UVI_VezkInfo, valueB) == 32, "record layout");
static_assert(offsetof(_UVI_VezkInfo, valueAPlusC) == 40, "record layout");
static_assert(offsetof(_UVI_VezkInfo, valueDTimesC) == 48, "record layout");
static_assert(offsetof(_UVI_VezkInfo, cacheSize) == 56, "record layout");
static_assert(offsetof(_UVI_VezkInfo, blockCacheUsedPercent) == 64, "record layout");
static_assert(offsetof(_UVI_VezkInfo, pairingVolumeHandle) == 68, "record layout");
static_assert(offsetof(_UVI_VezkInfo, fastDiskHandle) == 72, "record layout");
static_assert(offsetof(_UVI_VezkInfo, slowDiskHandle) == 76, "record layout");
static_assert(offsetof(_UVI_VezkInfo, pairType) == 84, "record layout");
static_assert(offsetof(_UVI_VezkInfo, value4C) == 88, "record layout");
static_assert(offsetof(_UVI_VezkInfo, migrationType) == 92, "record layout");
static_assert(offsetof(_UVI_VezkInfo, pairingState) == 96, "record layout");
static_assert(offsetof(_UVI_VezkInfo, halvexStatus) == 100, "record layout");
static_assert(offsetof(_UVI_VezkInfo, optimizationState) == 104, "record layout");
static_assert(offsetof(_UVI_VezkInfo, vezkSupported) == 108, "record layout");
static_assert(offsetof(_UVI_VezkInfo, cpuSupported) == 109, "record layout");
static_assert(offsetof(_UVI_VezkInfo, pchSupported) == 110, "record layout");
static_assert(offsetof(_UVI_VezkInfo, osSupported) == 111, "record layout");
static_assert(offsetof(_UVI_VezkInfo, halvexFeatureSupported) == 112, "record layout");
static_assert(offsetof(_UVI_VezkInfo, extendedFlag) == 113, "record layout");
static_assert(offsetof(_UVI_VezkInfo, value72) == 114, "record layout");
static_assert(offsetof(_UVI_VezkInfo, extendedAddress) == 116, "record layout");
static_assert(offsetof(_UVI_VezkInfo, efiSystemPartition) == 120, "record layout");
static_assert(offsetof(_UVI_VezkInfo, value44) == 124, "record layout");
static_assert(offsetof(_UVI_VezkInfo, value40) == 128, "record layout");
static_assert(offsetof(_UVI_VezkInfo, fileCacheState) == 132, "record layout");

// The cache service's optimisation schedule, in seconds since 1970 (local time); -1 unknown.
struct _UVI_HalvexOptimizationInfo {
    int64_t lastOptimizationStart;
    int64_t lastOptimizationEnd;
    int64_t nextOptimizationStart;
    bool optimizationRunning;
    uint8_t reserved25[7];
};
static_assert(sizeof(_UVI_HalvexOptimizationInfo) == 32, "record layout");
static_assert(offsetof(_UVI_HalvexOptimizationInfo, lastOptimizationEnd) == 8, "record layout");
static_assert(offsetof(_UVI_HalvexOptimizationInfo, nextOptimizationStart) == 16, "record layout");
static_assert(offsetof(_UVI_HalvexOptimizationInfo, optimizationRunning) == 24, "record layout");

// The volume port's 18 performance counters, in the driver's order.
struct _UVI_VolportPerformanceCounters {
    uint64_t counters[18];
};
static_assert(sizeof(_UVI_VolportPerformanceCounters) == 144, "record layout");

// One candidate pair of a fast cache-memory drive and a slow drive.
struct _UVI_VezkDiskPairInfo {
    uint32_t slowDiskHandle;
    uint32_t fastDiskHandle;
    _UVI_VezkDiskPairStatus pairVerdict;
    _UVI_VezkFileCacheMode fileCacheMode;
    _UVI_VezkFileCacheMode defaultFileCacheMode;
    uint32_t reserved20;
    // Bitwise OR of the allowed modes.
    uint64_t allowedFileCacheModes;
};
static_assert(sizeof(_UVI_VezkDiskPairInfo) == 32, "record layout");
static_assert(offsetof(_UVI_VezkDiskPairInfo, fastDiskHandle) == 4, "record layout");
static_assert(offsetof(_UVI_VezkDiskPairInfo, pairVerdict) == 8, "record layout");
static_assert(offsetof(_UVI_VezkDiskPairInfo, fileCacheMode) == 12, "record layout");
static_assert(offsetof(_UVI_VezkDiskPairInfo, defaultFileCacheMode) == 16, "record layout");
static_assert(offsetof(_UVI_VezkDiskPairInfo, allowedFileCacheModes) == 24, "record layout");

#ifdef __cplusplus
extern "C" {
#endif
// The controllers, as UviGetControllerHandles lists them.
MOX_EXPORT _UVI_Error UviGetVezkHandles(unsigned int session, unsigned int* handleList,
                                        unsigned int* handleCount);
// Controller handle 0: the first controller that supports pairing.
MOX_EXPORT _UVI_Error UviGetVezkInfo(unsigned int session, unsigned int controllerHandle,
                                     _UVI_VezkInfo* info);
// The record by value; a failure leaves it zeroed and is given through `error` (may be null),
// never thrown.
MOX_EXPORT _UVI_VezkInfo UviGetVezkInfoEx(unsigned int session, unsigned int controllerHandle,
                                          _UVI_Error* error);
// Needs no session and no initialisation.
MOX_EXPORT _UVI_Error UviGetHalvexOptimizationInfo(_UVI_HalvexOptimizationInfo* info);
// A failed request leaves 144 zero bytes and returns the request's error.
MOX_EXPORT _UVI_Error UviGetVolportPerformanceCounters(unsigned int session,
                                                       _UVI_VolportPerformanceCounters* data);
MOX_EXPORT const char* UVI_VezkDiskPairStatusToDescription(unsigned int status);
MOX_EXPORT const char* UVI_VezkDiskValidForConcatenationStatusToDescription(unsigned int status);
MOX_EXPORT const char* UVI_VezkOperationStatusToDescription(unsigned int status);

MOX_EXPORT _UVI_Error UviGetVezkDiskPairHandles(unsigned int session, unsigned int* handleList,
                                                unsigned int* handleCount);
// An unknown pair handle leaves the record untouched and answers 0xA0000004.
MOX_EXPORT _UVI_Error UviGetVezkDiskPairInfo(unsigned int session, unsigned int pairHandle,
                                             _UVI_VezkDiskPairInfo* info);
#ifdef __cplusplus
}
#endif
