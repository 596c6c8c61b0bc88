#pragma once
// Runs a RAID configuration change while the controller's named mutex is held, so that changes of
// other processes and threads on the same controller wait for it.
#include <functional>

#include "middleware/core/ConsolidatedError.h"

struct ControllerLocator;

// A mutex that cannot be taken, and whatever the work throws, becomes the result (as the exports
// convert exceptions), so callers get failures as values.
CConsolidatedError RunUnderControllerLock(ControllerLocator* locator,
                                          const std::function<CConsolidatedError()>& work);
