#include "middleware/api/ControllerLockCall.h"

#include <exception>

#include "middleware/api/ExportedCall.h"
#include "middleware/ioctl/ControllerLocator.h"
#include "middleware/ioctl/ControllerLocatorLock.h"

CConsolidatedError RunUnderControllerLock(ControllerLocator* locator,
                                          const std::function<CConsolidatedError()>& work) {
    try {
        ControllerLocatorLock lock(locator);
        return work();
    } catch (...) {
        return ErrorOfException(std::current_exception());
    }
}
