#include "sim/devio/DriverFamilies.h"

#include "sim/driver/InterfaceVersion.h"
#include "sim/driver/RaidState.h"
#include "sim/driver/RemapPortDevices.h"

namespace sim::devio {

void RegisterDriverFamilies(DriverDispatch& dispatch) {
    // One line per family, for example: sim::driver::RegisterInterfaceVersionFamily(dispatch);
    sim::driver::RegisterRaidConfigFamily(dispatch);
    sim::driver::RegisterDictionaryFamily(dispatch);
    sim::driver::RegisterVolumePortFamily(dispatch);
    sim::driver::RegisterRemapPortFamily(dispatch);
    sim::driver::RegisterAhciFamily(dispatch);
    sim::driver::RegisterZpoddFamily(dispatch);
    sim::driver::RegisterNvmeFamily(dispatch);
    sim::driver::RegisterCsmiFamily(dispatch);
    sim::driver::RegisterInterfaceVersionFamily(dispatch);
}

} // namespace sim::devio
