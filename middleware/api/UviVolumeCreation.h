#pragma once
/* Creating RAID volumes (from disks, with the array that holds them, or in an array's free space)
   and changing existing ones (added disks, another level or strip size, growing into the array's
   free space), and the two volume settings written straight into the driver. Compiles as C as well
   as C++. */
#include <stddef.h>
#include <stdint.h>

#include "middleware/core/Export.h"
#include "middleware/core/UviError.h"

#ifndef __cplusplus
#include <assert.h>
typedef struct _UVI_VolumeCreateParams _UVI_VolumeCreateParams;
typedef struct _UVI_VolumeCreateFromDisksParams _UVI_VolumeCreateFromDisksParams;
typedef struct _UVI_RaidLevelModifyParams _UVI_RaidLevelModifyParams;
#endif

/* A further volume in the free space of an existing array. */
struct _UVI_VolumeCreateParams {
    uint32_t arrayHandle;
    /* At most 16 characters and the terminator; the rest is padding. */
    char name[20];
    /* One bit: code v is a strip of 2 x v KiB. */
    uint32_t stripSize;
    /* One bit per level: 1 RAID 0, 2 RAID 1, 4 RAID 10, 8 RAID 5. */
    uint32_t raidLevel;
    /* Must be 0: the volume takes the array's free space. */
    uint64_t sizeInBytes;
};
static_assert(sizeof(_UVI_VolumeCreateParams) == 40, "record layout");
static_assert(offsetof(_UVI_VolumeCreateParams, name) == 4, "record layout");
static_assert(offsetof(_UVI_VolumeCreateParams, stripSize) == 24, "record layout");
static_assert(offsetof(_UVI_VolumeCreateParams, raidLevel) == 28, "record layout");
static_assert(offsetof(_UVI_VolumeCreateParams, sizeInBytes) == 32, "record layout");

/* A volume over the listed disks, with the array that holds it. */
struct _UVI_VolumeCreateFromDisksParams {
    const uint32_t* diskHandles;
    uint32_t diskCount;
    /* 0, or a listed disk whose data moves into the new volume. */
    uint32_t sourceDiskHandle;
    char name[20];
    uint32_t stripSize;
    uint32_t raidLevel;
    uint32_t padding;
    /* 0: the largest size the driver offers. */
    uint64_t sizeInBytes;
};
static_assert(sizeof(_UVI_VolumeCreateFromDisksParams) == 56, "record layout");
static_assert(offsetof(_UVI_VolumeCreateFromDisksParams, diskCount) == 8, "record layout");
static_assert(offsetof(_UVI_VolumeCreateFromDisksParams, sourceDiskHandle) == 12, "record layout");
static_assert(offsetof(_UVI_VolumeCreateFromDisksParams, name) == 16, "record layout");
static_assert(offsetof(_UVI_VolumeCreateFromDisksParams, stripSize) == 36, "record layout");
static_assert(offsetof(_UVI_VolumeCreateFromDisksParams, raidLevel) == 40, "record layout");
static_assert(offsetof(_UVI_VolumeCreateFromDisksParams, sizeInBytes) == 48, "record layout");

/* A volume's new level and strip size, with the disks added for it. */
struct _UVI_RaidLevelModifyParams {
    uint32_t stripSize;
    uint32_t raidLevel;
    uint64_t unused;
    /* May be null when diskCount is 0. */
    const uint32_t* diskHandles;
    uint32_t diskCount;
    uint32_t padding;
};
static_assert(sizeof(_UVI_RaidLevelModifyParams) == 32, "record layout");
static_assert(offsetof(_UVI_RaidLevelModifyParams, diskHandles) == 16, "record layout");
static_assert(offsetof(_UVI_RaidLevelModifyParams, diskCount) == 24, "record layout");

