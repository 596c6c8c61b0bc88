#pragma once
// The cache-memory pairing record of a controller, shared by the exports and the pairing actions.
#include <cstdint>

#include "middleware/api/UviVezkRecords.h"
#include "middleware/core/ConsolidatedError.h"

class Session;

// The overall progress the record shows: while the pair rebuilds (state 2) the driver's progress
// is half of the way, the later half when the migration creates the pair (type 1). -1 stays -1.
int32_t OverallMigrationProgress(int32_t progress, uint32_t pairingState, uint32_t migrationType);

// Controller handle 0: the first own-driver controller that supports pairing (none: 0xA0070019);
// an unknown handle: 0xA0000004. The record is zeroed and filled.
CConsolidatedError internalUviVezkNvcInfo(Session& session, uint32_t controllerHandle, _UVI_VezkInfo& info);
