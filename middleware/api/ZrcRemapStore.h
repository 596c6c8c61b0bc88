#pragma once
// The three changes of the remap request. Each is one read-modify-write of the variable under its
// cross-process section (a second caller is refused at once with the section's error), writes the
// whole record or nothing, keeps the record it read and the record it wrote in the cache, and
// returns its result (0x20000000 on success) without throwing.
#include <cstdint>
#include <vector>

#include "middleware/core/ConsolidatedError.h"
#include "middleware/model/ZrcRemapRequestCache.h"

// Adds every location of the list (repeats count once, in the order first given). Refused as a
// whole when the list is empty, when one of its locations is already scheduled, or when the record
// would need more than 31 locations.
CConsolidatedError scheduleZrcRemap(ZrcRemapRequestCache& cache, const std::vector<uint16_t>& locations);
// Removes every scheduled location; bits 6-15 of the control word stay as they were.
CConsolidatedError clearZrcRemapRequest(ZrcRemapRequestCache& cache);
// Removes the listed locations; refused as a whole when one of them is not scheduled.
CConsolidatedError revertZrcRemap(ZrcRemapRequestCache& cache, const std::vector<uint16_t>& locations);
