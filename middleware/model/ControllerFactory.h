#pragma once
// Picks the kind of controller a record of the controller table becomes, from its classification
// flags and from whether its driver answers every interface the library requires.
#include <cstdint>
#include <memory>

#include "middleware/ioctl/ControllerLocator.h"

class Controller;

// A new controller of the chosen kind, not yet populated; null only when it cannot be allocated.
// The constructor's CConsolidatedError (a record the interface version store does not know) passes.
std::unique_ptr<Controller> ControllerFactory(uint32_t flags, ControllerLocator* locator,
                                              bool allRequiredSupported);
