#pragma once
// The simulated driver's NV cache (SSD cache) actions: a volume's cache mode, disassociation,
// spindown policy and cache destruction, and a disk's cache mode. They change the "nv_cache"
// section of the adapter's "raid" section, so the next session reads the new state.
#include <cstddef>
#include <cstdint>

#include "sim/driver/RaidState.h"

namespace sim::driver {

// Volume actions 15 (cache mode from the device action: 0 off, 3 safe, 5 performance), 17
// (disassociate), 18 (spindown value from the device action) and 19 (destroy the cache). Returns
// the driver's error number: 42 for a mode the driver does not know or an acceleration without a
// cache volume, 0 otherwise.
uint32_t CacheVolumeAction(json& raid, size_t volumeIndex, uint32_t action, uint32_t deviceAction);
// Disk action 17: the disk's cache mode from its action argument; a disk on an array with a volume
// makes that volume the accelerated one. Returns the driver's error number.
uint32_t CacheDiskAction(json& raid, size_t diskIndex);

} // namespace sim::driver
