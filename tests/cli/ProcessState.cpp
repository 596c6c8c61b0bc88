// Each test of this folder starts without the library tables an earlier test's machine built.
#include "tests/support/LibraryProcessState.h"
#include "tests/support/ProcessReset.h"

namespace {

const moxtest::ResetBeforeEachTest g_reset(moxtest::ResetLibraryProcessState);

} // namespace
