#pragma once
// The simulated driver's NV cache (SSD cache) actions: a volume's cache mode, disassociation,
// spindown policy and cache destruction, and a disk's cache mode. They change the "nv_cache"
// section of the adapter's "raid" section, so the next session reads the new state.
//
// Mode numbers are the driver's: 0 off, 3 safe, 5 performance; 1, 2, 4, 6 and 7 are the steps the
// driver passes through while it changes mode. With "transition_ms" set, a change rests on its step
// that long (on the simulator clock) before the new mode is reached; 6 and 7 flush the cache and
// report how much is left. "hold" names a mode number at which a change stops (a driver that hangs):
// held on its step, the change never ends; held on its target, the mode is reached but the change's
// last effect (releasing the accelerated volume when switching off) is never made.
#include <cstddef>
#include <cstdint>

#include "sim/driver/RaidState.h"

namespace sim::driver {

// Volume actions 15 (cache mode from the device action: 0 off, 3 safe, 5 performance), 17
// (disassociate), 18 (spindown value from the device action) and 19 (destroy the cache). Returns
// the driver's error number: 42 for a mode the driver does not know or an acceleration without a
// cache volume, 0 otherwise.
uint32_t CacheVolumeAction(json& raid, size_t volumeIndex, uint32_t action, uint32_t deviceAction,
                           uint64_t now);
// Disk action 17: the disk's cache mode from its action argument; a disk on an array with a volume
// makes that volume the accelerated one. Returns the driver's error number.
uint32_t CacheDiskAction(json& raid, size_t diskIndex, uint64_t now);

// A volume was deleted: the NV cache's volume indexes follow the volume table (the deleted cache or
// accelerated volume is gone from it).
void CacheVolumeRemoved(json& raid, size_t volumeIndex);
// A volume created with the cache volume's option becomes the NV cache's cache volume.
void CacheVolumeCreated(json& raid, size_t volumeIndex, uint64_t sizeMb);

// A mode change whose step has lasted its time and that no hold keeps.
bool CacheModeChangeDue(const json& raid, uint64_t now);
// Ends a due mode change: the target mode, and the accelerated volume released when switching off.
void FinishCacheModeChange(json& raid);
// The amount left and the total of a flushing step (6 or 7) at this time; false outside one.
bool CacheFlushProgress(const json& raid, uint64_t now, uint32_t& left, uint32_t& total);

} // namespace sim::driver
