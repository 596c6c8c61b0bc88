#pragma once
// The NV cache record of the C interface and its cache modes.
#include <stddef.h>
#include <stdint.h>

#ifndef __cplusplus
#include <assert.h>
typedef struct _UVI_NvcInfo _UVI_NvcInfo;
#endif

// 1 off, 8 safe (write-through), 16 performance (write-back); 2, 4, 32, 64 and 256 are the modes
// the driver passes through while it changes mode; -1 an unknown mode number.
enum _UVI_NvcMode {
    UVI_NVC_MODE_UNKNOWN = -1,
    UVI_NVC_MODE_OFF = 1,
    UVI_NVC_MODE_2 = 2,
    UVI_NVC_MODE_4 = 4,
    UVI_NVC_MODE_SAFE = 8,
    UVI_NVC_MODE_PERFORMANCE = 16,
    UVI_NVC_MODE_32 = 32,
    UVI_NVC_MODE_64 = 64,
    UVI_NVC_MODE_256 = 256,
};
#ifndef __cplusplus
typedef enum _UVI_NvcMode _UVI_NvcMode;
#endif
static_assert(sizeof(_UVI_NvcMode) == 4, "record layout");

struct _UVI_NvcInfo {
    uint32_t controllerHandle;
    uint32_t acceleratedVolumeHandle;
    uint32_t acceleratedDiskHandle;
    uint32_t cacheVolumeHandle;
    // Bytes.
    uint64_t cacheSize;
    _UVI_NvcMode mode;
    // 0, 1 or 2.
    uint32_t cacheState;
    uint8_t cacheStateFlag;
    uint8_t reserved33[3];
    // 0 to 100 during modes 32 and 64; -1 otherwise or when unknown.
    int32_t progress;
    int32_t policy;
    uint32_t usedPercent;
    int32_t cacheVolumeIndex;
    int32_t acceleratedIndex;
    char cacheName[17];
    uint8_t reserved73[7];
};
static_assert(sizeof(_UVI_NvcInfo) == 80, "record layout");
static_assert(offsetof(_UVI_NvcInfo, acceleratedVolumeHandle) == 4, "record layout");
static_assert(offsetof(_UVI_NvcInfo, acceleratedDiskHandle) == 8, "record layout");
static_assert(offsetof(_UVI_NvcInfo, cacheVolumeHandle) == 12, "record layout");
static_assert(offsetof(_UVI_NvcInfo, cacheSize) == 16, "record layout");
static_assert(offsetof(_UVI_NvcInfo, mode) == 24, "record layout");
static_assert(offsetof(_UVI_NvcInfo, cacheState) == 28, "record layout");
static_assert(offsetof(_UVI_NvcInfo, cacheStateFlag) == 32, "record layout");
static_assert(offsetof(_UVI_NvcInfo, progress) == 36, "record layout");
static_assert(offsetof(_UVI_NvcInfo, policy) == 40, "record layout");
static_assert(offsetof(_UVI_NvcInfo, usedPercent) == 44, "record layout");
static_assert(offsetof(_UVI_NvcInfo, cacheVolumeIndex) == 48, "record layout");
static_assert(offsetof(_UVI_NvcInfo, acceleratedIndex) == 52, "record layout");
static_assert(offsetof(_UVI_NvcInfo, cacheName) == 56, "record layout");
static_assert(offsetof(_UVI_NvcInfo, reserved73) == 73, "record layout");
