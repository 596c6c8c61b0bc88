#pragma once
// The exported operations that change the RAID configuration or the system: rescan, partition
// refresh and link power, disk and volume operations, and the array write cache. Each has C
// linkage and returns its outcome as a _UVI_Error; none lets an exception escape.
#include <cstddef>
#include <cstdint>

#include "middleware/core/Export.h"
#include "middleware/core/UviError.h"

// The password of a locked drive and which kind of password it is.
struct _UVI_DiskUnlockInfo {
    uint8_t password[32];
    // 0 selects the master password (kind 1 of the unlock request), any other value the user password (0).
    uint8_t passwordKind;
};
static_assert(sizeof(_UVI_DiskUnlockInfo) == 33);
static_assert(offsetof(_UVI_DiskUnlockInfo, passwordKind) == 32);

extern "C" {

MOX_EXPORT _UVI_Error UviRescan();
MOX_EXPORT _UVI_Error UviRefreshPartitionInfo();
MOX_EXPORT _UVI_Error UviSetLpmStatus(int enable);

// Settings of the Windows drive "\\.\PhysicalDrive<driveNumber>"; only the setting 1 enables.
MOX_EXPORT _UVI_Error UviDiskSetCacheBufferFlushSetting(int driveNumber, int setting);
MOX_EXPORT _UVI_Error UviDiskSetWriteCachingPolicySetting(int driveNumber, int setting);

// Not implemented: 0xA001000A at once, even before the library is started.
MOX_EXPORT _UVI_Error UviDiskAssignStoragePool();
MOX_EXPORT _UVI_Error UviSetOrvexHybridDiskSubClassCode();

} // extern "C"
