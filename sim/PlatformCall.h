#pragma once
// The one seam every simulated platform call passes through, in one order: the call is recorded in
// the machine's call log (when the log is kept), then the fault rules decide whether it fails and
// how. Bindings (sim/win32) and the services behind them call this before they do any work.
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include <nlohmann/json.hpp>

namespace sim {

// Returns the outcome of the first fault rule that fires for the call, if any.
std::optional<nlohmann::json> PlatformCall(const std::string& kind, const nlohmann::json& selectors,
                                           std::span<const uint8_t> input = {});

} // namespace sim
