#pragma once
// The exported C interface of the storage management library.
#include <cstddef>
#include <cstdint>

#include "middleware/core/Export.h"
#include "middleware/core/UviError.h"

// One event of a subscription, filled by UviEventWaitWithHandle; fields a kind does not write keep
// what the caller's record held.
struct _UVI_EventRecord {
    uint32_t controllerPort; // top byte of the event device's packed SCSI address; 0 for software events
    uint32_t kind;           // 1 controller event, 2 NVMe disk event, 3 software event
    uint64_t data1;
    uint64_t data2;
    uint32_t flags; // controller events: seven flags in bits 0 to 6
    uint32_t reserved;
};
static_assert(sizeof(_UVI_EventRecord) == 32);
static_assert(offsetof(_UVI_EventRecord, controllerPort) == 0);
static_assert(offsetof(_UVI_EventRecord, kind) == 4);
static_assert(offsetof(_UVI_EventRecord, data1) == 8);
static_assert(offsetof(_UVI_EventRecord, data2) == 16);
static_assert(offsetof(_UVI_EventRecord, flags) == 24);

extern "C" {

MOX_EXPORT _UVI_Error UviInitialize();
MOX_EXPORT _UVI_Error UviFinalize();

MOX_EXPORT uint64_t UviEventSetUpForAllWithHandle();
MOX_EXPORT _UVI_Error UviEventWaitWithHandle(uint32_t timeoutMs, uint64_t eventHandle,
                                             _UVI_EventRecord* record);
MOX_EXPORT _UVI_Error UviEventClose(uint64_t eventHandle);

// A C entry point without an export name: the command line calls it in-process.
uint64_t UviEventSetUpForKindWithHandle(int controllerPort);
}
