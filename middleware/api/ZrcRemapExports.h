#pragma once
/* Scheduling controllers for remapping behind the remapping controller at the next boot, and taking
   them off the schedule. Each export runs in a session of its own, validates the selection, turns
   each controller into its location word and changes the remap request only when every check and
   every lookup has passed. Compiles as C as well as C++ (included by UviApi.h). */
#include <stdint.h>

#include "middleware/core/Export.h"
#include "middleware/core/UviError.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Schedules the first `count` controllers of the list. A null list or a negative count: 0xA0010002,
   answered before anything else (also before the library is started). */
MOX_EXPORT _UVI_Error UviZrcRemapController(const uint32_t* controllerHandleList, int count);
/* Schedules every remap-capable controller not scheduled yet; 0xA0010070 when there is none. */
MOX_EXPORT _UVI_Error UviZrcRemapControllerAll(void);
/* Takes the listed controllers off the schedule; refused as a whole when one is not scheduled. */
MOX_EXPORT _UVI_Error UviZrcRemapControllerRevert(const uint32_t* controllerHandleList, int count);
/* Takes every controller off the schedule; 0xA0010071 when nothing is scheduled. */
MOX_EXPORT _UVI_Error UviZrcRemapControllerAllRevert(void);

#ifdef __cplusplus
}

#include "middleware/core/ConsolidatedError.h"
#include "middleware/ioctl/ControllerLocator.h"

class Controller;
class Session;

// The session's controller-table record of the controller, copied into `record`: 0xA0000006 for a
// null controller, a session without controller table, or a controller whose record is not in it.
CConsolidatedError ZrcRemapController(Session& session, const Controller* controller,
                                      ControllerLocator& record);
// The same for the controller with the handle (own-driver or other vendors'); 0xA0010003 "Invalid
// handle provided: <handle>" when the session has none.
CConsolidatedError ZrcRemapController(Session& session, uint32_t controllerHandle, ControllerLocator& record);
#endif
