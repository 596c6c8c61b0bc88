#pragma once
// Software device nodes of the simulated machine: device nodes that a program asks Windows to make
// ("SWD\<enumerator>\<instance id>"), kept in the device tree ("devices" section) like every other
// node, with their lifetime under the node's "software" member:
//
//   { "id": "SWD\\SwStorageEnumerator\\SwStorageDevice&S123&FTW", "parent": "SCSI\\Disk&...\\4&1&0&000100",
//     "present": true, "properties": { "HardwareIds": ["ZQVSTORAGE\\...", "ZQVSTORAGE\\..."] },
//     "software": { "lifetime": "parent_present" } }
//
// A node made again while it exists (present or not) is the same node: it is present again, takes the
// new parent and identity, and has the handle lifetime until it is changed. Closing a node with the
// handle lifetime removes it: it turns phantom (nodes are never dropped from the tree). A node with
// the parent-present lifetime stays, present while its parent is.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/Value.h"

namespace sim::swdevices {

// "SWD\<enumerator>\<instance id>".
std::string DeviceId(const std::string& enumerator, const std::string& instanceId);

struct Creation {
    std::string enumerator;
    std::string parent;
    std::string instanceId;
    std::optional<std::vector<std::string>> hardwareIds;
    std::optional<std::string> description;
};

// Makes or revives the node; its device instance id in deviceId. A Win32 error: ERROR_NOT_FOUND
// when the parent is not a present device.
uint32_t Create(const Creation& creation, std::string* deviceId);
// ERROR_NOT_FOUND when there is no such node.
uint32_t SetLifetime(const std::string& deviceId, bool parentPresent);
// The handle of the node is closed; unless `keep`, a node with the handle lifetime is removed.
void Close(const std::string& deviceId, bool keep = false);

// For tests: the node's entry of the device tree (nothing when there is none) and whether it is
// present now (with every device above it).
std::optional<Value> Node(const std::string& deviceId);
bool Present(const std::string& deviceId);

} // namespace sim::swdevices
