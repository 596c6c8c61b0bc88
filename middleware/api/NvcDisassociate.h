#pragma once
// Separating a volume from the controller's NV cache (SSD cache).
#include <cstdint>

#include "middleware/core/ConsolidatedError.h"

class Session;

// The driver's disassociate action on the volume, then the partition refresh of every capable
// controller.
CConsolidatedError internalUviNvcDisassociate(Session& session, uint32_t volumeHandle);
