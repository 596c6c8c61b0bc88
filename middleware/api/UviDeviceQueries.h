#pragma once
// The exported queries of controllers, RAID limits and levels, the NV cache, cache statistics and
// end devices, with their records. Compiles as C as well as C++.
#include "middleware/api/UviControllerRecords.h"
#include "middleware/api/UviEndDeviceRecords.h"
#include "middleware/api/UviNvcRecords.h"
#include "middleware/api/UviRaidRecords.h"
#include "middleware/api/UviStatisticsRecords.h"
#include "middleware/core/Export.h"
#include "middleware/core/UviError.h"

// ---- controllers, RAID limits and levels, NV cache, statistics, end devices ----
// Each takes the session handle first (0: a temporary session for the one call). Handle lists
// follow the two-call convention: the count is the capacity in and the number needed out.
#ifdef __cplusplus
extern "C" {
#endif
MOX_EXPORT _UVI_Error UviGetControllerHandles(unsigned int session, uint32_t* handleList,
                                              uint32_t* handleCount);
MOX_EXPORT _UVI_Error UviGetControllerInfo(unsigned int session, uint32_t controllerHandle,
                                           _UVI_ControllerInfo* info);
MOX_EXPORT _UVI_Error UviGetThirdPartyControllerHandles(unsigned int session, uint32_t* handleList,
                                                        uint32_t* handleCount);
MOX_EXPORT _UVI_Error UviGetThirdPartyControllerInfo(unsigned int session, uint32_t controllerHandle,
                                                     _UVI_ThirdPartyControllerInfo* info);

MOX_EXPORT _UVI_Error UviGetRaidInfoHandles(unsigned int session, uint32_t* handleList,
                                            uint32_t* handleCount);
MOX_EXPORT _UVI_Error UviGetRaidInfo(unsigned int session, uint32_t raidInfoHandle, _UVI_RaidInfo* info);
MOX_EXPORT _UVI_Error UviGetRaidLevelInfo(unsigned int session, uint32_t raidInfoHandle, uint32_t raidLevel,
                                          _UVI_RaidLevelInfo* info);

// Answers 0xA0010008 (not 0xA001000C) while the library is not initialised.
MOX_EXPORT _UVI_Error UviGetNvcInfo(unsigned int session, uint32_t controllerHandle, _UVI_NvcInfo* info);

MOX_EXPORT _UVI_Error UviGetNvCachePolicyStatInfo(unsigned int session, NvCachePolicyStatInfo* info);
MOX_EXPORT _UVI_Error UviGetNvCacheStatInfo(unsigned int session, NvCacheStatInfo* info);
MOX_EXPORT _UVI_Error UviGetNvCacheStat2Info(unsigned int session, NvCacheStat2Info* info);
MOX_EXPORT _UVI_Error UviGetNvCacheUnifiedStats(unsigned int session, NvCacheUnifiedStats* info);
MOX_EXPORT _UVI_Error UviGetIoClassifierStats(unsigned int session, _UVI_IoClassifierCounters* counters);

MOX_EXPORT _UVI_Error UviGetEndDeviceHandles(unsigned int session, uint32_t* handleList,
                                             uint32_t* handleCount);
MOX_EXPORT _UVI_Error UviGetEndDeviceInfo(unsigned int session, uint32_t endDeviceHandle,
                                          _UVI_EndDeviceInfo* info);
MOX_EXPORT _UVI_Error UviGetThirdPartyEndDeviceHandles(unsigned int session, uint32_t* handleList,
                                                       uint32_t* handleCount);
MOX_EXPORT _UVI_Error UviGetThirdPartyEndDeviceInfo(unsigned int session, uint32_t endDeviceHandle,
                                                    _UVI_ThirdPartyEndDeviceInfo* info);

MOX_EXPORT _UVI_Error UviGetDiskIdentifyData(unsigned int session, uint32_t diskHandle,
                                             _UVI_DiskIdentifyData* data);
// Records of the disks in the driver's RAID disk table, or of those with a dictionary entry;
// controller handle 0 walks every controller. Succeeds only when the count equals the number found.
MOX_EXPORT _UVI_Error UviGetIxoEndDevices(unsigned int session, uint32_t controllerHandle,
                                          _UVI_EndDeviceInfo* records, uint32_t* count);
MOX_EXPORT _UVI_Error UviGetRdpDictEndDevices(unsigned int session, uint32_t controllerHandle,
                                              _UVI_EndDeviceInfo* records, uint32_t* count);
MOX_EXPORT _UVI_Error UviGetZpoddInfo(unsigned int session, uint32_t deviceHandle, _UVI_ZpoddInfo* info);
#ifdef __cplusplus
}
#endif
