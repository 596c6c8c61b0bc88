#pragma once
// The end devices of the own-driver controllers: their handles and the library's one disk record.
#include <cstdint>
#include <memory>

#include "middleware/api/UviEndDeviceRecords.h"
#include "middleware/core/ConsolidatedError.h"

class Controller;
class RaidArray;
class RaidVolume;
class Session;

CConsolidatedError internalUviGetEndDeviceHandles(Session* session, uint32_t* handleList,
                                                  uint32_t* handleCount);
CConsolidatedError internalUviGetEndDeviceInfo(Session& session, uint32_t handle, _UVI_EndDeviceInfo* info);

// Whether the array carries one of the controller's cache volumes: the one-disk array of its
// accelerated volume, or (with an SSD cache) an array holding a volume the driver flags 0x10000.
bool IsCacheArray(const Controller& controller, const std::shared_ptr<RaidArray>& array);
bool AcceleratedVolumeOnSingleDiskArray(const Controller& controller, int32_t arrayIndex,
                                        std::shared_ptr<RaidVolume>& volume);
bool ArrayHasCacheFlaggedVolume(const Controller& controller, uint32_t arrayHandle);

// Does `a` match `b` as a serial number: `b` begins with `a`; or, for an `a` of 14 characters or
// more, `b` without its last two characters occurs in `a`. An empty text never matches.
bool SerialMatch(const char* a, const char* b);
// 1 when the firmware text is 8 characters, begins with "K" and its characters 6 to 8 are below "310".
uint8_t IsOldFirmware(const char* firmware);
