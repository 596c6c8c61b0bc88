#pragma once
// The NV cache (SSD cache) record of a controller, built from the NV cache information group the
// controller keeps.
#include <cstdint>

#include "middleware/api/UviNvcRecords.h"
#include "middleware/core/ConsolidatedError.h"

class Controller;
class Session;

CConsolidatedError internalUviGetNvcInfo(Session& session, uint32_t controllerHandle, _UVI_NvcInfo* info);
// Fills the record of one controller (the caller found it).
void FillNvcInfo(const Controller& controller, _UVI_NvcInfo& info);

// (total - free) x 100 / total in 64-bit arithmetic, clamped to 0..100; 0 when the total is 0.
uint32_t PercentOfCapacityUsed(uint32_t total, uint32_t free);
// 100 - used x 100 / total in 64-bit arithmetic, clamped to 0..100; -1 when the total is 0.
int32_t RemainingPercent(uint64_t total, uint64_t used);

// The driver's mode number 0..7 as a mode of the C interface; -1 for any other number.
_UVI_NvcMode NvcModeOfNumber(int32_t modeNumber);
