#include "sim/driver/RemapPortDevices.h"

#include <algorithm>
#include <cstdlib>
#include <exception>

#include "platform/win/WinError.h"
#include "sim/KernelObjects.h"
#include "sim/MachineState.h"
#include "sim/devio/Bytes.h"

namespace sim::driver {
namespace {

using nlohmann::json;

bool SameAddress(const json& entry, DeviceAddress a) {
    if (entry.contains("address"))
        return AddressOfWord(static_cast<uint32_t>(DescNumber(entry, "address"))) == a;
    return DescNumber(entry, "path") == a.path && DescNumber(entry, "target") == a.target &&
           DescNumber(entry, "lun") == a.lun;
}

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

// The device of a port entry and where it lives.
void ResolveDevice(const json& state, const json& adapter, size_t adapterIndex, size_t portIndex,
                   PortView& view) {
    const std::string adapterPath = "/adapters/" + std::to_string(adapterIndex);
    if (view.port->contains("device") && view.port->at("device").is_object()) {
        view.device = &view.port->at("device");
        view.devicePath = json::json_pointer(adapterPath + "/ports/" + std::to_string(portIndex) + "/device");
        return;
    }
    const int adapterPort = adapter.value("port", -1);
    if (auto disks = state.find("disks"); disks != state.end() && disks->is_array())
        for (size_t i = 0; i < disks->size(); ++i) {
            const json& d = (*disks)[i];
            if (d.is_object() && d.value("port", -1) == adapterPort && SameAddress(d, view.address)) {
                view.device = &d;
                view.devicePath = json::json_pointer("/disks/" + std::to_string(i));
                return;
            }
        }
    if (auto raid = adapter.find("raid"); raid != adapter.end() && raid->is_object())
        if (auto disks = raid->find("disks"); disks != raid->end() && disks->is_array())
            for (size_t i = 0; i < disks->size(); ++i) {
                const json& d = (*disks)[i];
                if (!d.is_object())
                    continue;
                // An entry that names a Windows disk stands for it; that disk was looked at above.
                if (d.contains("device_number") && !d.contains("path") && !d.contains("address"))
                    continue;
                if (SameAddress(d, view.address)) {
                    view.device = &d;
                    view.devicePath = json::json_pointer(adapterPath + "/raid/disks/" + std::to_string(i));
                    return;
                }
            }
}

// ATA words: the text's characters in pairs, the first of each pair in the high byte.
void WordText(devio::ByteWriter& w, size_t word, const std::string& text, size_t words) {
    w.AtaText(2 * word, text, 2 * words);
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

std::vector<PortView> PortsOf(const json& state, int adapterPort) {
    std::vector<PortView> out;
    size_t adapterIndex = 0;
    const json* adapter = AdapterIn(state, adapterPort, adapterIndex);
    if (!adapter)
        return out;
    auto ports = adapter->find("ports");
    if (ports == adapter->end() || !ports->is_array())
        return out;
    for (size_t i = 0; i < ports->size(); ++i) {
        const json& p = (*ports)[i];
        if (!p.is_object())
            continue;
        PortView view;
        view.port = &p;
        view.address = {static_cast<uint8_t>(DescNumber(p, "path")),
                        static_cast<uint8_t>(DescNumber(p, "target")),
                        static_cast<uint8_t>(DescNumber(p, "lun"))};
        view.connection = ConnectionOf(p);
        ResolveDevice(state, *adapter, adapterIndex, i, view);
        out.push_back(std::move(view));
    }
    return out;
}

std::optional<PortView> FindPort(const json& state, int adapterPort, DeviceAddress address) {
    for (auto& view : PortsOf(state, adapterPort))
        if (view.address == address)
            return view;
    return std::nullopt;
}

bool IsNvmeDevice(const json& device) {
    return DescText(device, "protocol") == "nvme";
}

bool IsAtapiDevice(const json& device) {
    return DescText(device, "protocol") == "atapi";
}

std::vector<uint8_t> AtaIdentifyData(const json& device) {
    std::vector<uint8_t> id(512);
    devio::ByteWriter w(id);
    auto word = [&](size_t n, uint64_t v) { w.U16(2 * n, v); };
    const bool atapi = IsAtapiDevice(device);
    const uint64_t sectors = DescNumber(device, "sectors");
    uint64_t logical = DescNumber(device, "logical_sector_size", DescNumber(device, "sector_size", 512));
    if (logical == 0)
        logical = 512;
    const uint64_t physical = DescNumber(device, "physical_sector_size", logical);
    const json security = device.value("security", json::object());
    // The security feature set belongs to ATA devices; a packet device reports none.
    const bool hasSecurity = !atapi && !security.is_null() && !security.empty();
    const bool trusted = device.contains("tcg") || DescFlag(device, "trusted_computing");

    // Word 0: an ATAPI CD/DVD device with removable media, or a fixed ATA device.
    word(0, atapi ? 0x85C0 : 0x0040);
    WordText(w, 10, DescText(device, "serial"), 10);
    WordText(w, 23, DescText(device, "firmware"), 4);
    WordText(w, 27, DescText(device, "model"), 20);
    // Word 47 (READ/WRITE MULTIPLE) does not apply to a packet device.
    word(47, atapi ? 0 : 0x8010);
    word(48, 0x4000 | (trusted ? 1 : 0));
    word(49, 0x2F00);
    // Word 53: words 64-70 and word 88 are valid, so they hold the transfer modes and cycle times.
    word(53, 0x0006);
    word(63, 0x0007);
    word(64, 0x0003);
    for (size_t n = 65; n <= 68; ++n)
        word(n, 0x0078);
    word(88, 0x407F);
    if (!atapi) {
        w.U32(2 * 60, std::min<uint64_t>(sectors, 0x0FFFFFFF));
        word(75, DescNumber(device, "queue_depth", 32) - 1);
    }
    // Word 76: native command queuing and the SATA generations up to the device's speed.
    const uint64_t gen = std::clamp<uint64_t>(DescNumber(device, "sata_generation", 3), 1, 3);
    word(76, 0x0100 | ((1u << (gen + 1)) - 2));
    word(80, 0x07F0);
    if (atapi) {
        // Supported and enabled: NOP, DEVICE RESET, the PACKET feature set and power management;
        // no security, SMART or 48-bit addressing, and no extended words 119-120.
        word(82, 0x4218);
        word(83, 0x4000);
        word(84, 0x4000);
        word(85, 0x4218);
        word(86, 0x0000);
        word(87, 0x4000);
    } else {
        // Word 82 bit 1 and word 85 bit 1 (security supported and enabled) follow word 128.
        word(82, 0x7469 | (hasSecurity ? 0x0002 : 0));
        word(83, 0x7501);
        word(84, 0x4163);
        word(85, 0x7469 | (hasSecurity && DescFlag(security, "enabled") ? 0x0002 : 0));
        // Word 86 bit 15: words 119-120 are valid (their bit 14 set, bit 15 clear).
        word(86, 0xB401);
        word(87, 0x4163);
        word(119, 0x4000);
        word(120, 0x4000);
    }
    if (!atapi)
        w.U64(2 * 100, sectors);
    // Word 106: valid, 2^n logical sectors per physical sector, long logical sectors.
    uint16_t sectorInfo = 0x4000;
    uint16_t exponent = 0;
    while ((logical << exponent) < physical && exponent < 15)
        ++exponent;
    if (exponent != 0)
        sectorInfo |= 0x2000 | exponent;
    if (logical != 512) {
        sectorInfo |= 0x1000;
        w.U32(2 * 117, logical / 2);
    }
    word(106, sectorInfo);
    if (hasSecurity) {
        // Word 128: supported, enabled, locked, frozen, count expired, enhanced erase, level.
        uint16_t status = 0x0001 | 0x0020;
        if (DescFlag(security, "enabled"))
            status |= 0x0002;
        if (DescFlag(security, "locked"))
            status |= 0x0004;
        if (DescFlag(security, "frozen"))
            status |= 0x0008;
        if (DescNumber(security, "attempts_left", 5) == 0)
            status |= 0x0010;
        if (DescText(security, "level", "high") == "maximum")
            status |= 0x0100;
        word(128, status);
    }
    word(217, DescNumber(device, "rotation_rate", 1));
    // Word 255: signature 0xA5 and the checksum that makes all 512 bytes sum to zero.
    id[510] = 0xA5;
    uint8_t sum = 0;
    for (size_t i = 0; i < 511; ++i)
        sum = static_cast<uint8_t>(sum + id[i]);
    id[511] = static_cast<uint8_t>(0x100 - sum);
    return id;
}

std::vector<uint8_t> NvmeIdentifyData(const json& device) {
    std::vector<uint8_t> id(4096);
    devio::ByteWriter w(id);
    const json nvme = device.value("nvme", json::object());
    const json hmb = nvme.value("hmb", json::object());
    w.U16(0, DescNumber(device, "pci_vendor"));
    w.U16(2, DescNumber(device, "pci_subsystem_vendor", DescNumber(device, "pci_vendor")));
    w.Text(4, DescText(device, "serial"), 20);
    w.Text(24, DescText(device, "model"), 40);
    w.Text(64, DescText(device, "firmware"), 8);
    w.U8(72, 6);
    const uint64_t oui = DescNumber(nvme, "ieee_oui");
    w.U8(73, oui), w.U8(74, oui >> 8), w.U8(75, oui >> 16);
    w.U8(77, 5);
    w.U16(78, DescNumber(nvme, "controller_id", 1));
    w.U32(80, DescNumber(nvme, "version", 0x00010400));
    w.U16(256, 0x0017);
    w.U8(258, 3);
    w.U8(259, 3);
    w.U8(260, 0x16);
    w.U8(261, 0x0E);
    w.U8(262, 63);
    w.U8(263, 4);
    w.U8(264, 1);
    w.U16(266, DescNumber(nvme, "warning_temperature", 358));
    w.U16(268, DescNumber(nvme, "critical_temperature", 363));
    // Host memory buffer sizes, in 4 KiB units.
    w.U32(272, DescNumber(hmb, "preferred_size"));
    w.U32(276, DescNumber(hmb, "minimum_size", DescNumber(hmb, "preferred_size")));
    const uint64_t bytes = DescNumber(device, "sectors") * DescNumber(device, "logical_sector_size", 512);
    w.U64(280, bytes);
    w.U8(512, 0x66);
    w.U8(513, 0x44);
    w.U32(516, 1);
    w.U16(520, 0x005F);
    w.U8(525, 1);
    return id;
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
