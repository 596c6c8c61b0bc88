// The acceleration layer's process-wide state, as each test of this folder expects to find it: the
// boot order's privilege, and the library's (controller table, interface versions, handles) that the
// actions' snapshots are built from.
#include "middleware/accelerate/BootOrder.h"
#include "tests/support/LibraryProcessState.h"
#include "tests/support/ProcessReset.h"

namespace {

const moxtest::ResetBeforeEachTest g_reset([] {
    ResetBootOrderPrivilegeForTests();
    moxtest::ResetLibraryProcessState();
});

} // namespace
