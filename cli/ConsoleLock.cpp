#include "cli/ConsoleLock.h"

namespace MOX {

std::recursive_mutex& ConsoleLock() {
    static std::recursive_mutex lock;
    return lock;
}

} // namespace MOX
