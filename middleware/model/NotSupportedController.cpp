#include "middleware/model/NotSupportedController.h"

int NotSupportedController::getType() const {
    if (m_Flags & kControllerMaskAhci)
        return kTypeAhci;
    if (m_Flags & kControllerRemapping)
        return kTypeZrc;
    if (m_Flags & kControllerNvme)
        return kTypeNvme;
    return kTypeUnknown;
}
