#pragma once
// The exported operations that change one disk of an own-driver controller: claim it, mark it
// failed or normal, make it a spare or release it, take it offline or bring it online, set or reset
// its SMART event, erase its RAID metadata and unlock a password-locked drive. Each builds a
// session for the call (mark as spare: a table session of its own, to validate first) and returns
// its outcome as a _UVI_Error; none lets an exception escape. The driver's new disk state shows in
// the next session.
#include "middleware/api/UviOperations.h"
#include "middleware/core/Export.h"
#include "middleware/core/UviError.h"

extern "C" {

MOX_EXPORT _UVI_Error UviDiskClaim(uint32_t diskHandle);
MOX_EXPORT _UVI_Error UviDiskClearMetadata(uint32_t diskHandle);
MOX_EXPORT _UVI_Error UviDiskMarkAsFailed(uint32_t diskHandle);
MOX_EXPORT _UVI_Error UviDiskMarkAsNormal(uint32_t diskHandle);
MOX_EXPORT _UVI_Error UviDiskMarkAsSpare(uint32_t diskHandle);
MOX_EXPORT _UVI_Error UviDiskUnmarkAsSpare(uint32_t diskHandle);
MOX_EXPORT _UVI_Error UviDiskMarkOffline(uint32_t diskHandle);
MOX_EXPORT _UVI_Error UviDiskMarkOnline(uint32_t diskHandle);
MOX_EXPORT _UVI_Error UviDiskSetSmartEvent(uint32_t diskHandle);
MOX_EXPORT _UVI_Error UviDiskResetSmartEvent(uint32_t diskHandle);
// 0xA0010002 for a null record, before the disk is looked up; 0xA0010013 when the drive takes no
// more attempts, 0xA0010014 for a wrong password.
MOX_EXPORT _UVI_Error UviDiskUnlock(uint32_t diskHandle, const _UVI_DiskUnlockInfo* unlockInfo);

} // extern "C"
