// Core support's process-wide state, as each test of this folder expects to find it.
#include "middleware/core/GlobalLogger.h"
#include "middleware/core/HandleRegistry.h"
#include "middleware/core/RegistrySettings.h"
#include "tests/support/ProcessReset.h"

namespace {

const moxtest::ResetBeforeEachTest g_reset([] {
    HandleRegistry::instance().resetForTests();
    GlobalLogger::SetLoggingOn();
    ForgetCachedSettingsForTests();
});

} // namespace
