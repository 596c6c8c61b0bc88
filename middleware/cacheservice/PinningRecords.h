#pragma once
/* The records the cache service's pinning interface answers, in the form a client keeps them. The
   meaning of the values is the service's. The header compiles as C as well as C++: the file pinning
   library's public header hands these records to its callers. */
#include <stddef.h>
#include <stdint.h>

#ifndef __cplusplus
#include <assert.h>
#endif

/* The state of file pinning: an enumeration of the service and up to 8 UTF-16 characters of text,
   not necessarily terminated. */
typedef struct PinningStatus {
    int32_t state;
    uint16_t text[8];
} PinningStatus;
static_assert(sizeof(PinningStatus) == 20, "record layout");
static_assert(offsetof(PinningStatus, text) == 4, "record layout");

/* The file cache's 14 counters, in the order the service sends them. */
typedef struct FileCacheStatus {
    uint64_t counters[14];
} FileCacheStatus;
static_assert(sizeof(FileCacheStatus) == 112, "record layout");

/* The pinning interface's version (major, minor) and two values of the service's. */
typedef struct PinningApiVersion {
    int32_t major;
    int32_t minor;
    int32_t build;
    int32_t revision;
} PinningApiVersion;
static_assert(sizeof(PinningApiVersion) == 16, "record layout");
static_assert(offsetof(PinningApiVersion, revision) == 12, "record layout");
