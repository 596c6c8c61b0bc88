// The driver request layer's process-wide state (controller table, interface versions, dictionary
// cache, direct mode, buffer allocator), as each test of this folder expects to find it.
#include "middleware/ioctl/CIoctl.h"
#include "tests/support/LibraryProcessState.h"
#include "tests/support/ProcessReset.h"

namespace {

const moxtest::ResetBeforeEachTest g_reset([] {
    moxtest::ResetLibraryProcessState();
    SetIoctlBufferAllocator(nullptr);
});

} // namespace
