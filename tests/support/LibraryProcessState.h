#pragma once
// The library's process-wide tables (controllers found, interface versions, dictionary cache, direct
// mode, handles, settings written only on change) are built for the first machine a process opens. A test
// folder whose tests open machines through the library registers this with moxtest::ResetBeforeEachTest, so
// that a test executable run directly starts each test as CTest's process per test does. Header only: the
// support library itself does not link the library.
#include "middleware/core/GlobalLogger.h"
#include "middleware/core/HandleRegistry.h"
#include "middleware/core/RegistrySettings.h"
#include "middleware/ioctl/DeviceLocator.h"
#include "middleware/ioctl/DictionarySingleton.h"
#include "middleware/ioctl/IoctlDirectMode.h"
#include "middleware/ioctl/IoctlInterfaceVersionStore.h"

namespace moxtest {

inline void ResetLibraryProcessState() {
    DeviceLocator::ResetForTests();
    IoctlInterfaceVersionStore::ResetForTests();
    CDictionarySingleton::Release();
    ResetIoctlDirectModeForTests();
    HandleRegistry::instance().resetForTests();
    GlobalLogger::SetLoggingOn();
    ForgetCachedSettingsForTests();
}

} // namespace moxtest
