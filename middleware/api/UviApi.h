#pragma once
// The exported C interface of the storage management library. Every function has C linkage and its
// plain name; none lets an exception escape.
#include <cstddef>
#include <cstdint>

#include "middleware/api/UviArrayRecords.h"
#include "middleware/api/UviHybridRecords.h"
#include "middleware/api/UviPhyRecords.h"
#include "middleware/api/UviSystemRecords.h"
#include "middleware/api/UviVezkRecords.h"
#include "middleware/api/UviVolumeRecords.h"
#include "middleware/core/Export.h"
#include "middleware/core/UviError.h"

// Records of the controller, RAID, NV cache, statistics and end-device queries.
#include "middleware/api/UviControllerRecords.h"
#include "middleware/api/UviEndDeviceRecords.h"
#include "middleware/api/UviNvcRecords.h"
#include "middleware/api/UviRaidRecords.h"
#include "middleware/api/UviStatisticsRecords.h"

// ---- driver events ----

// One event of a subscription, filled by UviEventWaitWithHandle according to its kind; the fields a
// kind does not write keep what the caller's record held.
struct _UVI_EventRecord {
    // The top byte of the event device's packed SCSI address; 0 for software events.
    uint32_t controllerPort;
    // 1 controller event, 2 NVMe disk event, 3 software event.
    uint32_t kind;
    // Kind 1: the driver's event counter; kind 2: the disk's packed SCSI address in the low 4 bytes
    // (the high 4 are not written); kind 3: the software event's value.
    uint64_t firstData;
    // Kind 1: the driver's event value; kind 2: the NVMe asynchronous event information byte; not
    // written for kind 3.
    uint64_t secondData;
    // Kind 1 only: seven flags in bits 0 to 6 (bits 20 to 26 of the event value); bits 7 to 31 are 0.
    uint32_t flags;
};
static_assert(sizeof(_UVI_EventRecord) == 32);
static_assert(offsetof(_UVI_EventRecord, controllerPort) == 0);
static_assert(offsetof(_UVI_EventRecord, kind) == 4);
static_assert(offsetof(_UVI_EventRecord, firstData) == 8);
static_assert(offsetof(_UVI_EventRecord, secondData) == 16);
static_assert(offsetof(_UVI_EventRecord, flags) == 24);

extern "C" {

// ---- library life cycle ----

MOX_EXPORT _UVI_Error UviInitialize();
MOX_EXPORT _UVI_Error UviFinalize();

// Subscribes to every event device of the RAID driver's controllers and to software events; the
// event handle, or 0 on failure.
MOX_EXPORT unsigned long long UviEventSetUpForAllWithHandle();
// Subscribes to the devices of the controller with this storage port number and to software events;
// the event handle, or 0 on failure (also for a port without controller). Not exported by name: the
// command line calls it directly.
unsigned long long UviEventSetUpForKindWithHandle(int controllerPort);
// Waits up to the time (INFINITE allowed) for the subscription's next event: success with the
// record filled, 0xA0010061 when the time ran out, 0xA0010062 when the wait failed or the
// subscription was closed, 0xA0010003 for an unknown handle or a null record.
MOX_EXPORT _UVI_Error UviEventWaitWithHandle(unsigned int milliseconds, unsigned long long eventHandle,
                                             _UVI_EventRecord* record);
// Ends the subscription (a wait in progress returns 0xA0010062); always succeeds.
MOX_EXPORT _UVI_Error UviEventClose(unsigned long long eventHandle);
}

// ---- controllers, RAID limits and levels, NV cache, statistics, end devices ----
// Each takes the session handle first (0: a temporary session for the one call). Handle lists
// follow the two-call convention: the count is the capacity in and the number needed out.
extern "C" {
MOX_EXPORT _UVI_Error UviGetControllerHandles(uint32_t session, uint32_t* handleList, uint32_t* handleCount);
MOX_EXPORT _UVI_Error UviGetControllerInfo(uint32_t session, uint32_t controllerHandle,
                                           _UVI_ControllerInfo* info);
MOX_EXPORT _UVI_Error UviGetThirdPartyControllerHandles(uint32_t session, uint32_t* handleList,
                                                        uint32_t* handleCount);
MOX_EXPORT _UVI_Error UviGetThirdPartyControllerInfo(uint32_t session, uint32_t controllerHandle,
                                                     _UVI_ThirdPartyControllerInfo* info);

MOX_EXPORT _UVI_Error UviGetRaidInfoHandles(uint32_t session, uint32_t* handleList, uint32_t* handleCount);
MOX_EXPORT _UVI_Error UviGetRaidInfo(uint32_t session, uint32_t raidInfoHandle, _UVI_RaidInfo* info);
MOX_EXPORT _UVI_Error UviGetRaidLevelInfo(uint32_t session, uint32_t raidInfoHandle, uint32_t raidLevel,
                                          _UVI_RaidLevelInfo* info);

// Answers 0xA0010008 (not 0xA001000C) while the library is not initialised.
MOX_EXPORT _UVI_Error UviGetNvcInfo(uint32_t session, uint32_t controllerHandle, _UVI_NvcInfo* info);

MOX_EXPORT _UVI_Error UviGetNvCachePolicyStatInfo(uint32_t session, NvCachePolicyStatInfo* info);
MOX_EXPORT _UVI_Error UviGetNvCacheStatInfo(uint32_t session, NvCacheStatInfo* info);
MOX_EXPORT _UVI_Error UviGetNvCacheStat2Info(uint32_t session, NvCacheStat2Info* info);
MOX_EXPORT _UVI_Error UviGetNvCacheUnifiedStats(uint32_t session, NvCacheUnifiedStats* info);
MOX_EXPORT _UVI_Error UviGetIoClassifierStats(uint32_t session, _UVI_IoClassifierCounters* counters);

MOX_EXPORT _UVI_Error UviGetEndDeviceHandles(uint32_t session, uint32_t* handleList, uint32_t* handleCount);
MOX_EXPORT _UVI_Error UviGetEndDeviceInfo(uint32_t session, uint32_t endDeviceHandle,
                                          _UVI_EndDeviceInfo* info);
MOX_EXPORT _UVI_Error UviGetThirdPartyEndDeviceHandles(uint32_t session, uint32_t* handleList,
                                                       uint32_t* handleCount);
MOX_EXPORT _UVI_Error UviGetThirdPartyEndDeviceInfo(uint32_t session, uint32_t endDeviceHandle,
                                                    _UVI_ThirdPartyEndDeviceInfo* info);

MOX_EXPORT _UVI_Error UviGetDiskIdentifyData(uint32_t session, uint32_t diskHandle,
                                             _UVI_DiskIdentifyData* data);
// Records of the disks in the driver's RAID disk table, or of those with a dictionary entry;
// controller handle 0 walks every controller. Succeeds only when the count equals the number found.
MOX_EXPORT _UVI_Error UviGetIxoEndDevices(uint32_t session, uint32_t controllerHandle,
                                          _UVI_EndDeviceInfo* records, uint32_t* count);
MOX_EXPORT _UVI_Error UviGetRdpDictEndDevices(uint32_t session, uint32_t controllerHandle,
                                              _UVI_EndDeviceInfo* records, uint32_t* count);
MOX_EXPORT _UVI_Error UviGetZpoddInfo(uint32_t session, uint32_t deviceHandle, _UVI_ZpoddInfo* info);
}
