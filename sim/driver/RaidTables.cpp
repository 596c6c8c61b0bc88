// The driver's RAID tables read as plain data: the adapters and their "raid" sections, the disks
// they name resolved against the machine's "disks", and the capacity figures of each member. Kept
// apart from the driver's state machine so the description checks can use them wherever the
// simulator's core is built.
#include <utility>
#include <vector>

#include "sim/driver/RaidState.h"
#include "sim/storage/DiskEntries.h"

namespace sim::driver {
int64_t Num(const json& object, const char* key, int64_t def) {
    return static_cast<int64_t>(DescNumber(object, key, static_cast<uint64_t>(def)));
}

json* AdapterOf(json& state, int port) {
    auto it = state.find("adapters");
    if (it == state.end() || !it->is_array())
        return nullptr;
    for (auto& a : *it)
        if (a.is_object() && a.value("port", -1) == port)
            return &a;
    return nullptr;
}

const json* AdapterOf(const json& state, int port) {
    return AdapterOf(const_cast<json&>(state), port);
}

json& Raid(json& adapter) {
    json& raid = adapter["raid"];
    if (!raid.is_object())
        raid = json::object();
    for (const char* table : {"disks", "arrays", "volumes"})
        if (!raid.contains(table) || !raid[table].is_array())
            raid[table] = json::array();
    for (const char* object : {"new_volume", "nv_cache"})
        if (!raid.contains(object) || !raid[object].is_object())
            raid[object] = json::object();
    return raid;
}

const json& RaidOf(const json& adapter) {
    static const json empty = json::object();
    auto it = adapter.find("raid");
    return it != adapter.end() && it->is_object() ? *it : empty;
}

const json& Table(const json& section, const char* name) {
    static const json empty = json::array();
    if (!section.is_object())
        return empty;
    auto it = section.find(name);
    return it != section.end() && it->is_array() ? *it : empty;
}

uint64_t DiskSectors(const json& disk) {
    return static_cast<uint64_t>(Num(disk, "sectors", 0));
}

uint32_t DiskSectorSize(const json& disk) {
    const auto size = static_cast<uint32_t>(Num(disk, "sector_size", 512));
    return size == 0 ? 512 : size;
}

uint64_t DiskMetadataSectors(const json& disk) {
    return static_cast<uint64_t>(Num(disk, "metadata_sectors", 4096));
}

int32_t ArrayOfDisk(const json& raid, size_t diskIndex) {
    const json& arrays = Table(raid, "arrays");
    for (size_t a = 0; a < arrays.size(); ++a)
        for (const auto& member : Table(arrays[a], "disks"))
            if (member.is_number() && DescValue(member) == diskIndex)
                return static_cast<int32_t>(a);
    return -1;
}

uint32_t DataDisks(uint32_t level, uint32_t mirrors, uint32_t members) {
    switch (level) {
    case 1: {
        const uint32_t copies = mirrors < 2 ? 2 : mirrors;
        return std::max<uint32_t>(1, members / copies);
    }
    case 3:
    case 5: {
        const uint32_t parity = mirrors < 1 ? 1 : mirrors;
        return members > parity ? members - parity : 1;
    }
    case 6: {
        const uint32_t parity = 2 * (mirrors < 1 ? 1 : mirrors);
        return members > parity ? members - parity : 1;
    }
    default:
        return std::max<uint32_t>(1, members);
    }
}

uint64_t VolumeShareMb(const json& volume, uint32_t members) {
    const auto level = static_cast<uint32_t>(Num(volume, "level", 0));
    const auto mirrors = static_cast<uint32_t>(Num(volume, "mirrors", level == 1 ? 2 : 1));
    const auto size = static_cast<uint64_t>(Num(volume, "size_mb", 0));
    const uint32_t data = DataDisks(level, mirrors, members);
    return (size + data - 1) / data;
}

namespace {

uint64_t UsedSectors(const json& raid, size_t diskIndex, uint32_t sectorSize) {
    const int32_t array = ArrayOfDisk(raid, diskIndex);
    if (array < 0)
        return 0;
    const auto members = static_cast<uint32_t>(Table(Table(raid, "arrays").at(array), "disks").size());
    uint64_t used = 0;
    for (const auto& v : Table(raid, "volumes"))
        if (Num(v, "array", -1) == array)
            used += (VolumeShareMb(v, members) << 20) / sectorSize;
    return used;
}

} // namespace

uint64_t DiskUsedSectors(const json& raid, size_t diskIndex) {
    return UsedSectors(raid, diskIndex, DiskSectorSize(Table(raid, "disks").at(diskIndex)));
}

uint64_t DiskFreeSectors(const json& raid, size_t diskIndex, const json& sized) {
    const uint64_t total = DiskSectors(sized);
    const uint64_t reserved =
        DiskMetadataSectors(sized) + UsedSectors(raid, diskIndex, DiskSectorSize(sized));
    return total > reserved ? total - reserved : 0;
}

uint64_t DiskFreeSectors(const json& raid, size_t diskIndex) {
    return DiskFreeSectors(raid, diskIndex, Table(raid, "disks").at(diskIndex));
}

namespace {

// The "disks" entry a disk of the driver's table stands for: the Windows disk it names by device
// number, else the disk at its address behind the adapter.
const json* DescribedDisk(const json& state, const json& disk, int adapterPort) {
    const int64_t number = Num(disk, "device_number", -1);
    if (number >= 0) {
        for (const auto& d : Table(state, "disks"))
            if (Num(d, "device_number", -2) == number)
                return &d;
        return nullptr;
    }
    if (disk.contains("address")) {
        const auto word = static_cast<uint32_t>(Num(disk, "address"));
        return storage::DiskAt(state, adapterPort, (word >> 16) & 0xFF, (word >> 8) & 0xFF, word & 0xFF);
    }
    return storage::DiskAt(state, adapterPort, static_cast<uint32_t>(Num(disk, "path")),
                           static_cast<uint32_t>(Num(disk, "target")),
                           static_cast<uint32_t>(Num(disk, "lun")));
}

// The port of the adapter whose "raid" section this is, -1 when it is none of the machine's.
int PortOfRaid(const json& state, const json& raid) {
    for (const auto& a : Table(state, "adapters"))
        if (a.is_object() && &RaidOf(a) == &raid)
            return a.value("port", -1);
    return -1;
}

} // namespace

namespace {

constexpr uint32_t kDiskPresentFlag = 0x10;
constexpr uint32_t kDiskMissingFlag = 0x2000000;

// A disk that has gone keeps the serial number the driver remembers, whatever disk now sits at its
// address.
void KeepRememberedSerial(const json& disk, json& out) {
    const auto flags = static_cast<uint32_t>(Num(disk, "state_flags", kDiskPresentFlag));
    if (disk.contains("remembered_serial") && (!(flags & kDiskPresentFlag) || (flags & kDiskMissingFlag)))
        out["serial"] = disk["remembered_serial"];
}

} // namespace

json ResolvedDisk(const json& state, const json& disk, int adapterPort) {
    json out = disk;
    out.erase("remembered_serial");
    const json* d = DescribedDisk(state, disk, adapterPort);
    if (!d) {
        KeepRememberedSerial(disk, out);
        return out;
    }
    static const std::vector<std::pair<const char*, const char*>> inherited = {
        {"serial", "serial"},
        {"model", "model"},
        {"firmware", "firmware"},
        {"path", "path"},
        {"target", "target"},
        {"lun", "lun"},
        {"sectors", "sectors"},
        {"logical_sector_size", "sector_size"},
        {"physical_sector_size", "physical_sector_size"}};
    for (const auto& [from, to] : inherited)
        if (d->contains(from))
            out[to] = (*d)[from];
    out["solid_state"] = d->value("protocol", std::string()) == "nvme" || Num(*d, "rotation_rate", 1) == 1;
    // A disk locked by its ATA security is reported locked (an unlock clears both).
    constexpr int64_t kLocked = 0x1000000;
    const auto security = d->find("security");
    if (security != d->end() && security->is_object() && DescFlag(*security, "locked"))
        out["state_flags"] = Num(disk, "state_flags", 0x10) | kLocked;
    KeepRememberedSerial(disk, out);
    return out;
}

json SizedDisk(const json& state, const json& raid, size_t diskIndex) {
    return ResolvedDisk(state, Table(raid, "disks").at(diskIndex), PortOfRaid(state, raid));
}

json ResolvedRaid(const json& state, const json& raid) {
    json out = raid.is_object() ? raid : json::object();
    const int port = PortOfRaid(state, raid);
    json disks = json::array();
    for (const auto& d : Table(raid, "disks"))
        disks.push_back(ResolvedDisk(state, d, port));
    out["disks"] = std::move(disks);
    for (const char* table : {"arrays", "volumes"})
        if (!out.contains(table) || !out[table].is_array())
            out[table] = json::array();
    return out;
}

} // namespace sim::driver
