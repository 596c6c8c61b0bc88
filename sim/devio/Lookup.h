#pragma once
// Lookups in the machine document for the request handlers (null when absent).
#include <string>

#include <nlohmann/json.hpp>

namespace sim::devio {

const nlohmann::json* FindAdapter(const nlohmann::json& state, int port);
const nlohmann::json* FindDisk(const nlohmann::json& state, int deviceNumber);
const nlohmann::json* FindVolume(const nlohmann::json& state, const std::string& letter);

} // namespace sim::devio
