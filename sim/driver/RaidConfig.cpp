// The RAID get/set configuration request of the simulated driver (signature "OrvexRdp", control code
// 0xC3512010): in the miniport form behind an SRB_IO_CONTROL header, or sent directly as the device
// control code with the parameter block at offset 0. Each group record is built from the "raid"
// section by the documented offsets; single fields are read and set by their field keys.
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "platform/win/WinError.h"
#include "sim/MachineState.h"
#include "sim/PlatformCall.h"
#include "sim/devio/Bytes.h"
#include "sim/driver/CacheActions.h"
#include "sim/driver/RaidConfigLayout.h"
#include "sim/driver/RaidState.h"

namespace sim::driver {
namespace {

using devio::ByteReader;
using devio::ByteWriter;
using devio::DriverAnswer;
using devio::DriverRequest;
using namespace raid_config;

constexpr uint32_t kRaidConfigCode = 0xC3512010;
constexpr uint32_t kWholeGroup = 0xFFFFFFFF;

// GET_SET_RAID_PARAMS.Status values of the driver.
enum Status : uint32_t {
    kOk = 0,
    kInvalidGroup = 5,
    kNoSuchField = 6,
    kTableError = 7,
    kInvalidRequest = 10,
    kInvalidParameter = 11,
};

// One field of a group record. Stored fields live in the description under `name`; computed ones
// (name null) are written by the group's builder. A key makes the field addressable one by one.
struct Field {
    uint32_t key;
    uint32_t offset;
    uint32_t width; // 1, 2, 4, 8, or 16 for a 16-character text
    bool text;
    const char* name;
    bool writable;
    int64_t def;
};

struct GroupDef {
    uint32_t id;
    uint32_t length;
    std::vector<Field> fields;
};

Field U32(uint32_t key, uint32_t offset, const char* name, bool writable = false, int64_t def = 0) {
    return {key, offset, 4, false, name, writable, def};
}
Field U8(uint32_t key, uint32_t offset, const char* name, bool writable = false, int64_t def = 0) {
    return {key, offset, 1, false, name, writable, def};
}
Field U64(uint32_t key, uint32_t offset, const char* name, bool writable = false, int64_t def = 0) {
    return {key, offset, 8, false, name, writable, def};
}
Field Text(uint32_t key, uint32_t offset, const char* name, bool writable = false) {
    return {key, offset, 16, true, name, writable, 0};
}

// Field keys follow the driver's numbering: the configuration group's from 30, the volume table's
// from 60, the disk table's from 100, the new-volume group's from 140, the array table's from 160,
// the device configuration's from 410, the NV cache information's from 610.
const std::vector<GroupDef>& Groups() {
    static const std::vector<GroupDef> groups = {
        {kConfigurationGroup,
         220,
         {U32(31, 4, nullptr), U32(32, 8, nullptr), U32(37, 16, "error_number", true),
          U32(40, 20, "selected_disk", true, -1), U32(42, 24, "trigger", true),
          U32(44, 28, "selected_array", true, -1), U32(54, 32, "rohi_policy", true), U32(50, 176, nullptr),
          U32(51, 188, nullptr), U32(52, 192, nullptr)}},
        {kVolumeTableGroup,
         132,
         {Text(61, 4, "name"), U32(62, 20, nullptr), U32(63, 24, "level"), U32(64, 28, nullptr),
          U32(65, 32, "size_mb"), U32(66, 36, "strip_kb"), U32(67, 40, nullptr), Text(0, 44, "name"),
          U32(70, 80, nullptr), U32(71, 84, "flag_84"), U32(77, 88, "action", true), U32(78, 96, nullptr),
          U32(79, 100, nullptr), U32(80, 104, nullptr), U32(81, 108, nullptr), U8(82, 112, "sync"),
          U8(83, 113, "sync_mode"), U32(84, 116, nullptr), U32(85, 128, nullptr)}},
        {kDiskTableGroup,
         192,
         {Text(101, 4, "serial"),
          U32(0, 20, nullptr),
          U32(0, 24, nullptr),
          U32(103, 48, nullptr),
          U32(104, 52, "path"),
          U32(105, 56, "target"),
          U32(106, 60, "lun"),
          U32(107, 64, "action", true),
          U32(102, 68, "checkbox", true),
          Text(108, 72, "firmware"),
          Text(109, 88, "model"),
          U32(122, 104, "action_arg", true),
          U32(110, 128, "write_cache"),
          U32(111, 136, "partitions"),
          U32(112, 140, nullptr),
          U32(113, 144, nullptr),
          U32(114, 148, nullptr),
          U32(115, 156, "log_block_offset"),
          {116, 170, 2, false, nullptr, false, 0},
          U32(117, 172, nullptr),
          U8(118, 178, "value_b2"),
          U32(119, 180, nullptr),
          U32(0, 184, nullptr),
          U32(0, 188, nullptr)}},
        {kNewVolumeGroup,
         44,
         {Text(141, 4, "name", true), U32(142, 20, "size_mb", true), U32(143, 24, "strip_kb", true),
          U32(144, 28, "level", true), U32(145, 32, "members", true), U32(146, 36, "mirrors", true),
          U32(147, 40, "options", true)}},
        {kArrayTableGroup,
         48,
         {U32(161, 8, nullptr), U32(162, 12, nullptr), U32(163, 16, nullptr), U32(164, 20, nullptr),
          U32(165, 24, nullptr), U8(166, 32, "write_cache"), U8(169, 29, "cache_policy_request", true),
          U32(0, 36, nullptr), U32(0, 40, nullptr), U32(168, 44, nullptr)}},
        {kArrayDiskTableGroup, 20, {Text(0, 4, nullptr)}},
        {kDeviceInfoGroup, 24, {U32(0, 4, nullptr), U64(0, 8, nullptr), U8(0, 16, "system")}},
        {kDeviceConfigurationGroup,
         168,
         {Text(418, 4, "name", true), U32(419, 20, nullptr), Text(0, 28, "name"), U32(428, 104, nullptr),
          U32(429, 112, nullptr), U32(434, 116, "device_action", true),
          U64(440, 120, "read_patrol_unit", true), U32(435, 128, "cache_policy"),
          U32(436, 144, "export_policy"), U32(0, 156, "master_disk")}},
        {kCachePolicyStatsGroup, 216, {}},
        {kCacheStatsGroup, 124, {}},
        {kNvCacheInfoGroup,
         56,
         {U32(611, 4, "size_mb"), U32(612, 8, "state"), U32(613, 12, "mode"),
          U32(620, 16, "disable_bcd", true), U32(614, 20, "cache_volume", false, -1),
          U32(615, 24, "accelerated_volume", false, -1), Text(616, 28, "name"), U32(617, 44, "left"),
          U32(618, 48, "total"), U32(619, 52, "policy")}},
        {kRefreshPartitionsGroup, 8, {U32(0, 4, nullptr)}},
        {kCacheStats2Group, 80, {}},
        {kUnifiedCacheStatsGroup, 1400, {}},
    };
    return groups;
}

const GroupDef* FindGroup(uint32_t id) {
    for (const auto& g : Groups())
        if (g.id == id)
            return &g;
    return nullptr;
}

const Field* FindField(const GroupDef& g, uint32_t key) {
    for (const auto& f : g.fields)
        if (f.key == key && key != 0)
            return &f;
    return nullptr;
}

// The statistics groups: their words come from "nv_cache_stats" under these names.
const char* StatsName(uint32_t group) {
    switch (group) {
    case kCachePolicyStatsGroup:
        return "policy";
    case kCacheStatsGroup:
        return "stats";
    case kCacheStats2Group:
        return "stats2";
    case kUnifiedCacheStatsGroup:
        return "unified";
    }
    return nullptr;
}

struct Params {
    uint32_t length = 0, group = 0, instance = 0, member = 0, field = 0, direction = 0, dataOffset = 0,
             dataLength = 0;
};

Params ReadParams(ByteReader r, size_t base) {
    Params p;
    p.length = r.U32(base + params::kLength);
    p.group = r.U32(base + params::kGroupId);
    p.instance = r.U32(base + params::kInstance);
    p.member = r.U32(base + params::kMember);
    p.field = r.U32(base + params::kFieldIndex);
    p.direction = r.U32(base + params::kDirection);
    p.dataOffset = r.U32(base + params::kDataOffset);
    p.dataLength = r.U32(base + params::kDataTransferLength);
    return p;
}

void WriteStored(ByteWriter& w, const Field& f, const json& object) {
    if (!f.name)
        return;
    if (f.text) {
        auto it = object.find(f.name);
        std::string text = it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
        w.Text(f.offset, text.substr(0, 16), 16, '\0');
        return;
    }
    const auto value = static_cast<uint64_t>(Num(object, f.name, f.def));
    switch (f.width) {
    case 1:
        w.U8(f.offset, value);
        break;
    case 2:
        w.U16(f.offset, value);
        break;
    case 8:
        w.U64(f.offset, value);
        break;
    default:
        w.U32(f.offset, value);
    }
}

uint32_t VolumeMembers(const json& raid, const json& volume) {
    const int64_t a = Num(volume, "array", -1);
    const json& arrays = Table(raid, "arrays");
    if (a < 0 || static_cast<size_t>(a) >= arrays.size())
        return static_cast<uint32_t>(Num(volume, "members", 0));
    return static_cast<uint32_t>(Table(arrays.at(a), "disks").size());
}

// The first member disk of the volume's array, or null.
const json* FirstMember(const json& raid, const json& volume) {
    const int64_t a = Num(volume, "array", -1);
    const json& arrays = Table(raid, "arrays");
    const json& disks = Table(raid, "disks");
    if (a < 0 || static_cast<size_t>(a) >= arrays.size())
        return nullptr;
    for (const auto& m : Table(arrays.at(a), "disks")) {
        const auto d = DescValue(m);
        if (d < disks.size())
            return &disks.at(d);
    }
    return nullptr;
}

uint32_t VolumeAddress(const json& volume, size_t index) {
    const auto path = static_cast<uint32_t>(Num(volume, "path", 7));
    const auto target = static_cast<uint32_t>(Num(volume, "target", static_cast<int64_t>(index)));
    const auto lun = static_cast<uint32_t>(Num(volume, "lun", 0));
    return (path & 0xFF) << 16 | (target & 0xFF) << 8 | (lun & 0xFF);
}

uint32_t VolumeFlags(const json& volume) {
    auto flags = static_cast<uint32_t>(Num(volume, "flags", 0));
    if (!volume.value("initialized", true))
        flags |= 0x100;
    return flags;
}

// Usage code of the disk record: 0 array member, 1 claimed for RAID use but in no array, 2
// pass-through, 3 member of an offline array, 4 spare.
uint32_t DiskUsage(const json& raid, size_t index) {
    const int32_t a = ArrayOfDisk(raid, index);
    if (a >= 0)
        return Table(raid, "arrays").at(a).value("offline", false) ? 3 : 0;
    const json& disk = Table(raid, "disks").at(index);
    if (disk.value("spare", false))
        return 4;
    return disk.value("claimed", false) ? 1 : 2;
}

// Builds one group record; false (with the status) when the instance does not exist.
bool BuildGroup(const GroupDef& g, const json& state, const json& adapter, const Params& p, uint64_t now,
                std::vector<uint8_t>& data, uint32_t& status) {
    const RaidView view(state, RaidOf(adapter));
    const json& raid = *view;
    static const json empty = json::object();
    const json& volumes = Table(raid, "volumes");
    const json& disks = Table(raid, "disks");
    const json& arrays = Table(raid, "arrays");

    data.assign(g.length, 0);
    ByteWriter w(data);
    const json* object = &raid;
    switch (g.id) {
    case kVolumeTableGroup:
    case kDeviceInfoGroup:
    case kDeviceConfigurationGroup:
        if (p.instance >= volumes.size()) {
            status = kTableError;
            return false;
        }
        object = &volumes.at(p.instance);
        break;
    case kDiskTableGroup:
        if (p.instance >= disks.size()) {
            status = kTableError;
            return false;
        }
        object = &disks.at(p.instance);
        break;
    case kArrayTableGroup:
    case kArrayDiskTableGroup:
        if (p.instance >= arrays.size()) {
            status = kTableError;
            return false;
        }
        object = &arrays.at(p.instance);
        break;
    case kNewVolumeGroup:
    case kNvCacheInfoGroup: {
        auto it = raid.find(g.id == kNewVolumeGroup ? "new_volume" : "nv_cache");
        object = it != raid.end() && it->is_object() ? &*it : &empty;
        break;
    }
    default:
        break;
    }
    if (g.id == kUnifiedCacheStatsGroup)
        w.U64(0, g.length);
    else
        w.U32(0, g.length);
    for (const auto& f : g.fields)
        WriteStored(w, f, *object);

    // Raw map states of the volume record: 0 normal, 2 degraded, 3 failed, 5 initialising,
    // 6 rebuilding, 7 verifying, 8 migrating, 10 verifying with repair.
    switch (g.id) {
    case 19: {
        uint32_t left = 0, total = 0;
        if (CacheFlushProgress(raid, now, left, total)) {
            w.U32(44, left);
            w.U32(48, total);
        }
        break;
    }
    case kConfigurationGroup: {
        w.U32(4, volumes.size());
        w.U32(8, disks.size());
        w.U32(176, arrays.size());
        w.U32(188, static_cast<uint32_t>(VolumeActionsInProgress(adapter, now)));
        w.U32(192, static_cast<uint32_t>(DiskActionsInProgress(adapter, now)));
        break;
    }
    case kVolumeTableGroup: {
        const json& v = *object;
        const json* first = FirstMember(raid, v);
        const JobView job = VolumeJob(v, now);
        const auto level = static_cast<uint32_t>(Num(v, "level", 0));
        w.U32(20, VolumeAddress(v, p.instance));
        w.U32(28, first ? DiskSectorSize(*first) : 512);
        w.U32(40, VolumeMembers(raid, v));
        w.U32(80, static_cast<uint64_t>(Num(v, "mirrors", level == 1 ? 2 : 1)));
        w.U32(96, static_cast<uint64_t>(Num(v, "array", -1)));
        w.U32(100, job.running ? job.rawState : static_cast<uint64_t>(Num(v, "state", 0)));
        w.U32(104, v.value("initialized", true) ? 0 : 1);
        w.U32(108, VolumeFlags(v));
        w.U32(116, first ? static_cast<uint64_t>(Num(*first, "physical_sector_size", DiskSectorSize(*first)))
                         : 512);
        w.U32(128,
              static_cast<uint64_t>(Num(v, "rpm", first && first->value("solid_state", false) ? 1 : 7200)));
        break;
    }
    case kDiskTableGroup: {
        const json& d = *object;
        const uint64_t sectors = DiskSectors(d);
        const uint64_t free = DiskFreeSectors(raid, p.instance);
        w.U32(20, sectors & 0xFFFFFFFF);
        w.U32(184, sectors >> 32);
        w.U32(24, free & 0xFFFFFFFF);
        w.U32(188, free >> 32);
        w.U32(48, static_cast<uint64_t>(Num(d, "state_flags", 0x10)));
        w.U32(140, static_cast<uint32_t>(ArrayOfDisk(raid, p.instance)));
        w.U32(144, DiskUsage(raid, p.instance));
        w.U32(148, DiskSectorSize(d));
        w.U16(170, DiskMetadataSectors(d));
        w.U32(172, DiskUsedSectors(raid, p.instance));
        w.U32(180, d.value("solid_state", false) ? 1 : 0);
        break;
    }
    case kArrayTableGroup: {
        const json& a = *object;
        uint64_t totalMb = 0;
        uint64_t minFree = UINT64_MAX;
        const json& members = Table(a, "disks");
        for (const auto& m : members) {
            const auto d = DescValue(m);
            if (d >= disks.size())
                continue;
            const json& disk = disks.at(d);
            const uint64_t usable = DiskSectors(disk) > DiskMetadataSectors(disk)
                                        ? DiskSectors(disk) - DiskMetadataSectors(disk)
                                        : 0;
            totalMb += (usable * DiskSectorSize(disk)) >> 20;
            minFree = std::min(minFree, DiskFreeSectors(raid, d) * DiskSectorSize(disk));
        }
        if (minFree == UINT64_MAX)
            minFree = 0;
        uint32_t onArray = 0;
        for (const auto& v : volumes)
            if (Num(v, "array", -1) == static_cast<int64_t>(p.instance))
                ++onArray;
        w.U32(8, members.size());
        w.U32(12, onArray);
        w.U32(16, (minFree >> 20) * members.size());
        w.U32(20, static_cast<uint64_t>(Num(a, "state", 0)));
        w.U32(24, totalMb);
        w.U32(36, minFree >> 32);
        w.U32(40, minFree & 0xFFFFFFFF);
        w.U32(44, static_cast<uint64_t>(Num(a, "number", static_cast<int64_t>(p.instance))));
        break;
    }
    case kArrayDiskTableGroup: {
        const json& members = Table(*object, "disks");
        if (p.member >= members.size() || DescValue(members.at(p.member)) >= disks.size()) {
            status = kTableError;
            return false;
        }
        const json& disk = disks.at(DescValue(members.at(p.member)));
        w.Text(4, disk.value("serial", std::string()).substr(0, 16), 16, '\0');
        break;
    }
    case kDeviceInfoGroup: {
        const json* first = FirstMember(raid, *object);
        const uint32_t block = first ? DiskSectorSize(*first) : 512;
        w.U32(4, block);
        w.U64(8, (static_cast<uint64_t>(Num(*object, "size_mb", 0)) << 20) / block);
        break;
    }
    case kDeviceConfigurationGroup: {
        const JobView job = VolumeJob(*object, now);
        w.U32(20, VolumeAddress(*object, p.instance));
        w.U32(104, job.running ? job.progress : 0);
        w.U32(112, static_cast<uint64_t>(Num(*object, "size_mb", 0)));
        break;
    }
    case kCachePolicyStatsGroup:
    case kCacheStatsGroup:
    case kCacheStats2Group:
    case kUnifiedCacheStatsGroup: {
        auto stats = raid.find("nv_cache_stats");
        if (stats != raid.end() && stats->is_object()) {
            auto words = stats->find(StatsName(g.id));
            if (words != stats->end() && words->is_array())
                for (size_t i = 0; i < words->size(); ++i)
                    w.U32(g.id == kUnifiedCacheStatsGroup ? 8 + 4 * i : 4 + 4 * i, DescValue(words->at(i)));
        }
        break;
    }
    case kRefreshPartitionsGroup:
        w.U32(4, static_cast<uint64_t>(Num(raid, "partition_refreshes", 0)));
        break;
    default:
        break;
    }
    return true;
}

// The object of the description a set of group `g` changes.
json* SetTarget(json& raid, uint32_t group, uint32_t instance, uint32_t& status) {
    auto row = [&](const char* table) -> json* {
        json& t = raid[table];
        if (instance >= t.size()) {
            status = kTableError;
            return nullptr;
        }
        return &t[instance];
    };
    switch (group) {
    case kConfigurationGroup:
        return &raid;
    case kVolumeTableGroup:
    case kDeviceConfigurationGroup:
        return row("volumes");
    case kDiskTableGroup:
        return row("disks");
    case kNewVolumeGroup:
        return &raid["new_volume"];
    case kArrayTableGroup:
        return row("arrays");
    case kNvCacheInfoGroup:
        return &raid["nv_cache"];
    }
    status = kInvalidRequest;
    return nullptr;
}

void StoreField(json& object, const Field& f, ByteReader data) {
    if (f.text) {
        object[f.name] = data.Text(0, 16);
        return;
    }
    uint64_t value = 0;
    switch (f.width) {
    case 1:
        value = data.U8(0);
        break;
    case 2:
        value = data.U16(0);
        break;
    case 8:
        value = data.U64(0);
        break;
    default:
        value = data.U32(0);
    }
    // Indexes and selections are signed: -1 names none.
    if (f.width == 4 && f.def < 0)
        object[f.name] = static_cast<int32_t>(value);
    else
        object[f.name] = value;
}

struct Fault {
    std::optional<json> outcome;
    uint32_t value(const char* key) const { return static_cast<uint32_t>(DescValue(outcome->at(key))); }
    bool has(const char* key) const { return outcome && outcome->contains(key); }
};

// The request in either form; `base` is the offset of the parameter block (0 direct, 28 miniport).
DriverAnswer Handle(DriverRequest& r, size_t base) {
    const bool direct = base == kDirectParams;
    ByteReader in(r.buffer);
    if (!in.Has(base, params::kSize))
        return {ERROR_INVALID_PARAMETER, 0};
    const Params p = ReadParams(in, base);

    Fault fault;
    fault.outcome = CheckFaults(Current().faults(), "RaidRequest",
                                {{"port", r.port},
                                 {"group", p.group},
                                 {"instance", p.instance},
                                 {"member", p.member},
                                 {"field", p.field},
                                 {"direction", p.direction},
                                 {"form", direct ? "direct" : "miniport"}});
    if (fault.has("win32_error"))
        return {fault.value("win32_error"), 0};

    bool refuseMiniport = false;
    if (!direct) {
        Current().Read([&](const json& state) {
            if (const json* a = AdapterOf(state, r.port))
                refuseMiniport = RaidOf(*a).value("direct_only", false);
        });
        // A driver that takes the request only in its direct form refuses the framed one.
        if (refuseMiniport)
            return {ERROR_INVALID_PARAMETER, 0};
    }

    const size_t dataAt = base + params::kSize;
    const size_t room = r.buffer.size() > dataAt ? r.buffer.size() - dataAt : 0;
    const GroupDef* g = FindGroup(p.group);
    const bool set = p.direction == 1;
    const bool writes = set || p.group == 22;

    DriverAnswer answer = RunOnController(
        r.port, writes, [&](const json& state, json& adapter, uint64_t now, Announcements& out) {
            uint32_t status = kOk;
            std::span<uint8_t> data = r.buffer.subspan(dataAt, room);
            if (fault.has("status")) {
                status = fault.value("status");
            } else if (p.length != params::kSize || p.dataOffset != params::kSize || p.dataLength > room ||
                       p.direction > 1) {
                status = kInvalidParameter;
            } else if (!g) {
                status = kInvalidGroup;
            } else if (!set) {
                std::vector<uint8_t> record;
                if (BuildGroup(*g, state, adapter, p, now, record, status)) {
                    if (p.field == kWholeGroup) {
                        std::copy_n(record.begin(), std::min<size_t>(record.size(), p.dataLength),
                                    data.begin());
                    } else if (const Field* f = FindField(*g, p.field)) {
                        if (p.dataLength < f->width)
                            status = kInvalidParameter;
                        else
                            std::copy_n(record.begin() + f->offset, f->width, data.begin());
                    } else {
                        status = kNoSuchField;
                    }
                }
                if (status == kOk && p.group == 22)
                    Raid(adapter)["partition_refreshes"] = Num(RaidOf(adapter), "partition_refreshes", 0) + 1;
            } else {
                json& raid = Raid(adapter);
                json* object = SetTarget(raid, p.group, p.instance, status);
                if (object && p.field == kWholeGroup) {
                    // Only the new-volume group is written whole.
                    if (p.group != 4)
                        status = kInvalidRequest;
                    else if (p.dataLength < g->length)
                        status = kInvalidParameter;
                    else
                        for (const auto& f : g->fields)
                            StoreField(*object, f, ByteReader(data.subspan(f.offset, f.width)));
                } else if (object) {
                    const Field* f = FindField(*g, p.field);
                    if (!f)
                        status = kNoSuchField;
                    else if (!f->writable)
                        status = kInvalidRequest;
                    else if (p.dataLength < f->width)
                        status = kInvalidParameter;
                    else
                        StoreField(*object, *f, ByteReader(data.first(f->width)));
                    if (status == kOk && p.group == 1 && p.field == 42)
                        StartTrigger(state, adapter, static_cast<uint32_t>(Num(raid, "trigger", 0)), now,
                                     out);
                }
            }
            if (status == kOk && fault.has("group_patch")) {
                ByteWriter w(data);
                for (const auto& patch : fault.outcome->at("group_patch")) {
                    const auto at = static_cast<size_t>(DescValue(patch.at("offset")));
                    if (patch.contains("u32"))
                        w.U32(at, DescValue(patch.at("u32")));
                    else if (patch.contains("u8"))
                        w.U8(at, DescValue(patch.at("u8")));
                }
            }
            ByteWriter(r.buffer).U32(base + params::kStatus, status);
            if (fault.has("params_length"))
                ByteWriter(r.buffer).U32(base + params::kLength, fault.value("params_length"));
            return DriverAnswer{};
        });
    if (answer.win32Error != 0)
        return answer;
    if (!direct) {
        r.SetReturnCode(fault.has("return_code") ? fault.value("return_code") : 0);
        if (fault.has("header_length"))
            ByteWriter(r.buffer).U32(0, fault.value("header_length"));
    }
    return answer;
}

} // namespace

void RegisterRaidConfigFamily(devio::DriverDispatch& dispatch) {
    dispatch.AddMiniport(devio::kRaidDriver, kRaidSignature, kRaidConfigCode,
                         [](DriverRequest& r) { return Handle(r, kFramedParams); });
    dispatch.AddControlCode(devio::kRaidDriver, kRaidConfigCode,
                            [](DriverRequest& r) { return Handle(r, kDirectParams); });
}

} // namespace sim::driver
