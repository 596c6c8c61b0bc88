#include "sim/SoftwareDevices.h"

#include <cctype>

#include <nlohmann/json.hpp>

#include "platform/win/WinError.h"
#include "sim/DeviceTreeState.h"
#include "sim/MachineState.h"
#include "sim/Schema.h"
#include "sim/ValueJson.h"

namespace sim::swdevices {
namespace {

using nlohmann::json;
namespace sc = sim::schema;

const sc::MoreFields
    kSoftware("devices.nodes",
              {{"software", sc::Object({{"lifetime", sc::OneOfText({"handle", "parent_present"})}})}});

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The node entry of an id, pending or not.
json* Entry(json& state, const std::string& deviceId) {
    if (!state.contains("devices") || !state["devices"].contains("nodes"))
        return nullptr;
    for (json& node : state["devices"]["nodes"])
        if (Lower(node.at("id").get<std::string>()) == Lower(deviceId))
            return &node;
    return nullptr;
}

} // namespace

std::string DeviceId(const std::string& enumerator, const std::string& instanceId) {
    return "SWD\\" + enumerator + "\\" + instanceId;
}

uint32_t Create(const Creation& c, std::string* deviceId) {
    const std::string id = DeviceId(c.enumerator, c.instanceId);
    uint32_t result = ERROR_SUCCESS;
    Current().Update([&](json& state) {
        if (!devices::IsPresent(state, c.parent)) {
            result = ERROR_NOT_FOUND;
            return;
        }
        json* node = Entry(state, id);
        if (!node) {
            json& nodes = state["devices"]["nodes"];
            if (!nodes.is_array())
                nodes = json::array();
            nodes.push_back({{"id", id}});
            node = &nodes.back();
        }
        node->erase("pending");
        node->erase("present");
        (*node)["parent"] = c.parent;
        if (c.hardwareIds)
            (*node)["properties"]["HardwareIds"] = *c.hardwareIds;
        if (c.description)
            (*node)["properties"]["DeviceDesc"] = *c.description;
        (*node)["software"] = {{"lifetime", "handle"}};
    });
    if (result == ERROR_SUCCESS && deviceId)
        *deviceId = id;
    return result;
}

uint32_t SetLifetime(const std::string& deviceId, bool parentPresent) {
    uint32_t result = ERROR_SUCCESS;
    Current().Update([&](json& state) {
        json* node = Entry(state, deviceId);
        if (!node) {
            result = ERROR_NOT_FOUND;
            return;
        }
        (*node)["software"]["lifetime"] = parentPresent ? "parent_present" : "handle";
    });
    return result;
}

void Close(const std::string& deviceId, bool keep) {
    if (keep)
        return;
    Current().Update([&](json& state) {
        json* node = Entry(state, deviceId);
        if (node && node->contains("software") && (*node)["software"].value("lifetime", "handle") == "handle")
            (*node)["present"] = false;
    });
}

std::optional<Value> Node(const std::string& deviceId) {
    std::optional<Value> found;
    Current().Read([&](const json& state) {
        if (const json* node = devices::FindNode(state, deviceId))
            found = ToValue(*node);
    });
    return found;
}

bool Present(const std::string& deviceId) {
    bool present = false;
    Current().Read([&](const json& state) { present = devices::IsPresent(state, deviceId); });
    return present;
}

} // namespace sim::swdevices
