#pragma once
// How a platform call reaches the simulated machine: it records itself in the machine's call log
// and asks the fault rules whether it is to fail, and how.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace platform {

// Records the call and returns the outcome of the first fault rule that fires for it, if any.
std::optional<nlohmann::json> SimCall(const std::string& kind, const nlohmann::json& selectors,
                                      std::vector<uint8_t> input = {});

// A number of an outcome: a JSON number or a "0x..." string; fallback when absent or malformed.
uint32_t OutcomeNumber(const nlohmann::json& outcome, const char* key, uint32_t fallback);

} // namespace platform
