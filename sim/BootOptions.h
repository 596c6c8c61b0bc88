#pragma once
// The firmware's boot options as the UEFI specification lays them out, for machine descriptions and
// tests: "BootOrder" (little-endian 16-bit option numbers) and "Boot####" load options (EFI_LOAD_OPTION:
// attributes at 0 (32 bits), the length of the device path list at 4 (16 bits), the description as
// NUL-terminated UTF-16 from 6, the device path list, then optional data). Built from those offsets
// alone, so a reader that gets an offset wrong is caught. The options live in the firmware variable
// store (sim/FirmwareVariables.h) under the global variable GUID.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim::firmware {

// EFI_GLOBAL_VARIABLE, in the store's spelling.
inline constexpr const char* kGlobalVariableGuid = "{8be4df61-93ca-11d2-aa0d-00e098032b8c}";

// LOAD_OPTION_ACTIVE.
constexpr uint32_t kLoadOptionActive = 0x1;

// One device path node: type, subtype, the data after the 4-byte header; `length` overrides the
// header's length field (a malformed node).
struct DevicePathNode {
    uint8_t type = 0;
    uint8_t subType = 0;
    std::vector<uint8_t> data;
    std::optional<uint16_t> length;
};

// A media file path node (type 4, subtype 4) with the NUL-terminated UTF-16 path.
DevicePathNode FilePathNode(const std::string& path);
// A media hard drive node (type 4, subtype 1) of a GPT partition.
DevicePathNode HardDriveNode(uint32_t partition, uint64_t startLba, uint64_t sizeLba,
                             const std::string& partitionGuid);
// A PCI node (type 1, subtype 1).
DevicePathNode PciNode(uint8_t device, uint8_t function);
// A messaging MAC address node (type 3, subtype 11) and an IPv4 node (type 3, subtype 12).
DevicePathNode MacNode(const std::vector<uint8_t>& mac);
DevicePathNode Ipv4Node();
// A messaging USB node (type 3, subtype 5).
DevicePathNode UsbNode(uint8_t port, uint8_t interfaceNumber);

// The bytes of a node, its header included.
std::vector<uint8_t> NodeBytes(const DevicePathNode& node);
// An EFI_LOAD_OPTION; the end node is appended to `path` unless endNode is false.
std::vector<uint8_t> LoadOption(uint32_t attributes, const std::string& description,
                                const std::vector<DevicePathNode>& path, bool endNode = true,
                                const std::vector<uint8_t>& optionalData = {});
std::vector<uint8_t> BootOrder(const std::vector<uint16_t>& order);
// "Boot" and four upper-case hexadecimal digits.
std::string BootOptionName(uint16_t number);

// The store's "BootOrder" (nothing when it is missing).
std::optional<std::vector<uint16_t>> ReadBootOrder();

} // namespace sim::firmware
