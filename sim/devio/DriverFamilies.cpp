#include "sim/devio/DriverFamilies.h"

namespace sim::devio {

void RegisterDriverFamilies(DriverDispatch& dispatch) {
    // One line per family, for example: sim::driver::RegisterInterfaceVersionFamily(dispatch);
    (void)dispatch;
}

} // namespace sim::devio
