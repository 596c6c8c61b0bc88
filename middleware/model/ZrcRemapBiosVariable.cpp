#include "middleware/model/ZrcRemapBiosVariable.h"

#include <algorithm>
#include <cstdio>

#include "middleware/model/ZrcRemapAddress.h"

unsigned ZrcRemapBiosVariable::count() const {
    return std::min(countField(), kSlots);
}

void ZrcRemapBiosVariable::setCountField(unsigned count) {
    words[0] = static_cast<uint16_t>((words[0] & ~kCountMask) | (count & kCountMask));
}

bool ZrcRemapBiosVariable::lists(uint16_t location) const {
    const unsigned n = count();
    return std::find(words + 1, words + 1 + n, location) != words + 1 + n;
}

ZrcRemapBiosVariable ZrcRemapBiosVariable::FromBytes(const uint8_t (&bytes)[kSize]) {
    ZrcRemapBiosVariable record;
    for (unsigned i = 0; i < kWords; ++i)
        record.words[i] = static_cast<uint16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    return record;
}

void ZrcRemapBiosVariable::toBytes(uint8_t (&bytes)[kSize]) const {
    for (unsigned i = 0; i < kWords; ++i) {
        bytes[2 * i] = static_cast<uint8_t>(words[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<uint8_t>(words[i] >> 8);
    }
}

std::string ZrcRemapLocationText(uint16_t location) {
    char text[96];
    std::snprintf(text, sizeof text, "[bus or port number: %d], [device: %d], [function: %d]",
                  ZrcRemapAddressBus(location), ZrcRemapAddressDevice(location),
                  ZrcRemapAddressFunction(location));
    return text;
}
