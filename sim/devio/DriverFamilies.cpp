#include "sim/devio/DriverFamilies.h"

#include "sim/driver/RaidState.h"

namespace sim::devio {

void RegisterDriverFamilies(DriverDispatch& dispatch) {
    // One line per family, for example: sim::driver::RegisterInterfaceVersionFamily(dispatch);
    sim::driver::RegisterRaidConfigFamily(dispatch);
    sim::driver::RegisterDictionaryFamily(dispatch);
    sim::driver::RegisterVolumePortFamily(dispatch);
}

} // namespace sim::devio
