#include "middleware/model/Session.h"

#include "middleware/ioctl/DeviceLocator.h"
#include "middleware/model/HybridDiskSet.h"
#include "middleware/model/PciRootControllerSet.h"

Session::Session(ZrcRemapRequestCache* remapRequests) : m_RemapRequests(remapRequests) {}

Session::~Session() {
    // The order the snapshot's parts depend on each other: the sets name controllers' objects.
    m_DeviceLocator.reset();
    m_PciRootControllerSets.clear();
    m_HybridDiskSets.clear();
    m_ThirdPartyControllers.clear();
    m_Controllers.clear();
}
