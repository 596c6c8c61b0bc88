// The remap port ("OrvexRmp"): which path and target ids are implemented, what is connected at an
// address, the identifying words of a device and where it is located.
#include <string>

#include "sim/devio/Bytes.h"
#include "sim/driver/RemapPortDevices.h"

namespace sim::driver {
namespace {

using devio::ByteReader;
using devio::ByteWriter;
using devio::DriverAnswer;
using devio::DriverRequest;
using nlohmann::json;

constexpr const char* kSignature = "OrvexRmp";
constexpr uint32_t kGetConnectionInfo = 0x80000D01;
constexpr uint32_t kGetPathIdsImplemented = 0x80000D02;
constexpr uint32_t kGetTargetIdsImplemented = 0x80000D03;
constexpr uint32_t kGetDeviceInfo = 0x80000D04;
constexpr uint32_t kGetDeviceLocation = 0x80000D05;

// The device location answer's layout version this driver writes.
constexpr uint8_t kLocationVersion = 45;
constexpr uint32_t kLocationOk = 1;

const json& RemapSection(const json& state, int port) {
    static const json empty = json::object();
    if (auto a = state.find("adapters"); a != state.end() && a->is_array())
        for (const auto& adapter : *a)
            if (adapter.is_object() && adapter.value("port", -1) == port) {
                auto it = adapter.find("remap_port");
                return it != adapter.end() && it->is_object() ? *it : empty;
            }
    return empty;
}

uint32_t PathMask(const json& state, int port) {
    const json& section = RemapSection(state, port);
    if (section.contains("path_mask"))
        return static_cast<uint32_t>(DescNumber(section, "path_mask"));
    uint32_t mask = 0;
    for (const auto& view : PortsOf(state, port))
        if (view.address.path < 32)
            mask |= 1u << view.address.path;
    return mask;
}

uint32_t TargetMask(const json& state, int port, uint8_t path) {
    const json& section = RemapSection(state, port);
    if (auto masks = section.find("target_masks"); masks != section.end() && masks->is_object()) {
        const std::string key = std::to_string(path);
        if (masks->contains(key))
            return static_cast<uint32_t>(DescNumber(*masks, key.c_str()));
    }
    uint32_t mask = 0;
    for (const auto& view : PortsOf(state, port))
        if (view.address.path == path && view.address.target < 32)
            mask |= 1u << view.address.target;
    return mask;
}

DriverAnswer Masks(DriverRequest& request, bool paths) {
    return AnswerFromMachine([&](const json& state) {
        const uint8_t path = AddressOfWord(request.srb->returnCode).path;
        request.SetReturnCode(paths ? PathMask(state, request.port) : TargetMask(state, request.port, path));
        return DriverAnswer{};
    });
}

DriverAnswer ConnectionInfo(DriverRequest& request) {
    return AnswerFromMachine([&](const json& state) {
        auto view = FindPort(state, request.port, AddressOfWord(request.srb->returnCode));
        if (!view) {
            request.SetReturnCode(kNoSuchDevice);
            return DriverAnswer{};
        }
        // Connection kind (1 unsupported, 2 SATA, 3 PCIe), port interface (2 AHCI, 3 NVMe), bus
        // width (1 unsupported, 2 x1, 3 x2, 4 x4) and bus speed (1 unsupported, 2 to 5 PCIe gen 1-4).
        uint32_t kind = 1, interface = 1, width = 1, speed = 1;
        if (view->connection == Connection::Ata)
            kind = 2, interface = 2;
        else if (view->connection == Connection::Nvme)
            kind = 3, interface = 3, width = 4, speed = 4;
        const json& p = *view->port;
        ByteWriter w(request.buffer);
        w.U32(28, DescNumber(p, "connection_kind", kind));
        w.U32(32, DescNumber(p, "interface", interface));
        w.U32(36, DescNumber(p, "bus_width", width));
        w.U32(40, DescNumber(p, "bus_speed", speed));
        request.SetReturnCode(kDriverOk);
        return DriverAnswer{};
    });
}

DriverAnswer DeviceInfo(DriverRequest& request) {
    return AnswerFromMachine([&](const json& state) {
        auto view = FindPort(state, request.port, AddressOfWord(request.srb->returnCode));
        if (!view || !view->device) {
            request.SetReturnCode(kNoSuchDevice);
            return DriverAnswer{};
        }
        const json& d = *view->device;
        const json info = view->port->value("device_info", json::object());
        ByteWriter w(request.buffer);
        w.U16(28, DescNumber(info, "vendor", DescNumber(d, "pci_vendor")));
        w.U16(30, DescNumber(info, "device", DescNumber(d, "pci_device")));
        w.U16(32, DescNumber(info, "subsystem", DescNumber(d, "pci_subsystem")));
        request.SetReturnCode(kDriverOk);
        return DriverAnswer{};
    });
}

DriverAnswer DeviceLocation(DriverRequest& request) {
    return AnswerFromMachine([&](const json& state) {
        ByteReader r(request.buffer);
        const DeviceAddress address{r.U8(30), r.U8(31), r.U8(32)};
        auto view = FindPort(state, request.port, address);
        if (!view) {
            request.SetReturnCode(kNoSuchDevice);
            return DriverAnswer{};
        }
        const json loc = view->port->value("location", json::object());
        const auto type = static_cast<uint32_t>(DescNumber(loc, "type", 0));
        ByteWriter w(request.buffer);
        w.U8(28, DescNumber(loc, "version", kLocationVersion));
        w.U32(33, type);
        // A PCI address: bus in bits 0-7, device in 8-12, function in 13-15.
        const uint64_t pci = (DescNumber(loc, "bus") & 0xFF) | (DescNumber(loc, "device") & 0x1F) << 8 |
                             (DescNumber(loc, "function") & 0x7) << 13;
        switch (type) {
        case 0:
            w.U8(37, DescNumber(loc, "port", address.target));
            break;
        case 1:
            w.U8(37, DescNumber(loc, "cycle_router"));
            break;
        case 2:
            w.U16(37, pci);
            break;
        case 3:
            w.U16(37, DescNumber(loc, "socket"));
            w.U16(39, DescNumber(loc, "controller"));
            w.U16(41, pci);
            w.U16(43, DescNumber(loc, "slot"));
            break;
        default:
            break;
        }
        request.SetReturnCode(kLocationOk);
        return DriverAnswer{};
    });
}

} // namespace

void RegisterRemapPortFamily(devio::DriverDispatch& dispatch) {
    const std::string driver = devio::kRaidDriver;
    dispatch.AddMiniport(driver, kSignature, kGetConnectionInfo, ConnectionInfo);
    dispatch.AddMiniport(driver, kSignature, kGetPathIdsImplemented,
                         [](DriverRequest& r) { return Masks(r, true); });
    dispatch.AddMiniport(driver, kSignature, kGetTargetIdsImplemented,
                         [](DriverRequest& r) { return Masks(r, false); });
    dispatch.AddMiniport(driver, kSignature, kGetDeviceInfo, DeviceInfo);
    dispatch.AddMiniport(driver, kSignature, kGetDeviceLocation, DeviceLocation);
}

} // namespace sim::driver
