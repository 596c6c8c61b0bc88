#pragma once
// Other vendors' end devices, and the gathering of end-device handles and records controller by
// controller.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "middleware/api/UviEndDeviceRecords.h"
#include "middleware/core/ConsolidatedError.h"

class Controller;
class Disk;
class Session;

// The disks a controller contributes to a collection, in order; an entry may be empty.
using DiskSelector = std::function<std::vector<std::shared_ptr<Disk>>(const Controller&)>;

// Gathers the handles of the controllers' disks into the list (capacity in *count). A controller
// whose disks do not all fit contributes none; the total needed is always set, with 0xA001000D
// when the list was too small.
CConsolidatedError collectEndDeviceHandles(Session& session, uint32_t* handleList, uint32_t* count,
                                           const std::vector<std::shared_ptr<Controller>>& controllers,
                                           const DiskSelector& selector);
// Fills one end-device record per gathered disk (controller handle 0: every own-driver controller),
// with the original array's index and handle laid over. Succeeds only when *count equals the
// number of disks.
CConsolidatedError collectEndDeviceRecords(Session& session, uint32_t controllerHandle,
                                           _UVI_EndDeviceInfo* records, uint32_t* count,
                                           const DiskSelector& selector);

CConsolidatedError internalUviGetThirdPartyEndDeviceInfo(Session& session, uint32_t handle,
                                                         _UVI_ThirdPartyEndDeviceInfo* info);
