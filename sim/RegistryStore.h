#pragma once
// The registry's values as the simulator keeps them in the machine's document.
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/Registry.h"

namespace sim::registry {

std::vector<uint8_t> ValueBytes(const nlohmann::json& value, TextForm form, uint32_t* type);
nlohmann::json ValueFromBytes(uint32_t type, const uint8_t* data, size_t size, TextForm form);
uint32_t QueryValue(const std::string& key, const std::string& name, nlohmann::json* value);
uint32_t SetValue(const std::string& key, const std::string& name, const nlohmann::json& value);

} // namespace sim::registry
