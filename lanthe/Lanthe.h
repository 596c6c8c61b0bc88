#pragma once
/* Lanthe, the optical drive power-state library: finds a zero-power optical drive behind the RAID
   driver, reads its power state and turns it into texts, and reads the RAID driver's name and
   version. Four C functions; the header compiles as C as well as C++.

   Call ConnectToZPODDDriver once, then ReadOddPowerState with the port it gave as often as wanted.
   The library keeps the adapter, the port and the last answer for the whole process and takes no
   locks: calls of the first three functions must not overlap. GetDriverInfo stands alone. */
#include <stddef.h>
#include <stdint.h>

#include "middleware/core/Export.h"

#ifndef __cplusplus
#include <assert.h>
#include <stdbool.h>
#endif

/* The decoded power state: NUL-terminated narrow texts. A field the last status does not describe
   reads "XXXX". */
typedef struct OddPowerStateRecord {
    char powerState[10];      /* "Awake", "Dozing", "Asleep" or "Awakening" */
    char platformSupport[15]; /* "Supported" or "NOT supported": the platform firmware's */
    char driveSupport[15];    /* "Supported" or "NOT supported": the drive's */
    char tray[10];            /* "Open" or "Closed" */
    char media[10];           /* "Media In" or "No Media" */
    char message[60];         /* why the state is not a plain power state */
} OddPowerStateRecord;
static_assert(sizeof(OddPowerStateRecord) == 120, "record layout");
static_assert(offsetof(OddPowerStateRecord, platformSupport) == 10, "record layout");
static_assert(offsetof(OddPowerStateRecord, driveSupport) == 25, "record layout");
static_assert(offsetof(OddPowerStateRecord, tray) == 40, "record layout");
static_assert(offsetof(OddPowerStateRecord, media) == 50, "record layout");
static_assert(offsetof(OddPowerStateRecord, message) == 60, "record layout");

#ifdef __cplusplus
extern "C" {
#endif

/* Tries ports 0 to 5 of the SCSI adapters 0 to 15 in turn; the first drive that answers with a
   non-zero status is kept: 0 with its port written. 2 when none answers; -1 for a null pointer. */
MOX_EXPORT int32_t ConnectToZPODDDriver(int32_t* port);
/* Asks the kept adapter for the drive on `port` and decodes the answer into the record: true. False,
   with the record untouched, when there is no adapter, the request fails, the driver does not
   acknowledge it, or the record pointer is null. */
MOX_EXPORT bool ReadOddPowerState(OddPowerStateRecord* record, uint8_t port);
/* Decodes the last answer (before any request: an empty one, status 0) into the record: 0; -1 for
   a null pointer. */
MOX_EXPORT int32_t GetZPODDStatusValue(OddPowerStateRecord* record);
/* Writes "name:major:minor" of the RAID driver (at most 88 characters, cut to the buffer, always
   terminated) from the first of the SCSI adapters 0 to 14 that answers: 0. -1 for a null buffer, a
   failed allocation or no adapter 0; otherwise the system error of the last adapter's request. */
MOX_EXPORT int32_t GetDriverInfo(char* buffer, int32_t bufferSize);

#ifdef __cplusplus
}
#endif
