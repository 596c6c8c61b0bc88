#pragma once
// The records of the controllers a session lists: own-driver controllers with their capabilities,
// and other vendors' controllers.
#include <cstdint>
#include <memory>

#include "middleware/api/UviControllerRecords.h"
#include "middleware/core/ConsolidatedError.h"

class Controller;
class Session;

// The controller a query without controller handle describes: the first remapping controller,
// else the first AHCI controller; null when the session has neither.
std::shared_ptr<Controller> FindDefaultController(const Session& session);

CConsolidatedError internalUviGetControllerHandles(Session* session, uint32_t* handleList,
                                                   uint32_t* handleCount);
// Controller handle 0 describes the session's default controller: the first remapping controller,
// else the first AHCI controller.
CConsolidatedError internalUviGetControllerInfo(Session& session, uint32_t controllerHandle,
                                                _UVI_ControllerInfo* info);
CConsolidatedError internalUviGetThirdPartyControllerHandles(Session& session, uint32_t* handleList,
                                                             uint32_t* handleCount);
CConsolidatedError internalUviGetThirdPartyControllerInfo(Session& session, uint32_t controllerHandle,
                                                          _UVI_ThirdPartyControllerInfo* info);

// The controller's acceleration byte: 1 when both the option ROM's and the driver's capability
// blocks give the SSD caching capability (bit 25 of capability word A), the flag at record offset 449.
uint8_t ControllerAccelerationByte(const Controller& controller);
// The driver keeps the block-cache volume for itself: its volume record carries the cache flag
// (0x10000) and the controller's acceleration byte is 0. Such a cache accelerates nothing the
// interface shows.
bool BlockCacheKeptByDriver(const Controller& controller);

// The capability flag bytes packed into one mask: flags 0 to 5 into bits 0 to 5, flag 31 into bit 6,
// flags 6 to 26 into bits 7 to 27, flags 64 and 65 into bits 29 and 30.
uint64_t PackCapabilityFlags(const uint8_t (&flags)[UVI_CAPABILITY_FLAG_COUNT]);
