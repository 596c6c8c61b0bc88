#pragma once
// The exported operations on one RAID volume and on an array as a whole. Each works on a temporary
// session of its own, has C linkage and returns its outcome as a _UVI_Error; none lets an exception
// escape. A volume whose state does not allow the operation gives 0xA0010012 and nothing is sent.
#include "middleware/core/Export.h"
#include "middleware/core/UviError.h"

extern "C" {

// Deletes the volume; when it was its array's only volume the member disks are freed (their
// metadata cleared) and an event-log entry names them. The boot volume is never deleted.
MOX_EXPORT _UVI_Error UviVolumeDelete(unsigned int volumeHandle);
// A normal volume that is not yet initialised.
MOX_EXPORT _UVI_Error UviVolumeInitialize(unsigned int volumeHandle);
// A failed volume.
MOX_EXPORT _UVI_Error UviVolumeMarkAsNormal(unsigned int volumeHandle);
// A degraded volume onto the disk (or any volume onto a pass-through disk): the disk is claimed,
// and made a spare when it belongs to no array yet.
MOX_EXPORT _UVI_Error UviVolumeRebuild(unsigned int volumeHandle, unsigned int diskHandle);
MOX_EXPORT _UVI_Error UviVolumeVerify(unsigned int volumeHandle, bool repair);
MOX_EXPORT _UVI_Error UviVolumeCancelVerify(unsigned int volumeHandle);
// At most 16 printable characters, no backslash; the volume's flush-policy value moves with it.
MOX_EXPORT _UVI_Error UviVolumeRename(unsigned int volumeHandle, const char* newName);
// 1 off, 2 write-through, 3 write-back (Windows buffer flushing is turned off first), 4 read.
MOX_EXPORT _UVI_Error UviVolumeSetCachePolicy(unsigned int volumeHandle, int policy);
MOX_EXPORT _UVI_Error UviVolumeSetExportPolicy(unsigned int volumeHandle, int policy);
// true: Windows takes the volume's disk as power-protected and stops flushing its buffers.
MOX_EXPORT _UVI_Error UviVolumeSetBufferFlush(unsigned int volumeHandle, bool powerProtected);

// The low 8 bits of state are the array's new write-cache policy; a policy already in effect sends
// nothing.
MOX_EXPORT _UVI_Error UviArraySetWriteCacheState(unsigned int arrayHandle, int state);

} // extern "C"
