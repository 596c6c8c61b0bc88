#pragma once
// Values of a machine description, read the one way every part of the simulator reads them: a
// number may be a JSON number, a boolean (1 or 0) or a text in C notation ("512", "0x1F4A", "-1");
// bytes are hexadecimal digits, white space allowed between them. The simulator's forms on its
// documents are in sim/DescriptionValues.h; these take a sim::Value.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/Value.h"

namespace sim {

// The number a value stands for, or nothing when it stands for none.
std::optional<uint64_t> ParseDescNumber(const Value& value);
// The number under a key of an object; `def` when the key is absent or its value stands for none.
uint64_t DescNumber(const Value& object, const char* key, uint64_t def = 0);
bool DescFlag(const Value& object, const char* key, bool def = false);
// The text under a key; `def` when absent or not a text.
std::string DescText(const Value& object, const char* key, const std::string& def = {});
// The bytes hexadecimal digits spell, or nothing for an odd count or a character that is no digit.
std::optional<std::vector<uint8_t>> ParseDescHex(std::string_view text);
// Bytes as the state document keeps them: two lower-case hexadecimal digits each, nothing between.
std::string FormatDescHex(const uint8_t* data, size_t size);
inline std::string FormatDescHex(const std::vector<uint8_t>& data) {
    return FormatDescHex(data.data(), data.size());
}

} // namespace sim
