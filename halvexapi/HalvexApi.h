#pragma once
/* HalvexApi, the file pinning client: pins files into the cache product's file cache, unpins them,
   asks for their pin state, reads the file cache's state and counters and starts a migration. Every
   function forwards to the cache service "KeplinAfsService" over local RPC; the library keeps one
   binding and one service context for the process (the context is closed when the library is
   unloaded). The header compiles as C as well as C++.

   Results, the same for every function:
     0   success (the service's answer)
     1   the service cannot be reached: no binding, no service context, a failure of the RPC call,
         or the working arrays cannot be allocated
     14  a required pointer is null (the list itself or its entries; nothing is sent)
     17  an answer with which pin and unpin still report per-file results
     any other value is the service's answer (0 to 32767), passed through.

   A list with a count of 0 has nothing to send: the functions that take one answer 0 at once.
   Pin and unpin requests of the process are sent one at a time; everything else may run beside
   them. The caller owns all memory; the library keeps no pointer after returning. */
#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#include "middleware/cacheservice/PinningRecords.h"
#include "middleware/core/Export.h"

/* One file of a pin or unpin request. `path`: a NUL-terminated wide path (may be null: sent as an
   absent path, the service answers for it); `result`: the service's answer for this file, written
   when the request's result is 0 or 17. */
typedef struct PinFileEntry {
    int32_t result;
    const wchar_t* path;
} PinFileEntry;

typedef struct PinFileList {
    uint32_t count;
    PinFileEntry* entries;
} PinFileList;

/* One file of a pin-status query: its three values are written whatever the result (zeros when the
   service did not answer). */
typedef struct PinStatusFileEntry {
    int32_t result;
    const wchar_t* path;
    int32_t secondStatus;
    int32_t thirdStatus;
} PinStatusFileEntry;

typedef struct PinStatusFileList {
    uint32_t count;
    PinStatusFileEntry* entries;
} PinStatusFileList;

#if UINTPTR_MAX == 0xFFFFFFFFFFFFFFFFu
static_assert(sizeof(PinFileEntry) == 16, "record layout");
static_assert(offsetof(PinFileEntry, path) == 8, "record layout");
static_assert(sizeof(PinStatusFileEntry) == 24, "record layout");
static_assert(offsetof(PinStatusFileEntry, secondStatus) == 16, "record layout");
static_assert(offsetof(PinStatusFileEntry, thirdStatus) == 20, "record layout");
static_assert(offsetof(PinFileList, entries) == 8, "record layout");
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Reads the state of file pinning. Answers 0 even when the service cannot be reached or refuses:
   `state` is then 0 (and the text is left as it was). 14 for a null record. */
MOX_EXPORT int32_t HalvexGetPinningStatus(PinningStatus* status);
MOX_EXPORT int32_t HalvexPinFiles(PinFileList* list);
MOX_EXPORT int32_t HalvexUnpinFiles(PinFileList* list);
MOX_EXPORT int32_t HalvexGetPinStatusFiles(PinStatusFileList* list);
MOX_EXPORT int32_t HalvexTriggerMigration(void);
/* Fills the record from the service; on 1 it is left as it was. */
MOX_EXPORT int32_t HalvexGetFileCacheStatus(FileCacheStatus* status);
/* Fills the record; after a result of 0 `major` and `minor` read 1, the interface's version. */
MOX_EXPORT int32_t HalvexGetPinningApiVersion(PinningApiVersion* version);

#ifdef __cplusplus
}
#endif
