#pragma once
// The remap request: the firmware variable through which controllers are scheduled to be pulled
// behind the remapping controller at the next boot. The firmware reads the same 64 bytes, so their
// layout is fixed: 32 little-endian 16-bit words; word 0 carries the count of scheduled locations in
// bits 0-5 (bits 6-15 belong to others and are written back as read), words 1 to 31 the locations.
#include <cstddef>
#include <cstdint>
#include <string>

struct ZrcRemapBiosVariable {
    static constexpr size_t kSize = 64;
    static constexpr unsigned kWords = 32;
    // Locations the record can hold; a count field above it still means a full record.
    static constexpr unsigned kSlots = 31;
    static constexpr uint16_t kCountMask = 0x003F;

    uint16_t words[kWords] = {};

    // The raw count field, 0 to 63.
    unsigned countField() const { return words[0] & kCountMask; }
    // How many locations are scheduled: the count field, with 31 to 63 read as 31.
    unsigned count() const;
    // Replaces bits 0-5 of word 0; the other bits keep their values.
    void setCountField(unsigned count);
    // Whether one of the scheduled locations equals the word.
    bool lists(uint16_t location) const;

    static ZrcRemapBiosVariable FromBytes(const uint8_t (&bytes)[kSize]);
    void toBytes(uint8_t (&bytes)[kSize]) const;
};
static_assert(sizeof(ZrcRemapBiosVariable) == ZrcRemapBiosVariable::kSize);
static_assert(offsetof(ZrcRemapBiosVariable, words) == 0);

// How messages name a location: "[bus or port number: 2], [device: 0], [function: 0]".
std::string ZrcRemapLocationText(uint16_t location);
