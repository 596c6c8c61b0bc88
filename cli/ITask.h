#pragma once
#include "cli/Error.h"

namespace MOX {

// One command's work; the runner owns it alone, runs it once and destroys it.
class ITask {
public:
    virtual Error run() = 0;
    virtual ~ITask() = default;
};

} // namespace MOX
