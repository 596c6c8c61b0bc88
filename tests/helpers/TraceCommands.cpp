// Child-process commands for the trace tests: a second program that writes through the product's
// own trace call, so that a test can read what that program's lines carry.
#include <string>

#include "platform/win/Trace.h"
#include "tests/helpers/ChildCommands.h"

namespace {

// trace TEXT: writes TEXT as one information line of the product's trace (where MOX_TRACE says).
moxtest::ChildCommandRegistrar trace("trace", [](const std::vector<std::string>& a) {
    MOX_TRACE(TRACE_LEVEL_INFORMATION, "%s", a.at(0).c_str());
    return 0;
});

} // namespace
