#pragma once
// The cache statistics records of the C interface: images of the start of the driver's NV cache
// statistics groups (group length first) and the I/O classifier counters.
#include <stddef.h>
#include <stdint.h>

#ifndef __cplusplus
#include <assert.h>
typedef struct NvCachePolicyStatInfo NvCachePolicyStatInfo;
typedef struct NvCacheStatInfo NvCacheStatInfo;
typedef struct NvCacheStat2Info NvCacheStat2Info;
typedef struct NvCacheUnifiedStats NvCacheUnifiedStats;
typedef struct _UVI_IoClassifierCounter _UVI_IoClassifierCounter;
typedef struct _UVI_IoClassifierCounters _UVI_IoClassifierCounters;
#endif

// The first 208 bytes of the 216-byte policy statistics group.
struct NvCachePolicyStatInfo {
    uint32_t groupLength;
    uint32_t value4;
    uint64_t counters64[20];
    uint32_t counters32[10];
};
static_assert(sizeof(NvCachePolicyStatInfo) == 208, "record layout");
static_assert(offsetof(NvCachePolicyStatInfo, value4) == 4, "record layout");
static_assert(offsetof(NvCachePolicyStatInfo, counters64) == 8, "record layout");
static_assert(offsetof(NvCachePolicyStatInfo, counters32) == 168, "record layout");

struct NvCacheStatInfo {
    uint32_t groupLength;
    uint32_t values[30];
};
static_assert(sizeof(NvCacheStatInfo) == 124, "record layout");
static_assert(offsetof(NvCacheStatInfo, values) == 4, "record layout");

struct NvCacheStat2Info {
    uint32_t groupLength;
    uint32_t values[19];
};
static_assert(sizeof(NvCacheStat2Info) == 80, "record layout");
static_assert(offsetof(NvCacheStat2Info, values) == 4, "record layout");

// The whole unified statistics group; its length word is 64 bits wide.
struct NvCacheUnifiedStats {
    uint64_t groupLength;
    uint8_t data[1392];
};
static_assert(sizeof(NvCacheUnifiedStats) == 1400, "record layout");
static_assert(offsetof(NvCacheUnifiedStats, data) == 8, "record layout");

struct _UVI_IoClassifierCounter {
    uint64_t first;
    uint64_t second;
};
static_assert(sizeof(_UVI_IoClassifierCounter) == 16, "record layout");

// Two halves of sixteen counter pairs, in the order of the driver's answer.
struct _UVI_IoClassifierCounters {
    _UVI_IoClassifierCounter halves[2][16];
};
static_assert(sizeof(_UVI_IoClassifierCounters) == 512, "record layout");
static_assert(offsetof(_UVI_IoClassifierCounters, halves) == 0, "record layout");
