/* The public header of the C interface compiled as C: a C program can declare, call and link
   against the library's exports. */
#include "middleware/api/UviApi.h"
#include <string.h>

/* Starts the library, opens and closes one session and stops the library again; writes the status
   of each step into `statuses` (5 entries) and returns the session id it was given. */
unsigned int UviApiFromCLifecycle(uint32_t* statuses);

unsigned int UviApiFromCLifecycle(uint32_t* statuses) {
    unsigned int session = 0;
    _UVI_Error result = UviInitialize();
    statuses[0] = result.status;
    result = UviSessionOpen(&session);
    statuses[1] = result.status;
    result = UviSessionClose(session);
    statuses[2] = result.status;
    result = UviSessionClose(session);
    statuses[3] = result.status;
    if (result.errorId != 0)
        CleanupUviError(result.errorId);
    result = UviFinalize();
    statuses[4] = result.status;
    return session;
}

/* The array names and volume states of every controller by configuration index, read from C with the
   two-call convention (count first, then records); returns the number of volumes and writes at most
   `capacity` states and the first array's name (21 characters with its terminator). */
unsigned int UviApiFromCArraysAndVolumes(char* firstArrayName, uint32_t* states, unsigned int capacity);

unsigned int UviApiFromCArraysAndVolumes(char* firstArrayName, uint32_t* states, unsigned int capacity) {
    _UVI_ArrayInfo arrays[16];
    _UVI_VolumeInfo volumes[16];
    unsigned int count = 0;
    unsigned int i;
    _UVI_Error result = UviGetIxoArrays(0, 0, NULL, &count);
    CleanupUviError(result.errorId);
    if (count == 0 || count > 16)
        return 0;
    result = UviGetIxoArrays(0, 0, arrays, &count);
    if (result.status != 0)
        return 0;
    memcpy(firstArrayName, arrays[0].name, sizeof arrays[0].name);
    count = 0;
    result = UviGetIxoVolumes(0, 0, NULL, &count);
    CleanupUviError(result.errorId);
    if (count > 16)
        return 0;
    result = UviGetIxoVolumes(0, 0, volumes, &count);
    if (result.status != 0)
        return 0;
    for (i = 0; i < count && i < capacity; ++i)
        states[i] = volumes[i].state;
    return count;
}
