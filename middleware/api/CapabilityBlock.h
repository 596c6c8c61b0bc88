#pragma once
// The three 64-byte capability blocks of the controller dictionary ("OROM version", "Driver
// version", "features enabled table"), read in one place by their offsets.
#include <cstdint>

#include "middleware/ioctl/ControllerDictionaryValues.h"

struct CapabilityBlock {
    uint16_t version[4];
    // Bit 0 RAID 0, 1 RAID 1, 2 RAID 10, 3 and 4 further levels.
    uint8_t raidLevels;
    // Bit n: a strip of 2^(n+1) KB.
    uint16_t stripMask;
    uint16_t disksPerArray;
    uint16_t disksTotal;
    uint8_t volumesPerArray;
    uint8_t volumesPerController;
    uint32_t wordA;
    uint16_t wordB;
    uint32_t wordC;
};

CapabilityBlock ReadCapabilityBlock(const char (&block)[64]);
CapabilityBlock ReadCapabilityBlock(const uint8_t (&block)[64]);

// The option ROM's and the driver's blocks, and the features table.
struct CapabilityBlocks {
    CapabilityBlock orom;
    CapabilityBlock driver;
    CapabilityBlock features;
};
CapabilityBlocks ReadCapabilityBlocks(const ControllerDictionaryValues& dictionary);
