// CSMI SAS requests ("CSMIALL", "CSMISAS") as the published structures lay them out: driver
// information, controller configuration and status, phy information, the SATA signature of the
// device on a phy and the STP pass-through of CHECK POWER MODE. The adapter answers them when its
// description has a "csmi" section.
#include <algorithm>
#include <string>

#include "platform/win/WinError.h"
#include "sim/devio/Bytes.h"
#include "sim/driver/RemapPortDevices.h"

namespace sim::driver {
namespace {

using devio::ByteReader;
using devio::ByteWriter;
using devio::DriverAnswer;
using devio::DriverRequest;
using nlohmann::json;

constexpr const char* kAll = "CSMIALL";
constexpr const char* kSas = "CSMISAS";
constexpr uint32_t kGetDriverInfo = 1;
constexpr uint32_t kGetControllerConfig = 2;
constexpr uint32_t kGetControllerStatus = 3;
constexpr uint32_t kGetPhyInfo = 20;
constexpr uint32_t kStpPassThrough = 25;
constexpr uint32_t kGetSataSignature = 26;

// IOCTL_HEADER.ReturnCode values of the CSMI standard.
constexpr uint32_t kCsmiSuccess = 0;
constexpr uint32_t kCsmiFailed = 1;
constexpr uint32_t kCsmiInvalidParameter = 3;

constexpr uint8_t kEndDevice = 0x10;
constexpr uint8_t kProtocolSata = 0x01;
constexpr uint8_t kMaxPhys = 32;

// ATA register values of the signature FIS and the power modes of CHECK POWER MODE.
constexpr uint8_t kD2hRegisterFis = 0x34;
constexpr uint8_t kCheckPowerMode = 0xE5;
constexpr uint8_t kH2dRegisterFis = 0x27;
constexpr uint8_t kFisCommandBit = 0x80;
// STP pass-through flags: the data direction and protocol bits (read, write, PIO, DMA, packet,
// queued DMA); a command without data sets none of them.
constexpr uint32_t kStpDataFlags = 0x01 | 0x02 | 0x10 | 0x20 | 0x40 | 0x80;

const json* CsmiSection(const json& state, int port) {
    if (auto a = state.find("adapters"); a != state.end() && a->is_array())
        for (const auto& adapter : *a)
            if (adapter.is_object() && adapter.value("port", -1) == port) {
                auto it = adapter.find("csmi");
                return it != adapter.end() && it->is_object() ? &*it : nullptr;
            }
    return nullptr;
}

const json& Sub(const json& object, const char* key) {
    static const json empty = json::object();
    auto it = object.find(key);
    return it != object.end() && it->is_object() ? *it : empty;
}

// Four 16-bit revision words from a "major.minor.build.release" text.
void WriteRevision(ByteWriter& w, size_t at, const std::string& text) {
    size_t pos = 0;
    for (int i = 0; i < 4; ++i) {
        const size_t dot = text.find('.', pos);
        w.U16(at + 2 * i,
              pos < text.size() ? std::strtoul(text.substr(pos, dot - pos).c_str(), nullptr, 10) : 0);
        pos = dot == std::string::npos ? text.size() : dot + 1;
    }
}

// The phys of the adapter: its ATA ports, each on the phy its "phy" names (its target id by default).
struct Phy {
    uint8_t number = 0;
    const PortView* port = nullptr;
};
std::vector<Phy> PhysOf(const std::vector<PortView>& ports) {
    std::vector<Phy> phys;
    for (const auto& view : ports)
        if (view.connection == Connection::Ata) {
            const uint64_t n = DescNumber(*view.port, "phy", view.address.target);
            if (n < kMaxPhys)
                phys.push_back({static_cast<uint8_t>(n), &view});
        }
    std::sort(phys.begin(), phys.end(), [](const Phy& a, const Phy& b) { return a.number < b.number; });
    return phys;
}

uint8_t LinkRate(uint64_t speed) {
    switch (speed) {
    case 1:
        return 0x08;
    case 2:
        return 0x09;
    case 3:
        return 0x0A;
    default:
        return 0x00;
    }
}

template <typename F> DriverAnswer WithCsmi(DriverRequest& request, F&& f) {
    return AnswerFromMachine([&](const json& state) {
        const json* csmi = CsmiSection(state, request.port);
        if (!csmi)
            return DriverAnswer{ERROR_INVALID_FUNCTION, 0};
        request.SetReturnCode(kCsmiSuccess);
        f(state, *csmi, ByteWriter(request.buffer), ByteReader(request.buffer));
        return DriverAnswer{};
    });
}

DriverAnswer DriverInfo(DriverRequest& request) {
    return WithCsmi(request, [&](const json&, const json& csmi, ByteWriter w, ByteReader) {
        const json& d = Sub(csmi, "driver");
        w.Text(28, DescText(d, "name", "OrvexRaid"), 81, '\0');
        w.Text(109, DescText(d, "description", "Orvex RAID driver"), 81, '\0');
        WriteRevision(w, 190, DescText(d, "version", "1.0.0.0"));
        w.U16(198, DescNumber(d, "csmi_major", 0));
        w.U16(200, DescNumber(d, "csmi_minor", 81));
    });
}

DriverAnswer ControllerConfig(DriverRequest& request) {
    return WithCsmi(request, [&](const json&, const json& csmi, ByteWriter w, ByteReader) {
        const json& c = Sub(csmi, "config");
        constexpr size_t at = 28;
        w.U32(at + 0, DescNumber(c, "base_io_address"));
        w.U64(at + 4, DescNumber(c, "base_memory_address", 0xDF000000));
        w.U32(at + 12, DescNumber(c, "board_id"));
        w.U16(at + 16, DescNumber(c, "slot"));
        w.U8(at + 18, DescNumber(c, "controller_class", 5)); // HBA
        w.U8(at + 19, DescNumber(c, "bus_type", 3));         // PCI
        w.U8(at + 20, DescNumber(c, "bus"));
        w.U8(at + 21, DescNumber(c, "device", 0x17));
        w.U8(at + 22, DescNumber(c, "function"));
        w.Text(at + 52, DescText(c, "serial"), 81, '\0');
        WriteRevision(w, at + 134, DescText(c, "version", "1.0.0.0"));
        WriteRevision(w, at + 142, DescText(c, "bios_version", "1.0.0.0"));
        w.U32(at + 152, DescNumber(c, "flags", 0x00000001)); // SAS HBA
        WriteRevision(w, at + 156, DescText(c, "rrom_version", "0.0.0.0"));
        WriteRevision(w, at + 164, DescText(c, "rrom_bios_version", "0.0.0.0"));
    });
}

DriverAnswer ControllerStatus(DriverRequest& request) {
    return WithCsmi(request, [&](const json&, const json& csmi, ByteWriter w, ByteReader) {
        const json& s = Sub(csmi, "status");
        w.U32(28, DescNumber(s, "status", 1)); // good
        w.U32(32, DescNumber(s, "offline_reason"));
    });
}

DriverAnswer PhyInfo(DriverRequest& request) {
    return WithCsmi(request, [&](const json& state, const json&, ByteWriter w, ByteReader) {
        const auto ports = PortsOf(state, request.port);
        const auto phys = PhysOf(ports);
        w.U8(28, phys.empty() ? 0 : phys.back().number + 1);
        for (const auto& phy : phys) {
            const size_t e = 32 + 64 * size_t{phy.number};
            const json& p = *phy.port->port;
            const bool attached = phy.port->device != nullptr;
            // Identify of the controller's phy.
            w.U8(e + 0, kEndDevice);
            w.U8(e + 2, kProtocolSata);
            w.U8(e + 20, phy.number);
            w.U8(e + 28, phy.number);
            w.U8(e + 29, attached ? LinkRate(DescNumber(p, "speed", 3)) : 0);
            w.U8(e + 30, LinkRate(1));
            w.U8(e + 31, LinkRate(DescNumber(p, "controller_max_speed", 3)));
            if (!attached)
                continue;
            // Identify of the attached device; its SAS address bytes 0-2 carry lun, target, path.
            const size_t a = e + 36;
            w.U8(a + 0, kEndDevice);
            w.U8(a + 3, kProtocolSata);
            w.U8(a + 12, phy.port->address.lun);
            w.U8(a + 13, phy.port->address.target);
            w.U8(a + 14, phy.port->address.path);
            w.U8(a + 20, phy.number);
        }
    });
}

DriverAnswer SataSignature(DriverRequest& request) {
    return WithCsmi(request, [&](const json& state, const json&, ByteWriter w, ByteReader r) {
        const auto ports = PortsOf(state, request.port);
        const uint8_t wanted = r.U8(28);
        for (const auto& phy : PhysOf(ports)) {
            if (phy.number != wanted || !phy.port->device)
                continue;
            // The device-to-host register FIS the device sent at reset, with its signature.
            const bool atapi = IsAtapiDevice(*phy.port->device);
            w.U8(32, kD2hRegisterFis);
            w.U8(34, 0x50);
            w.U8(35, 0x01);
            w.U8(36, 0x01);
            w.U8(37, atapi ? 0x14 : 0x00);
            w.U8(38, atapi ? 0xEB : 0x00);
            w.U8(44, 0x01);
            return;
        }
        request.SetReturnCode(kCsmiInvalidParameter);
    });
}

uint8_t PowerMode(const json& device) {
    if (device.contains("power_mode") && device.at("power_mode").is_string()) {
        const std::string m = device.at("power_mode").get<std::string>();
        if (m == "standby")
            return 0x00;
        if (m == "idle")
            return 0x80;
        return 0xFF;
    }
    return static_cast<uint8_t>(DescNumber(device, "power_mode", 0xFF));
}

DriverAnswer StpPassThrough(DriverRequest& request) {
    return WithCsmi(request, [&](const json& state, const json&, ByteWriter w, ByteReader r) {
        const uint8_t target = r.U8(29);
        const uint8_t path = r.U8(34);
        const auto ports = PortsOf(state, request.port);
        const PortView* found = nullptr;
        for (const auto& view : ports)
            if (view.connection == Connection::Ata && view.address.target == target &&
                view.address.path == path && view.device)
                found = &view;
        if (!found) {
            request.SetReturnCode(kCsmiFailed);
            return;
        }
        // A device runs only a host-to-device register FIS with its command bit set, and the
        // driver moves a non-data command only when the flags and length ask for no data.
        const bool wellFormed = r.U8(44) == kH2dRegisterFis && (r.U8(45) & kFisCommandBit) &&
                                (r.U32(64) & kStpDataFlags) == 0 && r.U32(68) == 0;
        if (!wellFormed) {
            request.SetReturnCode(kCsmiInvalidParameter);
            return;
        }
        // Status: connection accepted, then the device's answer FIS.
        w.U8(72, 0);
        w.U8(76, kD2hRegisterFis);
        if (r.U8(46) == kCheckPowerMode && r.U8(47) == 0) {
            w.U8(78, 0x50);
            w.U8(88, PowerMode(*found->device));
        } else {
            w.U8(78, 0x51);
            w.U8(79, 0x04);
        }
        w.U32(160, 0);
    });
}

} // namespace

void RegisterCsmiFamily(devio::DriverDispatch& dispatch) {
    const std::string driver = devio::kRaidDriver;
    dispatch.AddMiniport(driver, kAll, kGetDriverInfo, DriverInfo);
    dispatch.AddMiniport(driver, kAll, kGetControllerConfig, ControllerConfig);
    dispatch.AddMiniport(driver, kAll, kGetControllerStatus, ControllerStatus);
    dispatch.AddMiniport(driver, kSas, kGetPhyInfo, PhyInfo);
    dispatch.AddMiniport(driver, kSas, kStpPassThrough, StpPassThrough);
    dispatch.AddMiniport(driver, kSas, kGetSataSignature, SataSignature);
}

} // namespace sim::driver
