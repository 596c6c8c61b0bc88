// The PCI functions the PEI phase sees, read from the machine's device tree.
#include <cctype>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "sim/DescriptionValues.h"
#include "sim/MachineState.h"
#include "sim/Schema.h"
#include "sim/pei/PeiEnvironment.h"

namespace sim::pei {
namespace {

using namespace sim::schema;

// What only firmware sees of a PCI function: its base address registers as they read at power-on
// (raw register values, type bits included), and a SATA controller's remap register block
// (sim/pei/SataController.h).
const MoreFields kPciFields(
    "devices.nodes",
    {{"pci", Object({{"bars", Array(Word32(), 6)},
                     {"remap",
                      Object({{"id", Uint16()},
                              {"enabled", Bool()},
                              {"slots", Array(Object({{"slot", Uint(2)}, {"node", Text()}}, {"slot", "node"}),
                                              3)}})}})}});

std::string Upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// The hexadecimal field after `key` in the hardware part of a PCI instance id ("DEV_2826" -> 0x2826);
// `fallback` when the id has none.
uint32_t IdField(const std::string& hardware, const std::string& key, size_t digits, uint32_t fallback) {
    const size_t at = hardware.find(key);
    if (at == std::string::npos || at + key.size() + digits > hardware.size())
        return fallback;
    return static_cast<uint32_t>(std::strtoul(hardware.substr(at + key.size(), digits).c_str(), nullptr, 16));
}

// A property's value, plain or typed ({"type": ..., "value": ...}).
const nlohmann::json* Property(const nlohmann::json& node, const char* name) {
    auto properties = node.find("properties");
    if (properties == node.end())
        return nullptr;
    auto p = properties->find(name);
    if (p == properties->end())
        return nullptr;
    if (p->is_object())
        return p->contains("value") ? &p->at("value") : nullptr;
    return &*p;
}

std::optional<uint64_t> PropertyNumber(const nlohmann::json& node, const char* name) {
    const nlohmann::json* value = Property(node, name);
    return value ? ParseDescNumber(*value) : std::nullopt;
}

void Load(const nlohmann::json& node, size_t index, PciBus& bus) {
    const std::string id = node.at("id").get<std::string>();
    const std::string upper = Upper(id);
    const bool pciId = upper.rfind("PCI\\", 0) == 0;
    const auto busNumber = PropertyNumber(node, "BusNumber");
    const auto address = PropertyNumber(node, "Address");
    const bool present = node.value("present", true) && !node.value("pending", false);
    if (!pciId || !busNumber || !address || !present) {
        if (node.contains("pci"))
            throw std::runtime_error(
                "machine description: /devices/nodes/" + std::to_string(index) +
                "/pci: the node is no present PCI function with a BusNumber and an Address");
        return;
    }
    const std::string hardware = upper.substr(0, upper.find('\\', 4));
    auto& f = bus.Add(static_cast<uint8_t>(*busNumber), static_cast<uint8_t>(*address >> 16),
                      static_cast<uint8_t>(*address), id);
    f.Set(0x00, 2, IdField(hardware, "VEN_", 4, 0xFFFF));
    f.Set(0x02, 2, IdField(hardware, "DEV_", 4, 0xFFFF));
    f.Set(0x08, 1, IdField(hardware, "REV_", 2, 0));
    f.Set(0x09, 1, PropertyNumber(node, "PciProgIf").value_or(0));
    f.Set(0x0A, 1, PropertyNumber(node, "PciSubClass").value_or(0));
    f.Set(0x0B, 1, PropertyNumber(node, "PciBaseClass").value_or(0));
    // SUBSYS_ssssvvvv: the subsystem id, then its vendor.
    const uint32_t subsystem = IdField(hardware, "SUBSYS_", 8, 0);
    f.Set(0x2C, 2, subsystem & 0xFFFF);
    f.Set(0x2E, 2, subsystem >> 16);
    if (node.contains("pci") && node.at("pci").contains("bars")) {
        const auto& bars = node.at("pci").at("bars");
        for (size_t i = 0; i < bars.size(); ++i)
            f.Set(0x10 + 4 * static_cast<uint32_t>(i), 4, DescValue(bars[i]));
    }
}

} // namespace

void LoadPciFunctions(PciBus& bus) {
    Current().Read([&](const nlohmann::json& state) {
        if (!state.contains("devices") || !state.at("devices").contains("nodes"))
            return;
        const auto& nodes = state.at("devices").at("nodes");
        for (size_t i = 0; i < nodes.size(); ++i)
            Load(nodes[i], i, bus);
    });
}

} // namespace sim::pei
