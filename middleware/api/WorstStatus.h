#pragma once
// The worst status over a session's disks, volumes and caches: 0 all well, 1 attention, 2 failed.
#include <cstdint>

#include "middleware/core/ConsolidatedError.h"

class Session;

namespace worst_status {

// A disk's share from its end-device state and usage; acceleratedMember: one of the disk's volumes
// is the controller's accelerated volume.
uint32_t DiskContribution(uint32_t state, uint32_t usage, bool acceleratedMember);
// A volume's share from its exported record's state, block-cache flags (offsets 100, 103) and
// supported-level flag (offset 104).
uint32_t VolumeContribution(uint32_t state, bool blockCacheVolume, bool arrayHasBlockCacheVolume,
                            bool levelSupported);
// A controller's NV cache share from its cache state.
uint32_t CacheContribution(uint32_t cacheState);

} // namespace worst_status

// A failed disk or volume record read ends the computation with its error.
CConsolidatedError computeWorstStatus(Session& session, int& worstStatus);
