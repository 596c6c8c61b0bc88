#pragma once
// The capacity of a controller's cache-memory module, for the controller's optimisation state.
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "middleware/core/ConsolidatedError.h"

// What the size needs of one disk of the controller.
struct HalvexModuleDisk {
    // Whether the disk's RAID disk record is a member of that array; null without a record.
    std::function<bool(uint32_t arrayIndex)> isMemberOfArrayIndex;
    // The record's one-byte member flag.
    bool memberFlag = false;
    // Block count x block length of its Windows view; 0 without one.
    uint64_t windowsCapacity = 0;
    // The driver found it valid for pairing.
    bool validForPairing = false;
    // Its capacity in bytes.
    uint64_t capacity = 0;
};

struct HalvexModuleController {
    // The pairing information answer; empty when the controller has none.
    std::span<const uint8_t> pairingAnswer;
    std::vector<HalvexModuleDisk> disks;
};

// Paired: the Windows capacity of the first disk of the pairing's array whose member flag is clear;
// else the largest disk valid for pairing. 0xA0000006 for a null controller, 0xA0070001 when there is
// no disk or the size is 0.
CConsolidatedError GetHalvexModuleSize(const HalvexModuleController* controller, uint64_t* size);
