#pragma once
/* The exported C interface of the storage management library. Every function has C linkage and its
   plain name; none lets an exception escape. The header compiles as C as well as C++: records of
   later parts of the interface live in headers of their own that it includes. */
#include <stddef.h>
#include <stdint.h>

#include "middleware/api/UviArrayRecords.h"
#include "middleware/api/UviHybridRecords.h"
#include "middleware/api/UviPhyRecords.h"
#include "middleware/api/UviSystemRecords.h"
#include "middleware/api/UviVezkRecords.h"
#include "middleware/api/UviVolumeRecords.h"
#include "middleware/core/Export.h"
#include "middleware/core/UviError.h"

#ifndef __cplusplus
#include <assert.h>
#include <stdbool.h>
typedef struct _UVI_EventRecord _UVI_EventRecord;
#endif

/* ---- driver events ---- */

// One event of a subscription, filled by UviEventWaitWithHandle according to its kind; the fields a
// kind does not write keep what the caller's record held.
struct _UVI_EventRecord {
    // The top byte of the event device's packed SCSI address; 0 for software events.
    uint32_t controllerPort;
    // 1 controller event, 2 NVMe disk event, 3 software event.
    uint32_t kind;
    // Kind 1: the driver's event counter; kind 2: the disk's packed SCSI address in the low 4 bytes
    // (the high 4 are not written); kind 3: the software event's value.
    uint64_t firstData;
    // Kind 1: the driver's event value; kind 2: the NVMe asynchronous event information byte; not
    // written for kind 3.
    uint64_t secondData;
    // Kind 1 only: seven flags in bits 0 to 6 (bits 20 to 26 of the event value); bits 7 to 31 are 0.
    uint32_t flags;
};
static_assert(sizeof(_UVI_EventRecord) == 32, "record layout");
static_assert(offsetof(_UVI_EventRecord, controllerPort) == 0, "record layout");
static_assert(offsetof(_UVI_EventRecord, kind) == 4, "record layout");
static_assert(offsetof(_UVI_EventRecord, firstData) == 8, "record layout");
static_assert(offsetof(_UVI_EventRecord, secondData) == 16, "record layout");
static_assert(offsetof(_UVI_EventRecord, flags) == 24, "record layout");

#ifdef __cplusplus
extern "C" {
#endif

/* ---- library life cycle and sessions ---- */

/* Starts the library; status 11 (0xA001000B) when it is already started. */
MOX_EXPORT _UVI_Error UviInitialize(void);
/* Ends the library; status 12 (0xA001000C) when it is not started. Sessions still open end. */
MOX_EXPORT _UVI_Error UviFinalize(void);
/* Builds a session (a snapshot of the storage topology) and writes its id, never 0 and never given
   out twice in the process. Status 12 before UviInitialize (the handle is not written); 0xA0010001
   "Too many sessions opened!" while ten are open; the build's error when it fails (0xA0010050 when
   no controller of the RAID driver is present). Calls that take a session handle accept this id, or
   0 for a session built for that call alone. */
MOX_EXPORT _UVI_Error UviSessionOpen(unsigned int* sessionHandle);
/* Closes a session; calls running on it finish first. 0xA0000004 for an id that is not open. */
MOX_EXPORT _UVI_Error UviSessionClose(unsigned int sessionHandle);

// Subscribes to every event device of the RAID driver's controllers and to software events; the
// event handle, or 0 on failure.
MOX_EXPORT unsigned long long UviEventSetUpForAllWithHandle(void);
// Subscribes to the devices of the controller with this storage port number and to software events;
// the event handle, or 0 on failure (also for a port without controller). Not exported by name: the
// command line calls it directly.
unsigned long long UviEventSetUpForKindWithHandle(int controllerPort);
// Waits up to the time (INFINITE allowed) for the subscription's next event: success with the
// record filled, 0xA0010061 when the time ran out, 0xA0010062 when the wait failed or the
// subscription was closed, 0xA0010003 for an unknown handle or a null record.
MOX_EXPORT _UVI_Error UviEventWaitWithHandle(unsigned int milliseconds, unsigned long long eventHandle,
                                             _UVI_EventRecord* record);
// Ends the subscription (a wait in progress returns 0xA0010062); always succeeds.
MOX_EXPORT _UVI_Error UviEventClose(unsigned long long eventHandle);

#ifdef __cplusplus
}
#endif

/* The controller, RAID limit and level, NV cache, statistics and end-device queries. */
#include "middleware/api/UviDeviceQueries.h"
/* Scheduling controllers for remapping at the next boot. */
#include "middleware/api/ZrcRemapExports.h"
