#pragma once
// Changes of a RAID array as a whole.
#include <cstdint>
#include <functional>

#include "middleware/core/ConsolidatedError.h"

class Session;

// Deletes one volume on the session (the volume deletion of the volume operations).
using VolumeDeleter = std::function<CConsolidatedError(Session& session, uint32_t volumeHandle)>;

// Deletes the volumes of the array one at a time, each pass in a session of its own because each
// deletion changes what the next one sees, until a pass finds none left. The passes are bounded by
// the number of volumes the first one saw: a driver that reports a deletion without carrying it out
// ends in 0xA001000F instead of looping.
CConsolidatedError RemoveArrayVolumesWith(uint32_t controllerHandle, uint32_t arrayHandle,
                                          const VolumeDeleter& deleteVolume);

// The same with the volume operations' deletion. An array handle of 0 deletes nothing; a controller
// the session does not know gives 0xA0000006.
CConsolidatedError removeAllArrayVolumes(uint32_t controllerHandle, uint32_t arrayHandle);
// The name the disk operations know it by.
CConsolidatedError removeAllVolumesFromArray(uint32_t controllerHandle, uint32_t arrayHandle);

// Sets the array's write-cache policy to the low 8 bits of state through a configuration change of
// the driver (trigger kind 13); a policy already in effect sends nothing.
CConsolidatedError internalUviArraySetWriteCacheState(Session& session, uint32_t arrayHandle, int state);
