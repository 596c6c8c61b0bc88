#pragma once
// The device tree of the simulated PC: the "devices" section of the machine. Device nodes with
// instance ids, parents up to the root, presence, setup classes, typed properties and device
// interfaces; the configuration manager of the platform layer answers from it.
//
// Node numbers (DEVINST): the root "HTREE\ROOT\0" is 1, the node at position i of "nodes" is i + 2.
// Nodes are never removed (a removed device turns phantom), so a number stays valid for the life of
// the machine.
//
// Every entry point checks the machine's fault rules first (kinds named after the configuration
// manager functions without the A/W suffix) and records itself in the call log. sim/README.md
// describes the section, the selectors and the outcomes.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/Value.h"

#include "platform/win/WinCfgMgr.h"

namespace sim::devices {

struct PropertyValue {
    DEVPROPTYPE type = DEVPROP_TYPE_EMPTY;
    std::vector<uint8_t> bytes;
};

// Device instance ids as a multi-string (texts, each NUL-terminated, and a final NUL). sizeQuery
// tells the size query from the fill (they are two calls, with two fault kinds).
CONFIGRET DeviceIdList(bool sizeQuery, const wchar_t* filter, ULONG flags, std::vector<wchar_t>& list);
// Interface paths of one class as a multi-string; deviceId (null or empty: every device) narrows it.
CONFIGRET InterfaceList(bool sizeQuery, const GUID& interfaceClass, const wchar_t* deviceId, ULONG flags,
                        std::vector<wchar_t>& list);
CONFIGRET InterfaceProperty(const std::wstring& interfacePath, const DEVPROPKEY& key, bool sizeQuery,
                            PropertyValue& value);
CONFIGRET Locate(const wchar_t* deviceId, ULONG flags, DEVINST& devInst);
CONFIGRET NodeProperty(DEVINST devInst, const DEVPROPKEY& key, bool sizeQuery, PropertyValue& value);
// Brings the pending devices below the node into the tree, present.
CONFIGRET Reenumerate(DEVINST devInst, ULONG flags);

// The same lookups as the simulator's (sim/DeviceTreeState.h) on a state given as a value.
bool HasNode(const Value& state, const std::string& instanceId);
std::optional<std::string> DeviceOfInterface(const Value& state, const std::string& interfacePath);
// The interface path Windows forms for a device: "\\?\" + the id with '\' as '#' + "#" + the class
// GUID in braces (+ "\" + the reference text), in lower case.
std::string InterfacePath(const std::string& instanceId, const std::string& interfaceClass,
                          const std::string& reference = {});

} // namespace sim::devices
