#include "middleware/api/RaidLevelTable.h"

// clang-format off
const RaidLevelRow RaidLevelTable[kRaidLevelRowCount] = {
    {0x1,     0, {0, 32, 32, 32, 32, 32}, {0, 32, 32, 32, 32, 32}, 1, 2, 32, 0, 0x9, 0x8, 0x7E, 0, 0, 0, 0},
    {0x2,     1, {0, 32, 32, 32, 32, 32}, {0, 32, 32, 32, 32, 32}, 2, 2, 2,  1, 0x9, 0x8, 0x20, 0, 0, 1, 0},
    {0x4,     1, {0, 0, 0, 32, 32, 32},   {0, 0, 0, 16, 16, 16},   2, 4, 4,  1, 0x8, 0x0, 0x3E, 1, 0, 1, 0},
    {0x8,     5, {0, 0, 64, 64, 64, 64},  {0, 0, 16, 16, 16, 16},  1, 3, 32, 2, 0x8, 0x0, 0x78, 0, 0, 1, 0},
    {0x1000,  1, {0, 32, 32, 32, 32, 32}, {0, 32, 32, 32, 32, 32}, 2, 2, 2,  1, 0x2, 0x0, 0x20, 0, 0, 1, 0},
    {0x40000, 0, {0, 32, 32, 32, 32, 32}, {0, 32, 32, 32, 32, 32}, 1, 1, 1,  0, 0x0, 0x0, 0x7E, 0, 0, 0, 0},
    {0x20,    0, {0, 32, 32, 32, 32, 32}, {0, 32, 32, 32, 32, 32}, 1, 2, 2,  0, 0x0, 0x0, 0x7E, 0, 0, 0, 0},
};
// clang-format on

const RaidLevelRow* GetRaidLevelDescriptor(uint32_t level) {
    for (const RaidLevelRow& row : RaidLevelTable)
        if (row.level == level)
            return &row;
    return nullptr;
}

int MinDisksToAddForMigration(uint32_t currentClass, uint32_t currentDisks, uint32_t targetClass) {
    const int d = static_cast<int>(currentDisks);
    if (targetClass > 3)
        return -1;
    switch (currentClass) {
    case 0: {
        const int answers[4] = {0, d, 1, 2};
        return answers[targetClass];
    }
    case 1: {
        const int toParity = d < 2 ? 2 : (d <= 3 ? 1 : 0);
        const int answers[4] = {0, 0, 0, toParity};
        return answers[targetClass];
    }
    case 2: {
        const int answers[4] = {0, d - 2, 0, 1};
        return answers[targetClass];
    }
    case 3: {
        const int answers[4] = {0, d - 4, 0, 0};
        return answers[targetClass];
    }
    default:
        return -1;
    }
}

uint64_t VolumeCapacityForLevel(uint32_t level, uint32_t disks, uint64_t sizePerDisk) {
    if (disks == 0)
        return 0;
    switch (level) {
    case 0x1:
        return sizePerDisk * disks;
    case 0x2:
    case 0x1000:
        return sizePerDisk;
    case 0x4:
        return (sizePerDisk * disks) >> 1;
    case 0x8:
        return sizePerDisk * (disks - 1);
    default:
        return 0;
    }
}
