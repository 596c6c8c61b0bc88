#include "middleware/ioctl/ControllerLocatorLock.h"

#include <stdexcept>

#include "middleware/ioctl/ControllerTable.h"
#include "platform/win/Trace.h"
#include "platform/win/WinSync.h"

ControllerLocatorLock::ControllerLocatorLock(HANDLE target) {
    if (!ControllerTable::Contains(target)) {
        m_DeviceHandle = target;
        return;
    }
    const auto* record = static_cast<const ControllerLocator*>(target);
    if (record->flags & kControllerMaskReal) {
        m_DeviceHandle = record->deviceHandle;
        const DWORD wait = WaitForSingleObject(record->mutex, INFINITE);
        if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) {
            if (wait == WAIT_ABANDONED)
                MOX_TRACE(TRACE_LEVEL_WARNING, "Controller mutex of port %d was abandoned by its owner",
                          record->portNumber);
            m_Mutex = record->mutex;
            return;
        }
        const DWORD error = GetLastError();
        MOX_TRACE(TRACE_LEVEL_ERROR,
                  "Waiting for the controller mutex of port %d returned %lu, last error %lu",
                  record->portNumber, static_cast<unsigned long>(wait), static_cast<unsigned long>(error));
        throw std::runtime_error("Failed to take ownership of mutex");
    }
    m_DeviceHandle = (record->flags & kControllerPlaceholder) ? PlaceholderHandle() : record->deviceHandle;
}

ControllerLocatorLock::~ControllerLocatorLock() {
    if (m_Mutex && !ReleaseMutex(m_Mutex))
        MOX_TRACE(TRACE_LEVEL_ERROR, "Releasing a controller mutex failed, last error %lu",
                  static_cast<unsigned long>(GetLastError()));
}