#ifdef __cplusplus
extern "C" {
#endif

/* A null record: 0xA0010002. */
MOX_EXPORT _UVI_Error UviVolumeCreate(const _UVI_VolumeCreateParams* params);
MOX_EXPORT _UVI_Error UviVolumeCreateFromDisks(_UVI_VolumeCreateFromDisksParams params);
MOX_EXPORT _UVI_Error UviAddDisksToArray(unsigned int arrayHandle, const uint32_t* diskHandles,
                                         unsigned int count);
/* A null record: 0xA0010002. */
MOX_EXPORT _UVI_Error UviRaidLevelModify(unsigned int volumeHandle, const _UVI_RaidLevelModifyParams* params);
MOX_EXPORT _UVI_Error UviExpandVolume(unsigned int volumeHandle);
/* Written straight into the driver of the controller on the storage port, whether or not the
   library is started. */
MOX_EXPORT _UVI_Error UviSetReadPatrolUnit(int port, int volumeIndex, uint64_t value);
MOX_EXPORT _UVI_Error UviToggleCoalescerPolicy(int port, int volumeIndex, int value);

#ifdef __cplusplus
}

#include "middleware/core/ConsolidatedError.h"
#include "platform/win/WinTypes.h"

class Controller;
class Session;

// Volume types of the internal creation: 0 from the exports, 1 to 3 for the cache volumes.
enum VolumeCreateType : int {
    kVolumeTypePlain = 0,
    kVolumeTypeCache = 1,
    kVolumeTypeCacheNoEvent = 2,
    kVolumeTypeCacheMemory = 3,
};

// A name of at most 16 characters of 0x20 to 0x7E, no backslash: 0xA0010005 otherwise. A null
// name is refused with 0xA0010002, so that no creation writes a name it never had.
CConsolidatedError ValidateVolumeName(const char* name);

CConsolidatedError internalUviVolumeCreateFromDisks(Session& session,
                                                    const _UVI_VolumeCreateFromDisksParams& params,
                                                    int volumeType);
// The creations of the cache volumes: no buffer-flush setting follows. On an array, the record's
// size is asked for (0: the array's free space); from disks, as internalUviVolumeCreateFromDisks
// without that setting. A null record: 0xA0010002.
CConsolidatedError createVolumeOnArray(Session& session, const _UVI_VolumeCreateParams* params,
                                       int volumeType);
CConsolidatedError createVolumeFromDisks(Session& session, const _UVI_VolumeCreateFromDisksParams* params,
                                         int volumeType);
// The checks, the claims, the new-volume group with the driver's parse and create, the cleanup of
// a failure and the new volume's policies. Refused checks change nothing on any disk.
CConsolidatedError internalUviVolumeCreate(Session& session, const uint32_t* disks, unsigned count,
                                           uint32_t sourceDisk, uint32_t arrayHandle, const char* name,
                                           uint32_t raidLevel, uint32_t stripSize, uint64_t sizeInBytes,
                                           uint32_t recoveryFlags, uint32_t masterDisk, int volumeType);
// The selection marks, the source disk and array indexes and the new-volume group for the next
// parse or create (expand, migrate) trigger.
CConsolidatedError setCreateModifyParams(Session& session, const uint32_t* disks, unsigned count,
                                         uint32_t sourceDisk, uint32_t arrayHandle, const char* name,
                                         uint32_t raidLevel, uint64_t sizeInBytes, uint32_t stripSize,
                                         const Controller& controller, HANDLE target, uint32_t recoveryFlags,
                                         uint32_t masterDisk, int volumeType);
CConsolidatedError setDiskCheckbox(Session& session, uint32_t diskHandle, HANDLE target, bool checked);
// The cache policy a new RAID 0 or RAID 1 volume starts with, chosen by how its first member is
// connected.
CConsolidatedError applyDefaultCachePolicyByName(Session& session, const char* name);
// Frees `bytes` at the end of the disk's last Windows volume.
CConsolidatedError MakeSpaceOnDiskForMetadata(Session* session, uint32_t diskHandle, uint64_t bytes);

CConsolidatedError internalUviVolumeModify(Session& session, const uint32_t* disks, unsigned count,
                                           uint32_t volumeHandle, uint32_t raidLevel, uint32_t stripSize,
                                           uint64_t sizeInBytes, bool expand);
CConsolidatedError internalUviAddDisksToArray(Session& session, uint32_t arrayHandle, const uint32_t* disks,
                                              unsigned count);
CConsolidatedError internalUviRaidLevelModify(Session& session, uint32_t volumeHandle,
                                              _UVI_RaidLevelModifyParams params);

#endif
