#include "middleware/api/CapabilityBlock.h"

#include <cstring>

namespace {

template <class T> T At(const uint8_t* block, size_t offset) {
    T value;
    std::memcpy(&value, block + offset, sizeof value);
    return value;
}

CapabilityBlock Read(const uint8_t* block) {
    CapabilityBlock b{};
    for (int i = 0; i < 4; ++i)
        b.version[i] = At<uint16_t>(block, 6 + 2 * i);
    b.raidLevels = block[16];
    b.stripMask = At<uint16_t>(block, 18);
    b.disksPerArray = At<uint16_t>(block, 20);
    b.disksTotal = At<uint16_t>(block, 22);
    b.volumesPerArray = block[24];
    b.volumesPerController = block[25];
    b.wordA = At<uint32_t>(block, 26);
    b.wordB = At<uint16_t>(block, 30);
    b.wordC = At<uint32_t>(block, 34);
    return b;
}

} // namespace

CapabilityBlock ReadCapabilityBlock(const char (&block)[64]) {
    return Read(reinterpret_cast<const uint8_t*>(block));
}

CapabilityBlock ReadCapabilityBlock(const uint8_t (&block)[64]) {
    return Read(block);
}

CapabilityBlocks ReadCapabilityBlocks(const ControllerDictionaryValues& dictionary) {
    return {ReadCapabilityBlock(dictionary.oromVersion), ReadCapabilityBlock(dictionary.driverVersion),
            ReadCapabilityBlock(dictionary.featuresEnabled)};
}
