// Each test of this folder starts without the library tables an earlier test's machine built, nor the
// remap request it read.
#include "middleware/model/SessionHandler.h"
#include "tests/support/LibraryProcessState.h"
#include "tests/support/ProcessReset.h"

namespace {

void ResetCommandLineProcessState() {
    moxtest::ResetLibraryProcessState();
    SessionHandler::get().remapRequestCache().resetForTests();
}

const moxtest::ResetBeforeEachTest g_reset(ResetCommandLineProcessState);

} // namespace
