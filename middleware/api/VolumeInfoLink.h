#pragma once
// The volume record filler of the volume queries, as the setters, the system information and the
// worst status read it. The reference is weak so that these build before the volume queries do;
// without them a caller answers 0xA001000A (see ReadVolumeInfo).
#include <cstdint>

#include "middleware/api/UviVolumeRecords.h"
#include "middleware/core/ConsolidatedError.h"

class Session;

__attribute__((weak)) CConsolidatedError internalUviGetVolumeInfo(Session& session, uint32_t volumeHandle,
                                                                  _UVI_VolumeInfo& info);

inline bool VolumeQueriesLinked() {
    return internalUviGetVolumeInfo != nullptr;
}

inline CConsolidatedError ReadVolumeInfo(Session& session, uint32_t volumeHandle, _UVI_VolumeInfo& info) {
    if (!VolumeQueriesLinked())
        return CConsolidatedError(CConsolidatedError::UVI_NOTIMPLEMENTED);
    return internalUviGetVolumeInfo(session, volumeHandle, info);
}
