#include "sim/BootOptions.h"

#include <cstdio>
#include <stdexcept>

#include "sim/FirmwareVariables.h"
#include "sim/WideText.h"

namespace sim::firmware {
namespace {

void Put16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t value) {
    Put16(out, static_cast<uint16_t>(value));
    Put16(out, static_cast<uint16_t>(value >> 16));
}

void Put64(std::vector<uint8_t>& out, uint64_t value) {
    Put32(out, static_cast<uint32_t>(value));
    Put32(out, static_cast<uint32_t>(value >> 32));
}

// NUL-terminated UTF-16, little-endian.
void PutUtf16(std::vector<uint8_t>& out, const std::string& text) {
    for (wchar_t c : FromUtf8(text)) {
        const uint32_t code = static_cast<uint32_t>(c);
        if (code > 0xFFFF) {
            Put16(out, static_cast<uint16_t>(0xD800 + ((code - 0x10000) >> 10)));
            Put16(out, static_cast<uint16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
        } else {
            Put16(out, static_cast<uint16_t>(code));
        }
    }
    Put16(out, 0);
}

// A GUID text in its mixed-endian byte form.
void PutGuid(std::vector<uint8_t>& out, const std::string& text) {
    auto normal = NormalGuid(text);
    if (!normal)
        throw std::invalid_argument("not a GUID in braces: " + text);
    const std::string& g = *normal;
    auto field = [&](size_t at, size_t digits) { return std::stoull(g.substr(at, digits), nullptr, 16); };
    Put32(out, static_cast<uint32_t>(field(1, 8)));
    Put16(out, static_cast<uint16_t>(field(10, 4)));
    Put16(out, static_cast<uint16_t>(field(15, 4)));
    for (size_t at : {20, 22, 25, 27, 29, 31, 33, 35})
        out.push_back(static_cast<uint8_t>(field(at, 2)));
}

} // namespace

DevicePathNode FilePathNode(const std::string& path) {
    DevicePathNode node{4, 4, {}, std::nullopt};
    PutUtf16(node.data, path);
    return node;
}

DevicePathNode HardDriveNode(uint32_t partition, uint64_t startLba, uint64_t sizeLba,
                             const std::string& partitionGuid) {
    DevicePathNode node{4, 1, {}, std::nullopt};
    Put32(node.data, partition);
    Put64(node.data, startLba);
    Put64(node.data, sizeLba);
    PutGuid(node.data, partitionGuid);
    node.data.push_back(2); // MBR type: GPT
    node.data.push_back(2); // signature type: GUID
    return node;
}

DevicePathNode PciNode(uint8_t device, uint8_t function) {
    return DevicePathNode{1, 1, {function, device}, std::nullopt};
}

DevicePathNode MacNode(const std::vector<uint8_t>& mac) {
    DevicePathNode node{3, 11, mac, std::nullopt};
    node.data.resize(32);   // the address field is 32 bytes
    node.data.push_back(1); // interface type: Ethernet
    return node;
}

DevicePathNode Ipv4Node() {
    // Local and remote addresses, ports, protocol, static flag, gateway and mask: all zero (DHCP).
    return DevicePathNode{3, 12, std::vector<uint8_t>(23, 0), std::nullopt};
}

DevicePathNode UsbNode(uint8_t port, uint8_t interfaceNumber) {
    return DevicePathNode{3, 5, {port, interfaceNumber}, std::nullopt};
}

std::vector<uint8_t> NodeBytes(const DevicePathNode& node) {
    std::vector<uint8_t> out{node.type, node.subType};
    Put16(out, node.length.value_or(static_cast<uint16_t>(4 + node.data.size())));
    out.insert(out.end(), node.data.begin(), node.data.end());
    return out;
}

std::vector<uint8_t> LoadOption(uint32_t attributes, const std::string& description,
                                const std::vector<DevicePathNode>& path, bool endNode,
                                const std::vector<uint8_t>& optionalData) {
    std::vector<uint8_t> list;
    for (const DevicePathNode& node : path) {
        const std::vector<uint8_t> bytes = NodeBytes(node);
        list.insert(list.end(), bytes.begin(), bytes.end());
    }
    if (endNode)
        list.insert(list.end(), {0x7F, 0xFF, 0x04, 0x00});
    std::vector<uint8_t> out;
    Put32(out, attributes);
    Put16(out, static_cast<uint16_t>(list.size()));
    PutUtf16(out, description);
    out.insert(out.end(), list.begin(), list.end());
    out.insert(out.end(), optionalData.begin(), optionalData.end());
    return out;
}

std::vector<uint8_t> BootOrder(const std::vector<uint16_t>& order) {
    std::vector<uint8_t> out;
    for (uint16_t number : order)
        Put16(out, number);
    return out;
}

std::string BootOptionName(uint16_t number) {
    char name[16];
    std::snprintf(name, sizeof name, "Boot%04X", number);
    return name;
}

std::optional<std::vector<uint16_t>> ReadBootOrder() {
    auto variable = Find("BootOrder", kGlobalVariableGuid);
    if (!variable)
        return std::nullopt;
    std::vector<uint16_t> order;
    for (size_t i = 0; i + 1 < variable->data.size(); i += 2)
        order.push_back(static_cast<uint16_t>(variable->data[i] | variable->data[i + 1] << 8));
    return order;
}

} // namespace sim::firmware
