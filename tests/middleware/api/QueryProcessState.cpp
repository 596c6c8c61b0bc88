// The process-wide state the queries' snapshots are built from (controller table, interface
// versions, dictionary cache, handles), as each test of this folder expects to find it.
#include "tests/support/LibraryProcessState.h"
#include "tests/support/ProcessReset.h"

namespace {

const moxtest::ResetBeforeEachTest g_reset(moxtest::ResetLibraryProcessState);

} // namespace
