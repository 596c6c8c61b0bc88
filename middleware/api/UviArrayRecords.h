#pragma once
// The array record of the exported interface and the array queries.
#include <stddef.h>
#include <stdint.h>

#include "middleware/core/Export.h"
#include "middleware/core/UviError.h"

#ifndef __cplusplus
#include <assert.h>
#include <stdbool.h>
typedef struct _UVI_ArrayInfo _UVI_ArrayInfo;
#endif

// One RAID array, zero-filled before it is written.
struct _UVI_ArrayInfo {
    uint32_t handle;
    // "Array_Orvex_Halvex" for the array of a joined cache-memory drive, else "<bus>_Array_<number>".
    char name[21];
    uint8_t reserved25[3];
    // The array group's state plus one (1 normal, 2 to 7 busy); 0 for a state the driver does not
    // define.
    uint32_t state;
    uint64_t sizeInBytes;
    uint64_t availableSizeInBytes;
    // 1 off, 2 on.
    uint32_t writeCache;
    uint32_t numDisks;
    uint32_t numVolumes;
    uint32_t controllerHandle;
    // While a member is missing: the smallest free space of the present members; else the group's.
    uint64_t memberFreeSpace;
};
static_assert(sizeof(_UVI_ArrayInfo) == 72, "record layout");
static_assert(offsetof(_UVI_ArrayInfo, handle) == 0, "record layout");
static_assert(offsetof(_UVI_ArrayInfo, name) == 4, "record layout");
static_assert(offsetof(_UVI_ArrayInfo, state) == 28, "record layout");
static_assert(offsetof(_UVI_ArrayInfo, sizeInBytes) == 32, "record layout");
static_assert(offsetof(_UVI_ArrayInfo, availableSizeInBytes) == 40, "record layout");
static_assert(offsetof(_UVI_ArrayInfo, writeCache) == 48, "record layout");
static_assert(offsetof(_UVI_ArrayInfo, numDisks) == 52, "record layout");
static_assert(offsetof(_UVI_ArrayInfo, numVolumes) == 56, "record layout");
static_assert(offsetof(_UVI_ArrayInfo, controllerHandle) == 60, "record layout");
static_assert(offsetof(_UVI_ArrayInfo, memberFreeSpace) == 64, "record layout");

#ifdef __cplusplus
extern "C" {
#endif
// Arrays of every own-driver controller, except those the cache acceleration keeps hidden.
MOX_EXPORT _UVI_Error UviGetArrayHandles(unsigned int session, unsigned int* handleList,
                                         unsigned int* handleCount);
MOX_EXPORT _UVI_Error UviGetArrayHandlesByControllerHandle(unsigned int session,
                                                           unsigned int controllerHandle,
                                                           unsigned int* handleList,
                                                           unsigned int* handleCount);
MOX_EXPORT _UVI_Error UviGetArrayInfo(unsigned int session, unsigned int arrayHandle, _UVI_ArrayInfo* info);
// Records by RAID configuration index of one controller (0: all); succeeds only when the count equals
// the number of arrays.
MOX_EXPORT _UVI_Error UviGetIxoArrays(unsigned int session, unsigned int controllerHandle,
                                      _UVI_ArrayInfo* records, unsigned int* recordCount);
#ifdef __cplusplus
}
#endif
