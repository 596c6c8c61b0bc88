#pragma once
// The interface version request of the simulated RAID driver: every miniport interface of the
// driver answers it under its own signature. The adapter's "interface_versions" section chooses
// the versions (sim/README.md).
#include "sim/devio/Miniport.h"

namespace sim::driver {

// Registration, called from sim/devio/DriverFamilies.cpp.
void RegisterInterfaceVersionFamily(devio::DriverDispatch& dispatch);

} // namespace sim::driver
