// The acceleration layer's process-wide state, as each test of this folder expects to find it.
#include "middleware/accelerate/BootOrder.h"
#include "tests/support/ProcessReset.h"

namespace {

const moxtest::ResetBeforeEachTest g_reset([] { ResetBootOrderPrivilegeForTests(); });

} // namespace
