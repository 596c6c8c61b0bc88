#include "sim/pei/SataController.h"

#include <stdexcept>
#include <string>

#include "sim/DescriptionValues.h"
#include "sim/MachineState.h"
#include "sim/pei/PeiEnvironment.h"
#include "sim/storage/DiskEntries.h"
#include "sim/storage/DiskIdentity.h"

namespace sim::pei {

bool SataController::RemapRegister(uint32_t offset, uint64_t& value) const {
    if (!remapBlock)
        return false;
    if (offset == 0xA4) {
        value = (remapEnabled ? 1u : 0u) | (((capability / 128) & 0xFFF) << 16);
        return true;
    }
    if (offset == 0xC0) {
        value = remapId;
        return true;
    }
    if (offset == capability || offset == capability + 4) {
        uint64_t map = 0;
        for (size_t s = 0; s < slots.size(); ++s)
            if (slots[s].present)
                map |= uint64_t{1} << s;
        value = offset == capability ? map : map >> 32;
        return true;
    }
    for (uint32_t s = 0; s < slots.size(); ++s) {
        const uint32_t reg = capability + 128 * (s + 1);
        if (offset == reg || offset == reg + 4) {
            value = offset == reg && slots[s].present ? slots[s].classCode : 0;
            return true;
        }
    }
    return false;
}

uint64_t SataController::Read(uint64_t offset, unsigned bytes) {
    if (offset >= kWindowSize) {
        Slot& slot = slots[offset / kWindowSize - 1];
        return slot.nvme ? slot.nvme->Read(offset % kWindowSize, bytes) : ~uint64_t{0};
    }
    const auto at = static_cast<uint32_t>(offset);
    uint64_t value = 0;
    if (RemapRegister(at, value)) {
        remapReads.push_back(at);
        if (bytes == 8) {
            uint64_t high = 0;
            RemapRegister(at + 4, high);
            value |= high << 32;
        }
        return value;
    }
    if (bytes == 8)
        return ahci.Read(at) | (uint64_t{ahci.Read(at + 4)} << 32);
    return ahci.Read(at & ~3u) >> (8 * (at & 3));
}

void SataController::Write(uint64_t offset, unsigned bytes, uint64_t value) {
    if (offset >= kWindowSize) {
        Slot& slot = slots[offset / kWindowSize - 1];
        if (slot.nvme)
            slot.nvme->Write(offset % kWindowSize, bytes, value);
        return;
    }
    uint64_t ignored = 0;
    if (RemapRegister(static_cast<uint32_t>(offset), ignored))
        return;
    ahci.Write(static_cast<uint32_t>(offset), static_cast<uint32_t>(value));
    if (bytes == 8)
        ahci.Write(static_cast<uint32_t>(offset) + 4, static_cast<uint32_t>(value >> 32));
}

namespace {

using nlohmann::json;

const json* Property(const json& node, const char* name) {
    auto properties = node.find("properties");
    if (properties == node.end() || !properties->contains(name))
        return nullptr;
    const json& p = properties->at(name);
    return p.is_object() ? (p.contains("value") ? &p.at("value") : nullptr) : &p;
}

uint32_t ClassCode(const json& node) {
    auto number = [&](const char* name) {
        const json* v = Property(node, name);
        return v ? static_cast<uint32_t>(ParseDescNumber(*v).value_or(0)) : 0u;
    };
    return (number("PciBaseClass") << 16) | (number("PciSubClass") << 8) | number("PciProgIf");
}

const json* AdapterOf(const json& state, const std::string& instanceId) {
    if (!state.contains("adapters"))
        return nullptr;
    for (const json& a : state.at("adapters"))
        if (a.value("instance_id", std::string()) == instanceId)
            return &a;
    return nullptr;
}

std::unique_ptr<NvmeController> NvmeOf(const json& state, const json* adapter) {
    auto nvme = std::make_unique<NvmeController>();
    nvme->identify.assign(4096, 0);
    if (!adapter || !state.contains("disks"))
        return nvme;
    const uint64_t port = DescNumber(*adapter, "port");
    for (const json& entry : state.at("disks")) {
        if (!entry.contains("port") || DescNumber(entry, "port") != port)
            continue;
        const json& disk = storage::Resolved(state, entry);
        if (DescText(disk, "protocol") != "nvme")
            continue;
        nvme->identify = storage::NvmeIdentifyData(disk);
        nvme->sectors = DescNumber(disk, "sectors");
        break;
    }
    return nvme;
}

void LoadAhci(const json& state, const json* adapter, AhciHba& hba) {
    if (!adapter)
        return;
    const int port = static_cast<int>(DescNumber(*adapter, "port"));
    const storage::PortDisks disks(state, port);
    uint32_t implemented = 0;
    for (unsigned p = 0; p < AhciHba::kPorts; ++p) {
        if (const json* entry = disks.At(0, p, 0)) {
            const json& disk = storage::Resolved(state, *entry);
            AhciHba::Drive drive;
            drive.atapi = DescText(disk, "protocol") == "atapi";
            if (DescText(disk, "protocol") != "nvme") {
                drive.identify = storage::AtaIdentifyData(disk);
                hba.ports[p].drive = std::move(drive);
                implemented |= 1u << p;
            }
        }
    }
    if (adapter->contains("ports"))
        for (const json& slot : adapter->at("ports")) {
            if (DescNumber(slot, "path") != 0 || DescNumber(slot, "lun") != 0 ||
                DescNumber(slot, "target") >= AhciHba::kPorts)
                continue;
            const auto p = static_cast<unsigned>(DescNumber(slot, "target"));
            implemented |= 1u << p;
            const uint64_t cmd = DescNumber(slot, "cmd");
            hba.ports[p].switchAttached = (cmd & (1u << 19)) != 0;
            hba.ports[p].trayOpen = (cmd & (1u << 13)) != 0;
        }
    hba.pi = implemented;
    if (adapter->contains("ahci")) {
        const json& ahci = adapter->at("ahci");
        hba.cap = static_cast<uint32_t>(DescNumber(ahci, "cap", hba.cap));
        hba.pi = static_cast<uint32_t>(DescNumber(ahci, "pi", hba.pi));
    }
    for (unsigned p = 0; p < AhciHba::kPorts; ++p)
        hba.LinkUp(p);
}

} // namespace

void LoadStorageDevices(Environment& env) {
    Current().Read([&](const json& state) {
        if (!state.contains("devices") || !state.at("devices").contains("nodes"))
            return;
        const json& nodes = state.at("devices").at("nodes");
        auto nodeById = [&](const std::string& id) -> const json* {
            for (const json& n : nodes)
                if (n.value("id", std::string()) == id)
                    return &n;
            return nullptr;
        };
        for (size_t i = 0; i < nodes.size(); ++i) {
            const json& node = nodes[i];
            const std::string id = node.value("id", std::string());
            const auto bus = Property(node, "BusNumber");
            const auto address = Property(node, "Address");
            if (!bus || !address || !node.contains("pci") || !node.at("pci").contains("bars"))
                continue;
            const auto busNumber = static_cast<uint8_t>(ParseDescNumber(*bus).value_or(0));
            const auto location = static_cast<uint32_t>(ParseDescNumber(*address).value_or(0));
            const auto device = static_cast<uint8_t>(location >> 16),
                       function = static_cast<uint8_t>(location);
            PciBus::Function* f = env.pci().Find(busNumber, device, function);
            if (!f)
                continue;
            const uint32_t classCode = ClassCode(node);
            const auto& bars = node.at("pci").at("bars");
            const bool sata = (classCode >> 8) == 0x0104 || classCode == 0x010601;
            if (sata && bars.size() == 6 && (DescValue(bars[5]) & 0x7) == 0 && DescValue(bars[5]) != 0) {
                auto model = std::make_unique<SataController>();
                LoadAhci(state, AdapterOf(state, id), model->ahci);
                if (node.at("pci").contains("remap")) {
                    const json& remap = node.at("pci").at("remap");
                    model->remapBlock = true;
                    model->remapId = static_cast<uint16_t>(DescNumber(remap, "id"));
                    model->remapEnabled = DescFlag(remap, "enabled", true);
                    const json empty = json::array();
                    const json& slots = remap.contains("slots") ? remap.at("slots") : empty;
                    for (size_t s = 0; s < slots.size(); ++s) {
                        const std::string hidden = DescText(slots[s], "node");
                        const json* target = nodeById(hidden);
                        if (!target)
                            throw std::runtime_error("machine description: /devices/nodes/" +
                                                     std::to_string(i) + "/pci/remap/slots/" +
                                                     std::to_string(s) + "/node: no device node has the id " +
                                                     hidden);
                        SataController::Slot& slot = model->slots[DescNumber(slots[s], "slot")];
                        slot.present = true;
                        slot.classCode = ClassCode(*target);
                        if ((slot.classCode >> 8) == 0x0108)
                            slot.nvme = NvmeOf(state, AdapterOf(state, hidden));
                    }
                }
                env.pci().MapMmio(DescValue(bars[5]) & ~0xFull, SataController::kBarSize, model.get(), f);
                env.AddStorageModel(busNumber, device, function, std::move(model));
            } else if ((classCode >> 8) == 0x0108 && !bars.empty() && (DescValue(bars[0]) & 0x1) == 0 &&
                       DescValue(bars[0]) != 0) {
                auto model = NvmeOf(state, AdapterOf(state, id));
                env.pci().MapMmio(DescValue(bars[0]) & ~0xFull, SataController::kWindowSize, model.get(), f);
                env.AddStorageModel(busNumber, device, function, std::move(model));
            }
        }
    });
}

} // namespace sim::pei
