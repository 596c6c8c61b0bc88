// What Windows sees after the driver created a volume: the volume's own disk (a "disks" entry at
// the volume's address with a device node of the disk class), and its members no longer as disks
// of their own. A migrating creation moves the source disk's device number and layout to the
// volume, since its data now lives there.
#include <algorithm>
#include <cstdio>
#include <string>

#include "sim/driver/RaidState.h"

namespace sim::driver {
namespace {

constexpr const char* kDiskClass = "{4d36e967-e325-11ce-bfc1-08002be10318}";
constexpr const char* kDiskInterface = "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";

json* NodeOf(json& state, const std::string& id) {
    auto devices = state.find("devices");
    if (devices == state.end() || !devices->is_object() || !devices->contains("nodes"))
        return nullptr;
    for (auto& node : (*devices)["nodes"])
        if (node.value("id", std::string()) == id)
            return &node;
    return nullptr;
}

int64_t NextDeviceNumber(const json& state) {
    int64_t next = 0;
    for (const auto& d : Table(state, "disks"))
        if (d.is_object() && d.contains("device_number"))
            next = std::max<int64_t>(next, Num(d, "device_number", 0) + 1);
    return next;
}

// The "disks" entry a RAID disk record stands for: the Windows disk it names by device number,
// else the disk at its address behind the adapter.
json* EntryOfRecord(json& state, const json& record, int port) {
    for (auto& d : state["disks"]) {
        if (!d.is_object())
            continue;
        if (record.contains("device_number")) {
            if (d.contains("device_number") &&
                Num(d, "device_number", -1) == Num(record, "device_number", -2))
                return &d;
        } else if (Num(d, "port", -1) == port && Num(d, "path", -1) == Num(record, "path", -2) &&
                   Num(d, "target", -1) == Num(record, "target", -2) &&
                   Num(d, "lun", 0) == Num(record, "lun", 0)) {
            return &d;
        }
    }
    return nullptr;
}

// A member leaves Windows: its RAID record names it by address from now on.
void HideMember(json& state, json& record, json& entry, bool keepVolumes) {
    if (!entry.contains("device_number"))
        return;
    const int64_t number = Num(entry, "device_number", -1);
    record.erase("device_number");
    for (const char* key : {"path", "target", "lun"})
        record[key] = Num(entry, key, 0);
    entry.erase("device_number");
    if (json* node = NodeOf(state, entry.value("instance_id", std::string())))
        (*node)["present"] = false;
    if (!keepVolumes && state.contains("volumes") && state["volumes"].is_array()) {
        auto& volumes = state["volumes"];
        volumes.erase(std::remove_if(volumes.begin(), volumes.end(),
                                     [&](const json& v) { return Num(v, "disk", -1) == number; }),
                      volumes.end());
    }
}

void AddVolumeDisk(json& state, const json& adapter, json& volume, size_t index, const json* source) {
    const int port = static_cast<int>(Num(adapter, "port", 0));
    const auto target = static_cast<uint32_t>(Num(volume, "target", static_cast<int64_t>(index)));
    const std::string name = volume.value("name", std::string());
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "\\5&%x&0&07%02X00", 0x7100 + port, target & 0xFF);
    const std::string id = "SCSI\\Disk&Ven_Orvex&Prod_" + name + suffix;
    json entry = {{"port", port}, {"path", 7}, {"target", target}, {"lun", 0}, {"instance_id", id}};
    if (source && source->contains("layout"))
        entry["layout"] = (*source)["layout"];
    entry["device_number"] =
        source ? Num(*source, "device_number", NextDeviceNumber(state)) : NextDeviceNumber(state);
    state["disks"].push_back(std::move(entry));
    json node = {{"id", id},
                 {"class", kDiskClass},
                 {"properties",
                  {{"DeviceDesc", "Disk drive"}, {"Service", "disk"}, {"FriendlyName", "Orvex " + name}}},
                 {"interfaces", json::array({{{"class", kDiskInterface}}})}};
    if (adapter.contains("instance_id"))
        node["parent"] = adapter["instance_id"];
    if (state.contains("devices") && state["devices"].is_object())
        state["devices"]["nodes"].push_back(std::move(node));
}

} // namespace

void PublishCreatedVolumes(json& state, json& adapter) {
    if (!adapter.contains("raid") || !adapter["raid"].is_object())
        return;
    json& raid = adapter["raid"];
    if (!raid.contains("volumes"))
        return;
    const int port = static_cast<int>(Num(adapter, "port", 0));
    for (size_t i = 0; i < raid["volumes"].size(); ++i) {
        json& volume = raid["volumes"][i];
        if (!volume.is_object() || !volume.contains("created_from"))
            continue;
        const int64_t sourceIndex = Num(volume["created_from"], "source", -1);
        volume.erase("created_from");
        json source;
        const int64_t array = Num(volume, "array", -1);
        if (array >= 0 && static_cast<size_t>(array) < Table(raid, "arrays").size())
            for (const auto& member : Table(raid["arrays"][array], "disks")) {
                const auto d = static_cast<size_t>(DescValue(member));
                if (d >= Table(raid, "disks").size())
                    continue;
                json& record = raid["disks"][d];
                json* entry = EntryOfRecord(state, record, port);
                if (!entry)
                    continue;
                const bool isSource = static_cast<int64_t>(d) == sourceIndex;
                if (isSource && entry->contains("device_number"))
                    source = *entry;
                HideMember(state, record, *entry, isSource);
            }
        AddVolumeDisk(state, adapter, volume, i, source.is_null() ? nullptr : &source);
    }
}

} // namespace sim::driver
