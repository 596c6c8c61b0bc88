#pragma once
// The cache-memory pairing enumerations: conversions from the model's values and a pair verdict
// as the error the pairing enable reports.
#include <cstdint>

#include "middleware/api/UviVezkRecords.h"
#include "middleware/core/ConsolidatedError.h"

// 0, 1 and 2 pass; any other value throws 0xA0010010 "Cannot convert value: 0x%X to FileCacheMode".
_UVI_VezkFileCacheMode ToVezkFileCacheMode(uint32_t value);
// The driver's pair verdict: 0 to 4 kept, 6 to 8 moved up by one, anything else internal error (5).
_UVI_VezkDiskPairStatus ToVezkDiskPairStatus(uint32_t verdict);
// Success for 0; else the status's code with "Disk pair not valid" and the status text.
CConsolidatedError PairStatusToError(uint32_t status);
