#include "middleware/ioctl/IoctlDirectMode.h"

#include <atomic>

namespace {

std::atomic<bool> g_directMode{false};

} // namespace

bool IsIoctlDirectMode() {
    return g_directMode.load();
}

bool SetIoctlDirectMode() {
    return !g_directMode.exchange(true);
}

void ResetIoctlDirectModeForTests() {
    g_directMode.store(false);
}
