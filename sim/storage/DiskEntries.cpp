#include "sim/storage/DiskEntries.h"

#include <map>
#include <string>

#include "sim/DescriptionValues.h"
#include "sim/Machine.h"

namespace sim::storage {
namespace {

using nlohmann::json;

const json* AdapterWithPort(const json& state, int port) {
    auto it = state.find("adapters");
    if (it == state.end() || !it->is_array())
        return nullptr;
    for (const auto& a : *it)
        if (a.is_object() && a.value("port", -1) == port)
            return &a;
    return nullptr;
}

const json& Rows(const json& object, const char* key) {
    static const json empty = json::array();
    if (!object.is_object())
        return empty;
    auto it = object.find(key);
    return it != object.end() && it->is_array() ? *it : empty;
}

bool AtAddress(const json& entry, uint32_t path, uint32_t target, uint32_t lun) {
    return DescNumber(entry, "path") == path && DescNumber(entry, "target") == target &&
           DescNumber(entry, "lun") == lun;
}

// The identity the RAID driver gives the disk of one of its volumes: the volume's name as model and
// serial number, the adapter's vendor and firmware, the volume's size, and the first member's sector
// sizes and the members' rotation (not rotating when every member is solid state).
json VolumeDisk(const json& state, const json& entry, const json& adapter, const json& volume) {
    json out = entry;
    const std::string name = DescText(volume, "name");
    out["model"] = name;
    out["serial"] = name;
    if (adapter.contains("vendor"))
        out["vendor"] = adapter["vendor"];
    if (adapter.contains("firmware"))
        out["firmware"] = adapter["firmware"];
    const json* raid = adapter.contains("raid") ? &adapter["raid"] : nullptr;
    uint64_t sectorSize = 512;
    uint64_t physicalSize = 0;
    uint64_t rotation = 1;
    bool first = true;
    if (raid) {
        const auto array = DescNumber(volume, "array", UINT64_MAX);
        const json& arrays = Rows(*raid, "arrays");
        if (array < arrays.size())
            for (const auto& m : Rows(arrays[array], "disks")) {
                const auto index = DescValue(m, UINT64_MAX);
                const json& table = Rows(*raid, "disks");
                if (index >= table.size())
                    continue;
                const json& member = table[index];
                const json* disk = nullptr;
                if (member.contains("device_number")) {
                    for (const auto& d : Rows(state, "disks"))
                        if (d.contains("device_number") && d["device_number"] == member["device_number"])
                            disk = &d;
                } else {
                    disk = DiskAt(state, adapter.value("port", -1), DescNumber(member, "path"),
                                  DescNumber(member, "target"), DescNumber(member, "lun"));
                }
                if (!disk)
                    continue;
                if (first) {
                    sectorSize = DescNumber(*disk, "logical_sector_size", 512);
                    physicalSize = DescNumber(*disk, "physical_sector_size", sectorSize);
                }
                first = false;
                const bool nvme = DescText(*disk, "protocol") == "nvme";
                const uint64_t rate = nvme ? 1 : DescNumber(*disk, "rotation_rate", 1);
                if (rate != 1)
                    rotation = rate;
            }
    }
    out["logical_sector_size"] = sectorSize;
    if (physicalSize != 0)
        out["physical_sector_size"] = physicalSize;
    out["sectors"] = (DescNumber(volume, "size_mb") << 20) / (sectorSize == 0 ? 512 : sectorSize);
    out["rotation_rate"] = rotation;
    return out;
}

} // namespace

const std::vector<const char*>& IdentityKeys() {
    static const std::vector<const char*> keys = {"protocol",
                                                  "vendor",
                                                  "model",
                                                  "serial",
                                                  "firmware",
                                                  "sectors",
                                                  "logical_sector_size",
                                                  "physical_sector_size",
                                                  "rotation_rate",
                                                  "pci_vendor",
                                                  "pci_subsystem_vendor",
                                                  "pci_device",
                                                  "pci_subsystem"};
    return keys;
}

bool SeenByWindows(const json& entry) {
    return entry.is_object() && entry.contains("device_number");
}

const json* DiskAt(const json& state, int port, uint32_t path, uint32_t target, uint32_t lun, size_t* index) {
    const json& disks = Rows(state, "disks");
    for (size_t i = 0; i < disks.size(); ++i) {
        const json& d = disks[i];
        if (d.is_object() && d.value("port", -1) == port && AtAddress(d, path, target, lun)) {
            if (index)
                *index = i;
            return &d;
        }
    }
    return nullptr;
}

PortDisks::PortDisks(const json& state, int port) {
    const json& disks = Rows(state, "disks");
    for (size_t i = 0; i < disks.size(); ++i)
        if (disks[i].is_object() && disks[i].value("port", -1) == port)
            disks_.emplace_back(i, &disks[i]);
}

const json* PortDisks::At(uint32_t path, uint32_t target, uint32_t lun, size_t* index) const {
    for (const auto& [i, d] : disks_)
        if (AtAddress(*d, path, target, lun)) {
            if (index)
                *index = i;
            return d;
        }
    return nullptr;
}

const json* RaidVolumeOf(const json& state, const json& entry) {
    if (!entry.is_object() || !entry.contains("port"))
        return nullptr;
    const json* adapter = AdapterWithPort(state, entry.value("port", -1));
    if (!adapter || !adapter->contains("raid"))
        return nullptr;
    const json& volumes = Rows(adapter->at("raid"), "volumes");
    for (size_t i = 0; i < volumes.size(); ++i)
        if (DescNumber(volumes[i], "path", 7) == DescNumber(entry, "path") &&
            DescNumber(volumes[i], "target", i) == DescNumber(entry, "target") &&
            DescNumber(volumes[i], "lun") == DescNumber(entry, "lun"))
            return &volumes[i];
    return nullptr;
}

const json& Resolved(const json& state, const json& entry) {
    const json* volume = RaidVolumeOf(state, entry);
    if (!volume)
        return entry;
    const json& adapter = *AdapterWithPort(state, entry.value("port", -1));
    // Per thread: what one thread was handed stays valid while it reads the same state (within one
    // read nothing is rebuilt); inside a change, where the state moves under the caller, the entry
    // is built afresh each time and stays valid until this thread asks for it again.
    thread_local uint64_t generation = 0;
    thread_local std::map<const json*, json> entries;
    const uint64_t now = Machine::ReadGeneration();
    if (now == 0 || now != generation) {
        if (now != generation || entries.size() > 256)
            entries.clear();
        generation = now;
    } else if (auto it = entries.find(&entry); it != entries.end()) {
        return it->second;
    }
    json& slot = entries[&entry];
    slot = VolumeDisk(state, entry, adapter, *volume);
    return slot;
}

} // namespace sim::storage
