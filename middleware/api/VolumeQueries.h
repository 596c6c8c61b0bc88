#pragma once
// The volumes of the own-driver controllers: their handles and the library's volume record, which
// the volume operations, the system information and the acceleration actions read as well.
#include <cstdint>

#include "middleware/api/UviVolumeRecords.h"
#include "middleware/core/ConsolidatedError.h"

class Session;

CConsolidatedError internalUviGetVolumeHandles(Session* session, uint32_t* handleList, uint32_t* handleCount);
CConsolidatedError internalUviGetVolumeInfo(Session& session, uint32_t volumeHandle, _UVI_VolumeInfo& info);
