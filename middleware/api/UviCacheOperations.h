#pragma once
// The exported SSD cache (NV cache) operations. Each has C linkage and returns its outcome as a
// _UVI_Error; none lets an exception escape. Enabling acceleration and creating cache volumes are
// no longer offered through this interface: they answer 0xA001000E at once.
#include "middleware/api/UviNvcRecords.h"
#include "middleware/core/Export.h"
#include "middleware/core/UviError.h"

extern "C" {

// Mode 1 (off) only, after the disk's action validation; any other mode is refused at once.
MOX_EXPORT _UVI_Error UviDiskSetCacheMode(unsigned int diskHandle, _UVI_NvcMode mode);
// Mode 1 (off) only; any other mode is refused at once.
MOX_EXPORT _UVI_Error UviVolumeSetCacheMode(unsigned int volumeHandle, _UVI_NvcMode mode);
MOX_EXPORT _UVI_Error UviDiskDestroyCache(unsigned int diskHandle);
MOX_EXPORT _UVI_Error UviVolumeDestroyCache(unsigned int volumeHandle);
// Policies 1 (never), 2, 4 (10 minutes), 8 (1 minute), 16; every other value is refused.
MOX_EXPORT _UVI_Error UviDiskSetCacheSpindownPolicy(unsigned int diskHandle, int policy);
MOX_EXPORT _UVI_Error UviVolumeSetCacheSpindownPolicy(unsigned int volumeHandle, int policy);
MOX_EXPORT _UVI_Error UviNvcDisassociate(unsigned int volumeHandle);
// Refused at once, even before the library is started.
MOX_EXPORT _UVI_Error UviCacheVolumeCreateFromDisks();
MOX_EXPORT _UVI_Error UviCacheVolumeCreateFromArray();

} // extern "C"
