#include "middleware/model/ControllerFactory.h"

#include <new>

#include "middleware/model/AhciController.h"
#include "middleware/model/NonOrvexController.h"
#include "middleware/model/NotSupportedController.h"
#include "middleware/model/NvmeController.h"
#include "middleware/model/ZrcController.h"

std::unique_ptr<Controller> ControllerFactory(uint32_t flags, ControllerLocator* locator,
                                              bool allRequiredSupported) {
    if (flags & kControllerMaskOtherVendor)
        return std::unique_ptr<Controller>(new (std::nothrow) NonOrvexController(locator));
    if (!allRequiredSupported)
        return std::unique_ptr<Controller>(new (std::nothrow) NotSupportedController(locator, flags));
    if (flags & kControllerMaskAhci)
        return std::unique_ptr<Controller>(new (std::nothrow) AhciController(locator));
    if (flags & kControllerRemapping)
        return std::unique_ptr<Controller>(new (std::nothrow) ZrcController(locator));
    if (flags & kControllerNvme)
        return std::unique_ptr<Controller>(new (std::nothrow) NvmeController(locator));
    return std::unique_ptr<Controller>(new (std::nothrow) NotSupportedController(locator, flags));
}
