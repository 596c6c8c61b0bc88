#pragma once
// The arrays of the own-driver controllers: their handles, the library's array record, and the
// collection of records by RAID configuration index that the array and volume queries share.
#include <cstdint>
#include <functional>
#include <vector>

#include "middleware/api/UviArrayRecords.h"
#include "middleware/core/ConsolidatedError.h"

class Controller;
class Session;

CConsolidatedError internalUviGetArrayHandles(Session* session, uint32_t* handleList, uint32_t* handleCount);
CConsolidatedError internalUviGetArrayHandlesByControllerHandle(Session* session, uint32_t controllerHandle,
                                                                uint32_t* handleList, uint32_t* handleCount);
// Named "internalUviArrayInfo" in its messages.
CConsolidatedError fillArrayInfo(Session& session, uint32_t arrayHandle, _UVI_ArrayInfo* info);

// The handles of a controller's objects by RAID configuration index; 0 for an index without object.
using RaidIndexSource = std::function<std::vector<uint32_t>(const Controller&)>;
// Fills record `position` of the caller's list from the object with the handle.
using RaidIndexFiller = std::function<CConsolidatedError(Session&, uint32_t handle, uint32_t position)>;

// Records of one controller's objects (controller handle 0: of every own-driver controller) in
// index order. *count carries the capacity in and the number of objects out; only a capacity equal
// to that number succeeds (a larger one fills every record and answers 0xA001000D).
CConsolidatedError CollectByRaidIndex(Session& session, uint32_t controllerHandle, bool haveRecords,
                                      uint32_t* count, const RaidIndexSource& source,
                                      const RaidIndexFiller& filler);

// The index sources of arrays and volumes: indexes 0 up to the configuration group's count, and on
// to the synthetic pairing object the model puts after the driver's.
std::vector<uint32_t> ArraysByRaidIndex(const Controller& controller);
std::vector<uint32_t> VolumesByRaidIndex(const Controller& controller);
