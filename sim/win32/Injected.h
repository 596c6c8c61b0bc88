#pragma once
// How a binding of sim/win32 meets the simulated machine: it records its call in the call log and
// asks the fault rules whether it is to fail.
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace sim::win32 {

// The outcome of the first fault rule that fires for the call, if any; the call is logged either way.
std::optional<nlohmann::json> Injected(const std::string& kind, const nlohmann::json& selectors = {});

} // namespace sim::win32
