// The listener over the library's own event entry points, apart so that code which never listens
// does not need them.
#include "cli/EventListener.h"

namespace MOX {

EventListener::EventListener(int32_t kind)
    : EventListener(kind,
                    UviEventCalls{UviEventSetUpForKindWithHandle, UviEventWaitWithHandle, UviEventClose}) {}

} // namespace MOX
