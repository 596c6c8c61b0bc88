#pragma once
// The simulated Task Scheduler's service object, which CoCreateInstance makes for CLSID_TaskScheduler.
#include "platform/win/WinCom.h"

namespace sim::win32 {

// A new, unconnected service object with one reference.
IUnknown* CreateTaskService();

} // namespace sim::win32
