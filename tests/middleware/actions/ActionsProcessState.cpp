// The process-wide state the actions' snapshots are built from, as each test of this folder expects
// to find it.
#include "tests/support/LibraryProcessState.h"
#include "tests/support/ProcessReset.h"

namespace {

const moxtest::ResetBeforeEachTest g_reset(moxtest::ResetLibraryProcessState);

} // namespace
