/* The public header of the C interface compiled as C: a C program can declare, call and link
   against the library's exports. */
#include "middleware/api/UviApi.h"

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
