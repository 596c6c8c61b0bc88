#pragma once
// Values of a machine description, read the one way every part of the simulator reads them: a
// number may be a JSON number, a boolean (1 or 0) or a text in C notation ("512", "0x1F4A", "-1");
// bytes are hexadecimal digits, white space allowed between them.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/DescriptionNumbers.h"

namespace sim {

// The number a value stands for, or nothing when it stands for none.
std::optional<uint64_t> ParseDescNumber(const nlohmann::json& value);
// The number, or `def` when the value stands for none.
uint64_t DescValue(const nlohmann::json& value, uint64_t def = 0);
// The number under a key of an object; `def` when the key is absent or its value stands for none.
uint64_t DescNumber(const nlohmann::json& object, const char* key, uint64_t def = 0);
bool DescFlag(const nlohmann::json& object, const char* key, bool def = false);
// The text under a key; `def` when absent or not a text.
std::string DescText(const nlohmann::json& object, const char* key, const std::string& def = {});

} // namespace sim
