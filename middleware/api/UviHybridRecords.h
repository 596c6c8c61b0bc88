#pragma once
// The hybrid disk set record and its queries. Linked into the program, not exported by name: the
// command line calls them directly.
#include <stddef.h>
#include <stdint.h>

#include "middleware/core/UviError.h"

#ifndef __cplusplus
#include <assert.h>
#include <stdbool.h>
typedef struct _UVI_HybridDiskSetInfo _UVI_HybridDiskSetInfo;
#endif

struct _UVI_HybridDiskSetInfo {
    uint32_t handle;
    uint32_t diskHandles[8];
    uint32_t numDiskHandles;
    // Ascending, without repeats.
    uint32_t controllerHandles[8];
    uint32_t numControllerHandles;
};
static_assert(sizeof(_UVI_HybridDiskSetInfo) == 76, "record layout");
static_assert(offsetof(_UVI_HybridDiskSetInfo, diskHandles) == 4, "record layout");
static_assert(offsetof(_UVI_HybridDiskSetInfo, numDiskHandles) == 36, "record layout");
static_assert(offsetof(_UVI_HybridDiskSetInfo, controllerHandles) == 40, "record layout");
static_assert(offsetof(_UVI_HybridDiskSetInfo, numControllerHandles) == 72, "record layout");

#ifdef __cplusplus
extern "C" {
#endif
_UVI_Error UviGetHybridDiskSetHandles(unsigned int session, unsigned int* handleList,
                                      unsigned int* handleCount);
_UVI_Error UviGetHybridDiskSetInfo(unsigned int session, unsigned int setHandle,
                                   _UVI_HybridDiskSetInfo* info);
#ifdef __cplusplus
}
#endif
