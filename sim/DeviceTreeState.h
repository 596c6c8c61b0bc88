#pragma once
// The device tree's lookups for the other parts of the simulator (state is the machine's document).
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "sim/DeviceTree.h"

namespace sim::devices {

// The node of an instance id (any case), or null; pending nodes are not in the tree yet.
const nlohmann::json* FindNode(const nlohmann::json& state, const std::string& instanceId);
// Whether the device (any case; the root too) is in the tree and present with every device above it.
bool IsPresent(const nlohmann::json& state, const std::string& instanceId);
// The instance id of the device that owns an interface path (any case).
std::optional<std::string> DeviceOfInterface(const nlohmann::json& state, const std::string& interfacePath);

} // namespace sim::devices
