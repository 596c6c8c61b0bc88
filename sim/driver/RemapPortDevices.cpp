#include "sim/driver/RemapPortDevices.h"

#include <algorithm>
#include <cstdlib>
#include <exception>

#include "platform/win/WinError.h"
#include "sim/KernelObjects.h"
#include "sim/MachineState.h"
#include "sim/devio/Bytes.h"
#include "sim/storage/DiskEntries.h"
#include "sim/storage/DiskIdentity.h"

namespace sim::driver {
namespace {

using nlohmann::json;

const json* AdapterIn(const json& state, int port, size_t& index) {
    auto it = state.find("adapters");
    if (it == state.end() || !it->is_array())
        return nullptr;
    for (size_t i = 0; i < it->size(); ++i) {
        const json& a = (*it)[i];
        if (a.is_object() && a.value("port", -1) == port) {
            index = i;
            return &a;
        }
    }
    return nullptr;
}

// The device of a port entry: the "disks" entry at its address, the one description of the disk.
void ResolveDevice(const storage::PortDisks& disks, PortView& view) {
    size_t index = 0;
    view.device = disks.At(view.address.path, view.address.target, view.address.lun, &index);
    if (view.device)
        view.devicePath = json::json_pointer("/disks/" + std::to_string(index));
}

} // namespace

DeviceAddress AddressOfWord(uint32_t word) {
    return {static_cast<uint8_t>(word >> 16), static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word)};
}

Connection ConnectionOf(const json& port) {
    const std::string c = DescText(port, "connection", "ata");
    if (c == "nvme")
        return Connection::Nvme;
    if (c == "ata")
        return Connection::Ata;
    return Connection::Other;
}

namespace {

// The "ports" array of the adapter with this storage port, or null.
const json* PortEntriesOf(const json& state, int adapterPort) {
    size_t adapterIndex = 0;
    const json* adapter = AdapterIn(state, adapterPort, adapterIndex);
    if (!adapter)
        return nullptr;
    auto ports = adapter->find("ports");
    if (ports == adapter->end() || !ports->is_array())
        return nullptr;
    return &*ports;
}

DeviceAddress AddressOfPort(const json& p) {
    return {static_cast<uint8_t>(DescNumber(p, "path")), static_cast<uint8_t>(DescNumber(p, "target")),
            static_cast<uint8_t>(DescNumber(p, "lun"))};
}

PortView ViewOf(const storage::PortDisks& disks, const json& p, DeviceAddress address) {
    PortView view;
    view.port = &p;
    view.address = address;
    ResolveDevice(disks, view);
    // Without a connection of its own a port is connected the way its disk speaks.
    view.connection = p.contains("connection")                    ? ConnectionOf(p)
                      : view.device && IsNvmeDevice(*view.device) ? Connection::Nvme
                                                                  : Connection::Ata;
    return view;
}

} // namespace

std::vector<PortView> PortsOf(const json& state, int adapterPort) {
    std::vector<PortView> out;
    const json* ports = PortEntriesOf(state, adapterPort);
    if (!ports)
        return out;
    const storage::PortDisks disks(state, adapterPort);
    for (const json& p : *ports)
        if (p.is_object())
            out.push_back(ViewOf(disks, p, AddressOfPort(p)));
    return out;
}

// Resolves the device of the matching port only: a request names one port, and finding the disk
// of every other port of the adapter would search the disks once per port.
std::optional<PortView> FindPort(const json& state, int adapterPort, DeviceAddress address) {
    const json* ports = PortEntriesOf(state, adapterPort);
    if (!ports)
        return std::nullopt;
    for (const json& p : *ports)
        if (p.is_object() && AddressOfPort(p) == address)
            return ViewOf(storage::PortDisks(state, adapterPort), p, address);
    return std::nullopt;
}

bool IsNvmeDevice(const json& device) {
    return DescText(device, "protocol") == "nvme";
}

bool IsAtapiDevice(const json& device) {
    return DescText(device, "protocol") == "atapi";
}

std::vector<uint8_t> AtaIdentifyData(const json& device) {
    return storage::AtaIdentifyData(device);
}

std::vector<uint8_t> NvmeIdentifyData(const json& device) {
    return storage::NvmeIdentifyData(device);
}

devio::DriverAnswer AnswerFromMachine(const std::function<devio::DriverAnswer(const json& state)>& f) {
    devio::DriverAnswer answer;
    try {
        Current().Read([&](const json& state) { answer = f(state); });
    } catch (const std::exception&) {
        // A description the driver cannot read fails the request as a device error.
        return {ERROR_IO_DEVICE, 0};
    }
    return answer;
}

devio::DriverAnswer
ChangeMachine(const std::function<devio::DriverAnswer(json& state, std::vector<std::string>& signal)>& f) {
    devio::DriverAnswer answer;
    std::vector<std::string> signal;
    try {
        Current().Update([&](json& state) { answer = f(state, signal); });
    } catch (const std::exception&) {
        return {ERROR_IO_DEVICE, 0};
    }
    for (const auto& name : signal)
        SignalNamedEvent(name);
    return answer;
}

} // namespace sim::driver
