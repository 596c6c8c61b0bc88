// The process-wide state the queries' snapshots are built from (controller table, interface
// versions, dictionary cache, handles), as each test of this folder expects to find it.
#include "middleware/core/GlobalLogger.h"
#include "middleware/core/HandleRegistry.h"
#include "middleware/ioctl/DeviceLocator.h"
#include "middleware/ioctl/DictionarySingleton.h"
#include "middleware/ioctl/IoctlDirectMode.h"
#include "middleware/ioctl/IoctlInterfaceVersionStore.h"
#include "tests/support/ProcessReset.h"

namespace {

const moxtest::ResetBeforeEachTest g_reset([] {
    DeviceLocator::ResetForTests();
    IoctlInterfaceVersionStore::ResetForTests();
    CDictionarySingleton::Release();
    ResetIoctlDirectModeForTests();
    HandleRegistry::instance().resetForTests();
    GlobalLogger::SetLoggingOn();
});

} // namespace
