#include "platform/win/WinBase.h"
#include "sim/Os.h"

int GetSystemMetrics(int index) {
    return index == SM_CLEANBOOT && sim::os::SafeMode() ? 1 : 0;
}
