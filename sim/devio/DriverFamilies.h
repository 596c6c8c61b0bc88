#pragma once
// The request families of the simulated vendor RAID driver. Each family is one source under
// sim/driver/ that registers its handlers; add its registration function here and one call in
// DriverFamilies.cpp.
#include "sim/devio/Miniport.h"

namespace sim::devio {

// Registers every family below; the dispatch table runs it once, when it is first used.
void RegisterDriverFamilies(DriverDispatch& dispatch);

} // namespace sim::devio
