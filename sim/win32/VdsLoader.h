#pragma once
// The simulated Virtual Disk Service's loader object, which CoCreateInstance makes for CLSID_VdsLoader.
#include "platform/win/WinCom.h"

namespace sim::win32 {

// A new loader with one reference.
IUnknown* CreateVdsLoader();

} // namespace sim::win32
