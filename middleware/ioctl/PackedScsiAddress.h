#pragma once
// The one 32-bit key by which driver objects and Windows disks are matched: port << 24 | path << 16 |
// target << 8 | lun, 8 bits each; all ones for no address.
#include <cstdint>

using PackedScsiAddress = uint32_t;

constexpr PackedScsiAddress kNoScsiAddress = 0xFFFFFFFF;

// The port's bits above 8 fall off the result; the other parts are cut to 8 bits.
constexpr PackedScsiAddress PackScsiAddress(uint32_t port, uint32_t path, uint32_t target, uint32_t lun) {
    return port << 24 | (path & 0xFF) << 16 | (target & 0xFF) << 8 | (lun & 0xFF);
}

static_assert(PackScsiAddress(2, 0, 1, 0) == 0x02000100);
static_assert(PackScsiAddress(0x1FF, 0x1FF, 0, 0) == 0xFFFF0000);
