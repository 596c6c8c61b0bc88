#pragma once
// The ports of an own-driver controller as the simulated RAID driver reports them through its remap
// port, and the devices behind them; shared by the remap port, ATA/AHCI, NVMe, CSMI and zero-power
// optical drive families. The adapter's "ports" section lists one entry per address (the slot and
// its link); the device of an entry is the "disks" entry with the same port, path, target and LUN,
// the one description of that disk (sim/storage/DiskEntries.h). sim/README.md describes the sections.
//
// Address words of requests carry port << 24 | path << 16 | target << 8 | lun; the driver ignores
// the port byte (the request already reached its adapter).
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/DescriptionValues.h"
#include "sim/devio/Miniport.h"
#include "sim/driver/DriverEvents.h"

namespace sim::driver {

// SRB_IO_CONTROL.ReturnCode of a successful answer of the ATA/AHCI, NVMe and remap port families.
inline constexpr uint32_t kDriverOk = 0xFFFFFFFF;
// ReturnCode for an address the driver has no port or device for.
inline constexpr uint32_t kNoSuchDevice = 0;

DeviceAddress AddressOfWord(uint32_t word);

enum class Connection { Ata, Nvme, Other };
Connection ConnectionOf(const nlohmann::json& port);

// One port entry and what sits behind it, resolved in the machine document.
struct PortView {
    const nlohmann::json* port = nullptr;
    DeviceAddress address;
    Connection connection = Connection::Ata;
    // The device attached, or null for an empty port.
    const nlohmann::json* device = nullptr;
    // Where the device lives in the document, for changes the driver makes to it.
    nlohmann::json::json_pointer devicePath;
};

// Every port of the adapter with this storage port, in description order.
std::vector<PortView> PortsOf(const nlohmann::json& state, int adapterPort);
std::optional<PortView> FindPort(const nlohmann::json& state, int adapterPort, DeviceAddress address);

// Device kinds by their "protocol": "ata" (default), "atapi" (an optical drive) or "nvme".
bool IsNvmeDevice(const nlohmann::json& device);
bool IsAtapiDevice(const nlohmann::json& device);

// The 512-byte ATA IDENTIFY (or IDENTIFY PACKET) data of a device, strings in ATA byte order.
std::vector<uint8_t> AtaIdentifyData(const nlohmann::json& device);
// The 4096-byte NVMe Identify Controller data of a device.
std::vector<uint8_t> NvmeIdentifyData(const nlohmann::json& device);

// Answers from the current machine document, under its shared lock. A description the driver
// cannot read fails the request with ERROR_IO_DEVICE.
devio::DriverAnswer
AnswerFromMachine(const std::function<devio::DriverAnswer(const nlohmann::json& state)>& f);
// Answers with changes to the document, under its exclusive lock, and writes it back. The named
// events the answer lists in `signal` are signalled after the lock is released.
devio::DriverAnswer ChangeMachine(
    const std::function<devio::DriverAnswer(nlohmann::json& state, std::vector<std::string>& signal)>& f);

// Registration of the families, called from sim/devio/DriverFamilies.cpp.
void RegisterRemapPortFamily(devio::DriverDispatch& dispatch);
void RegisterAhciFamily(devio::DriverDispatch& dispatch);
void RegisterZpoddFamily(devio::DriverDispatch& dispatch);
void RegisterNvmeFamily(devio::DriverDispatch& dispatch);
void RegisterCsmiFamily(devio::DriverDispatch& dispatch);

} // namespace sim::driver
