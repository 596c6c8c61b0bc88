#pragma once
// RAID limits of each own-driver controller (by its RAID information handle) and what one RAID
// level allows on it.
#include <cstdint>

#include "middleware/api/UviRaidRecords.h"
#include "middleware/core/ConsolidatedError.h"

class Controller;
class Session;

CConsolidatedError internalUviGetRaidInfoHandles(Session* session, uint32_t* handleList,
                                                 uint32_t* handleCount);
CConsolidatedError internalUviRaidInfo(Session& session, uint32_t raidInfoHandle, _UVI_RaidInfo* info);
CConsolidatedError internalUviGetRaidLevelInfo(Session& session, uint32_t raidInfoHandle, uint32_t raidLevel,
                                               _UVI_RaidLevelInfo* info);

// The RAID level codes the controller offers: the levels both capability blocks name, 0x20 with
// cache-memory pairing, 0x40000 with single-disk RAID 0. 0 without a valid dictionary.
uint64_t computeRaidLevelMask(const Controller& controller);
