#pragma once
// The model reaching up into the acceleration layer.
#include "middleware/accelerate/PairingServiceSteps.h"
#include "middleware/pairing/PairingState.h"
