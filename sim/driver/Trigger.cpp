// The trigger work of the simulated RAID driver. The host prepares a change in the action fields,
// the selections and the new-volume group, then writes a trigger kind; the driver counts the actions
// as in progress for "action_ms", then carries them out and leaves its error number (0 or one of the
// CFG codes 1 to 41). Long work that follows (initialising, verifying, rebuilding, migrating a
// volume) runs as a volume job whose progress follows sim::Clock.
#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "sim/driver/CacheActions.h"
#include "sim/driver/DriverEvents.h"
#include "sim/driver/RaidState.h"

namespace sim::driver {
namespace {

// The driver's error numbers this simulation reports (the CFG codes of the configuration group).
enum CfgError : uint32_t {
    kNone = 0,
    kVolumeTableFull = 2,
    kNameTooShort = 5,
    kNameNotUnique = 7,
    kNoMembersSelected = 8,
    kTooFewMembers = 9,
    kTooManyMembers = 10,
    kNeedsThreeMembers = 11,
    kNotEnoughSpace = 14,
    kVolumeNotFound = 18,
    kNotImplemented = 19,
    kVolumeActionsInProgress = 22,
    kDiskNotFound = 34,
    kIllegalDiskAction = 36,
    kStripSizeInvalid = 37,
    kRaidLevelInvalid = 41,
    kInvalidParameter = 42,
};

enum TriggerKind : uint32_t {
    kNoneTrigger = 0,
    kVolumeActions = 1,
    kDiskActions = 2,
    kResetConfiguration = 3,
    kParseCreation = 4,
    kCreateVolume = 5,
    kCreateVolumeFromDisk = 6,
    kParseExpand = 7,
    kExpandArray = 8,
    kParseMigration = 9,
    kMigrateVolume = 10,
    kEnclosureActions = 12,
    kArrayCachePolicy = 13,
};

// Disk state flags of the disk record.
constexpr uint32_t kFailed = 0x4;
constexpr uint32_t kPresent = 0x10;
constexpr uint32_t kSmartEvent = 0x200;
constexpr uint32_t kOffline = 0x8000;
constexpr uint32_t kOfflineByRequest = 0x80;
constexpr uint32_t kMissing = 0x2000000;
// The new-volume option that makes the volume the SSD cache's cache volume.
constexpr uint32_t kCacheVolumeOption = 0x4000;

json& Rows(json& raid, const char* table) {
    return raid[table];
}

uint32_t Flags(const json& disk) {
    return static_cast<uint32_t>(Num(disk, "state_flags", kPresent));
}

bool Bad(const json& disk) {
    const uint32_t f = Flags(disk);
    return (f & kFailed) || !(f & kPresent) || (f & kMissing);
}

uint64_t JobDuration(const json& raid, const std::string& kind) {
    static const std::vector<std::pair<const char*, uint64_t>> defaults = {{"initialize", 30000},
                                                                           {"verify", 20000},
                                                                           {"verify_fix", 20000},
                                                                           {"rebuild", 40000},
                                                                           {"migrate", 60000}};
    const json& custom = raid.value("job_ms", json::object());
    for (const auto& [name, ms] : defaults)
        if (kind == name)
            return static_cast<uint64_t>(Num(custom, name, static_cast<int64_t>(ms)));
    return 10000;
}

void StartJob(json& raid, json& volume, const std::string& kind, uint64_t now, json to = nullptr) {
    json job = {{"kind", kind}, {"start_ms", now}, {"duration_ms", JobDuration(raid, kind)}};
    if (!to.is_null())
        job["to"] = std::move(to);
    volume["job"] = std::move(job);
}

// The disk indexes an array holds.
std::vector<size_t> Members(const json& array) {
    std::vector<size_t> out;
    for (const auto& m : Table(array, "disks"))
        out.push_back(static_cast<size_t>(DescValue(m)));
    return out;
}

bool Redundant(const json& volume) {
    return Num(volume, "level", 0) != 0;
}

// After a member disk failed or left: the volumes of its array lose redundancy or fail.
void MemberLost(json& raid, int32_t array) {
    for (auto& v : Rows(raid, "volumes"))
        if (Num(v, "array", -1) == array) {
            v["state"] = Redundant(v) ? 2 : 3;
            v.erase("job");
        }
}

// After a member came back: the volumes are normal again when every member is.
void MemberBack(json& raid, int32_t array) {
    const json& disks = Rows(raid, "disks");
    for (size_t d : Members(Rows(raid, "arrays").at(array)))
        if (d < disks.size() && Bad(disks.at(d)))
            return;
    for (auto& v : Rows(raid, "volumes"))
        if (Num(v, "array", -1) == array && !v.contains("job"))
            v["state"] = 0;
}

// Puts a claimed or spare disk in place of a failed or missing member of a redundant array that it
// is large enough for, and starts the rebuild of that array's volumes. `sized` is the disk with its
// capacity (SizedDisk).
bool RebuildOnto(const json& sized, json& raid, size_t disk, uint64_t now) {
    json& arrays = Rows(raid, "arrays");
    json& disks = Rows(raid, "disks");
    const uint64_t usable =
        DiskSectors(sized) > DiskMetadataSectors(sized)
            ? ((DiskSectors(sized) - DiskMetadataSectors(sized)) * DiskSectorSize(sized)) >> 20
            : 0;
    for (size_t a = 0; a < arrays.size(); ++a) {
        bool redundant = false;
        uint64_t needed = 0;
        const auto memberCount = static_cast<uint32_t>(Table(arrays[a], "disks").size());
        for (const auto& v : Rows(raid, "volumes"))
            if (Num(v, "array", -1) == static_cast<int64_t>(a)) {
                redundant = redundant || Redundant(v);
                needed += VolumeShareMb(v, memberCount);
            }
        if (!redundant || needed > usable)
            continue;
        json& members = arrays[a]["disks"];
        for (auto& m : members) {
            const auto old = static_cast<size_t>(DescValue(m));
            if (old < disks.size() && old != disk && Bad(disks.at(old))) {
                m = disk;
                disks[disk]["spare"] = false;
                for (auto& v : Rows(raid, "volumes"))
                    if (Num(v, "array", -1) == static_cast<int64_t>(a)) {
                        v["state"] = 2;
                        StartJob(raid, v, "rebuild", now);
                    }
                return true;
            }
        }
    }
    return false;
}

// Removes an array and renumbers the volumes' references to the ones after it. Its members keep
// their RAID metadata (claimed, in no array) until the host clears it.
void RemoveArray(json& raid, int32_t array) {
    json& arrays = Rows(raid, "arrays");
    for (size_t d : Members(arrays.at(array)))
        if (d < Rows(raid, "disks").size())
            Rows(raid, "disks")[d]["claimed"] = true;
    arrays.erase(arrays.begin() + array);
    for (auto& v : Rows(raid, "volumes")) {
        const int64_t a = Num(v, "array", -1);
        if (a > array)
            v["array"] = a - 1;
    }
}

uint32_t VolumeActions(json& raid, uint64_t now) {
    uint32_t error = kNone;
    json& volumes = Rows(raid, "volumes");
    std::vector<size_t> deletes;
    for (size_t i = 0; i < volumes.size(); ++i) {
        json& v = volumes[i];
        const auto action = static_cast<uint32_t>(Num(v, "action", 0));
        const auto argument = static_cast<uint32_t>(Num(v, "device_action", 0));
        const std::string job = v.contains("job") ? v["job"].value("kind", std::string()) : std::string();
        switch (action) {
        case 0:
            break;
        case 1:
            // A volume described as surviving deletion stays, though the driver reports success.
            if (!v.value("survives_delete", false))
                deletes.push_back(i);
            break;
        case 2:
            v["state"] = 0;
            break;
        case 3:
        case 4:
            // A volume busy with its own job takes no new one.
            if (!job.empty()) {
                error = kVolumeActionsInProgress;
                break;
            }
            if (action == 3) {
                v["initialized"] = false;
                StartJob(raid, v, "initialize", now);
            } else {
                StartJob(raid, v, argument & 1 ? "verify_fix" : "verify", now);
            }
            break;
        case 6:
            if (job == "verify" || job == "verify_fix")
                v.erase("job");
            break;
        case 9:
            if (argument != 0 && (argument < 0x100 || argument > 0x103)) {
                error = kInvalidParameter;
                break;
            }
            v["cache_policy"] = argument;
            break;
        case 10:
            break;
        case 11:
            v["export_policy"] = argument;
            break;
        case 15:
        case 17:
        case 18:
        case 19:
            if (const uint32_t refused = CacheVolumeAction(raid, i, action, argument, now))
                error = refused;
            break;
        default:
            error = kNotImplemented;
        }
        v["action"] = 0;
    }
    for (auto it = deletes.rbegin(); it != deletes.rend(); ++it) {
        const auto array = static_cast<int32_t>(Num(volumes.at(*it), "array", -1));
        volumes.erase(volumes.begin() + static_cast<std::ptrdiff_t>(*it));
        CacheVolumeRemoved(raid, *it);
        bool used = false;
        for (const auto& v : volumes)
            used = used || Num(v, "array", -1) == array;
        if (array >= 0 && static_cast<size_t>(array) < Rows(raid, "arrays").size() && !used)
            RemoveArray(raid, array);
    }
    return error;
}

uint32_t DiskActions(const json& state, json& raid, uint64_t now) {
    uint32_t error = kNone;
    json& disks = Rows(raid, "disks");
    for (size_t i = 0; i < disks.size(); ++i) {
        json& d = disks[i];
        const auto action = static_cast<uint32_t>(Num(d, "action", 0));
        const uint32_t flags = Flags(d);
        const int32_t array = ArrayOfDisk(raid, i);
        switch (action) {
        case 0:
            break;
        case 1:
            d["claimed"] = true;
            if (array < 0)
                RebuildOnto(SizedDisk(state, raid, i), raid, i, now);
            break;
        case 2:
            if (array >= 0) {
                error = kIllegalDiskAction;
                break;
            }
            d["claimed"] = false;
            d["spare"] = false;
            break;
        case 3:
            d["state_flags"] = flags | kFailed;
            if (array >= 0)
                MemberLost(raid, array);
            break;
        case 4:
            d["state_flags"] = flags & ~kFailed;
            if (array >= 0)
                MemberBack(raid, array);
            break;
        case 5:
            if (array >= 0) {
                error = kIllegalDiskAction;
                break;
            }
            d["claimed"] = true;
            d["spare"] = true;
            RebuildOnto(SizedDisk(state, raid, i), raid, i, now);
            break;
        case 9:
            // Taken offline by the host's request: the member's volumes lose it until it is back.
            d["state_flags"] = flags | kOfflineByRequest;
            if (array >= 0)
                MemberLost(raid, array);
            break;
        case 10:
            d["state_flags"] = flags & ~(kOffline | kOfflineByRequest);
            if (array >= 0)
                MemberBack(raid, array);
            break;
        case 11:
            if (array >= 0) {
                bool used = false;
                for (const auto& v : Rows(raid, "volumes"))
                    used = used || Num(v, "array", -1) == array;
                if (used) {
                    error = kIllegalDiskAction;
                    break;
                }
                RemoveArray(raid, array);
            }
            d["claimed"] = false;
            d["spare"] = false;
            break;
        case 14:
            d["state_flags"] = flags | kSmartEvent;
            break;
        case 15:
            d["state_flags"] = flags & ~kSmartEvent;
            break;
        case 17:
            if (const uint32_t refused = CacheDiskAction(raid, i, now))
                error = refused;
            break;
        default:
            error = kIllegalDiskAction;
        }
        disks[i]["action"] = 0;
    }
    return error;
}

// What a creation or modification would make: its members, the level and the size it can have.
struct Plan {
    uint32_t error = kNone;
    std::vector<size_t> members; // the array's members after the change
    std::vector<size_t> added;   // selected disks not yet in the array
    int32_t array = -1;          // the existing array, or -1 for a new one
    int32_t volume = -1;         // the volume a modification changes
    uint32_t level = 0, mirrors = 1;
    uint64_t offerMb = 0;
};

bool ValidLevel(uint32_t level) {
    return level == 0 || level == 1 || level == 3 || level == 5 || level == 10;
}

uint32_t MinMembers(uint32_t level) {
    switch (level) {
    case 1:
        return 2;
    case 3:
    case 5:
        return 3;
    case 10:
        return 4;
    }
    return 1;
}

Plan MakePlan(const json& state, json& raid, uint32_t kind) {
    Plan plan;
    const json& nv = raid["new_volume"];
    const json& disks = Table(raid, "disks");
    const json& arrays = Table(raid, "arrays");
    const json& volumes = Table(raid, "volumes");
    const bool modify = kind >= kParseExpand && kind <= kMigrateVolume;
    const std::string name = nv.value("name", std::string());
    plan.level = static_cast<uint32_t>(Num(nv, "level", 0));
    plan.mirrors = static_cast<uint32_t>(Num(nv, "mirrors", plan.level == 1 ? 2 : 1));
    if (plan.level == 10) {
        plan.level = 1;
        plan.mirrors = 2;
    }
    const int64_t selectedArray = Num(raid, "selected_array", -1);

    if (!ValidLevel(static_cast<uint32_t>(Num(nv, "level", 0)))) {
        plan.error = kRaidLevelInvalid;
        return plan;
    }
    const auto strip = static_cast<uint32_t>(Num(nv, "strip_kb", 0));
    if (strip != 0 && (strip & (strip - 1)) != 0) {
        plan.error = kStripSizeInvalid;
        return plan;
    }

    if (modify) {
        for (size_t i = 0; i < volumes.size() && plan.volume < 0; ++i)
            if (!name.empty() && volumes[i].value("name", std::string()) == name)
                plan.volume = static_cast<int32_t>(i);
        for (size_t i = 0; i < volumes.size() && plan.volume < 0; ++i)
            if (selectedArray >= 0 && Num(volumes[i], "array", -1) == selectedArray)
                plan.volume = static_cast<int32_t>(i);
        if (plan.volume < 0) {
            plan.error = kVolumeNotFound;
            return plan;
        }
        plan.array = static_cast<int32_t>(Num(volumes[plan.volume], "array", -1));
    } else {
        if (name.empty()) {
            plan.error = kNameTooShort;
            return plan;
        }
        for (const auto& v : volumes)
            if (v.value("name", std::string()) == name) {
                plan.error = kNameNotUnique;
                return plan;
            }
        const int64_t limit = Num(raid, "max_volumes", 4);
        if (static_cast<int64_t>(volumes.size()) >= limit) {
            plan.error = kVolumeTableFull;
            return plan;
        }
        if (selectedArray >= 0 && static_cast<size_t>(selectedArray) < arrays.size())
            plan.array = static_cast<int32_t>(selectedArray);
    }
    if (plan.array >= 0 && static_cast<size_t>(plan.array) < arrays.size())
        plan.members = Members(arrays.at(plan.array));
    for (size_t i = 0; i < disks.size(); ++i) {
        if (Num(disks[i], "checkbox", 0) == 0)
            continue;
        if (std::find(plan.members.begin(), plan.members.end(), i) != plan.members.end())
            continue;
        if (ArrayOfDisk(raid, i) >= 0 || Bad(disks[i]) || disks[i].value("spare", false)) {
            plan.error = kDiskNotFound;
            return plan;
        }
        plan.added.push_back(i);
        plan.members.push_back(i);
    }
    if (plan.members.empty()) {
        plan.error = kNoMembersSelected;
        return plan;
    }
    const auto wanted = static_cast<uint32_t>(Num(nv, "members", 0));
    if (!modify && plan.array < 0 && wanted != 0 && wanted != plan.members.size()) {
        plan.error = wanted > plan.members.size() ? kTooFewMembers : kTooManyMembers;
        return plan;
    }
    const uint32_t level = static_cast<uint32_t>(Num(nv, "level", 0));
    if (plan.members.size() < MinMembers(level)) {
        plan.error = level == 5 || level == 3 ? kNeedsThreeMembers : kTooFewMembers;
        return plan;
    }
    // Mirrors pair their members: two disks make RAID 1, four RAID 10.
    if (level == 1 && plan.members.size() % 2 != 0) {
        plan.error = kTooManyMembers;
        return plan;
    }

    // Every member gives the same share: the smallest free space among them, plus (for a
    // modification) the share the changed volume holds already.
    uint64_t share = UINT64_MAX;
    const auto oldMembers = static_cast<uint32_t>(plan.members.size() - plan.added.size());
    for (size_t d : plan.members) {
        // Capacities come from the disk as the machine describes it.
        const json sized = SizedDisk(state, raid, d);
        uint64_t free = (DiskFreeSectors(raid, d, sized) * DiskSectorSize(sized)) >> 20;
        if (plan.volume >= 0 && std::find(plan.added.begin(), plan.added.end(), d) == plan.added.end())
            free += VolumeShareMb(volumes[plan.volume], oldMembers);
        share = std::min(share, free);
    }
    plan.offerMb = share * DataDisks(plan.level, plan.mirrors, static_cast<uint32_t>(plan.members.size()));
    if (plan.offerMb == 0)
        plan.error = kNotEnoughSpace;
    return plan;
}

// A volume's target id defaults to its index (path 7 holds the volumes).
uint32_t FirstFreeTarget(const json& volumes) {
    for (uint32_t t = 0;; ++t) {
        bool used = false;
        for (size_t i = 0; i < volumes.size(); ++i)
            used = used || (Num(volumes[i], "path", 7) == 7 &&
                            Num(volumes[i], "target", static_cast<int64_t>(i)) == t);
        if (!used)
            return t;
    }
}

uint32_t Create(const json& state, json& raid, uint32_t kind, uint64_t now) {
    Plan plan = MakePlan(state, raid, kind);
    if (plan.error != kNone)
        return plan.error;
    json& nv = raid["new_volume"];
    const auto asked = static_cast<uint64_t>(Num(nv, "size_mb", 0));
    if (asked > plan.offerMb)
        return kNotEnoughSpace;
    const int64_t source = Num(raid, "selected_disk", -1);
    if (kind == kCreateVolumeFromDisk && std::find(plan.members.begin(), plan.members.end(),
                                                   static_cast<size_t>(source)) == plan.members.end())
        return kDiskNotFound;
    json& arrays = Rows(raid, "arrays");
    json& volumes = Rows(raid, "volumes");
    if (plan.array < 0) {
        int64_t number = 0;
        for (const auto& a : arrays)
            number = std::max<int64_t>(number, Num(a, "number", 0) + 1);
        arrays.push_back({{"disks", plan.members}, {"number", number}});
        plan.array = static_cast<int32_t>(arrays.size() - 1);
    } else {
        arrays[plan.array]["disks"] = plan.members;
    }
    for (size_t d : plan.members)
        Rows(raid, "disks")[d]["claimed"] = true;
    json v = {{"name", nv.value("name", std::string())},
              {"level", plan.level},
              {"mirrors", plan.mirrors},
              {"size_mb", asked == 0 ? plan.offerMb : asked},
              {"strip_kb", Num(nv, "strip_kb", 0)},
              {"array", plan.array},
              {"path", 7},
              {"target", FirstFreeTarget(volumes)},
              {"state", 0},
              {"initialized", true}};
    // The Windows side of the new volume follows once the request is done (VolumeDisks.cpp).
    v["created_from"] = {{"source", kind == kCreateVolumeFromDisk ? source : -1}};
    // The creation's options mark the volume as the driver keeps it (a cache volume is hidden).
    const auto options = static_cast<uint32_t>(Num(nv, "options", 0));
    if (options != 0)
        v["flags"] = options;
    if (options & kCacheVolumeOption)
        CacheVolumeCreated(raid, volumes.size(), asked == 0 ? plan.offerMb : asked);
    if (kind == kCreateVolumeFromDisk)
        StartJob(raid, v, "migrate", now);
    else if (plan.level != 0) {
        v["initialized"] = false;
        StartJob(raid, v, "initialize", now);
    }
    volumes.push_back(std::move(v));
    return kNone;
}

uint32_t Modify(const json& state, json& raid, uint32_t kind, uint64_t now) {
    Plan plan = MakePlan(state, raid, kind);
    if (plan.error != kNone)
        return plan.error;
    json& nv = raid["new_volume"];
    json& v = Rows(raid, "volumes")[plan.volume];
    const auto asked = static_cast<uint64_t>(Num(nv, "size_mb", 0));
    json to = {{"added", plan.added}};
    if (kind == kMigrateVolume) {
        to["level"] = plan.level;
        to["mirrors"] = plan.mirrors;
        to["strip_kb"] = Num(nv, "strip_kb", Num(v, "strip_kb", 0));
    }
    // A size beyond what the members offer grows the volume into all of it.
    const uint64_t size = asked == 0 || asked > plan.offerMb ? plan.offerMb : asked;
    to["size_mb"] = std::max<uint64_t>(size, static_cast<uint64_t>(Num(v, "size_mb", 0)));
    for (size_t d : plan.added)
        Rows(raid, "disks")[d]["claimed"] = true;
    StartJob(raid, v, "migrate", now, std::move(to));
    return kNone;
}

uint32_t CompleteTrigger(const json& state, json& adapter, uint32_t kind, uint64_t now) {
    json& raid = Raid(adapter);
    switch (kind) {
    case kNoneTrigger:
    case kEnclosureActions:
        return kNone;
    case kVolumeActions:
        return VolumeActions(raid, now);
    case kDiskActions:
        return DiskActions(state, raid, now);
    case kResetConfiguration:
        raid["volumes"] = json::array();
        raid["arrays"] = json::array();
        for (auto& d : Rows(raid, "disks")) {
            d["claimed"] = false;
            d["spare"] = false;
        }
        return kNone;
    case kParseCreation:
    case kParseExpand:
    case kParseMigration: {
        Plan plan = MakePlan(state, raid, kind);
        if (plan.error == kNone)
            raid["new_volume"]["size_mb"] = plan.offerMb;
        return plan.error;
    }
    case kCreateVolume:
    case kCreateVolumeFromDisk:
        return Create(state, raid, kind, now);
    case kExpandArray:
    case kMigrateVolume:
        return Modify(state, raid, kind, now);
    case kArrayCachePolicy:
        for (auto& a : Rows(raid, "arrays"))
            if (a.contains("cache_policy_request")) {
                a["write_cache"] = Num(a, "cache_policy_request", 0) & 1;
                a.erase("cache_policy_request");
            }
        return kNone;
    default:
        return kNotImplemented;
    }
}

// Carries out a trigger whose actions have run their time. Error numbers the description queues in
// "trigger_errors" are the driver refusing the next triggers: each takes one, leaves the
// configuration as it was and clears the action fields and the arrays' requested cache policies.
uint32_t FinishTrigger(const json& state, json& adapter, uint32_t kind, uint64_t now) {
    json& raid = Raid(adapter);
    auto queued = raid.find("trigger_errors");
    if (queued == raid.end() || !queued->is_array() || queued->empty())
        return CompleteTrigger(state, adapter, kind, now);
    const auto error = static_cast<uint32_t>(DescValue(queued->front()));
    queued->erase(queued->begin());
    if (queued->empty())
        raid.erase("trigger_errors");
    for (const char* table : {"volumes", "disks"})
        for (auto& row : Rows(raid, table))
            row["action"] = 0;
    for (auto& a : Rows(raid, "arrays"))
        a.erase("cache_policy_request");
    return error;
}

void FinishJob(json& raid, json& v) {
    const json job = std::move(v["job"]);
    const std::string kind = job.value("kind", std::string());
    v.erase("job");
    v["state"] = 0;
    if (kind == "initialize")
        v["initialized"] = true;
    if (kind == "migrate" && job.contains("to")) {
        const json& to = job["to"];
        const int64_t a = Num(v, "array", -1);
        if (a >= 0 && static_cast<size_t>(a) < Rows(raid, "arrays").size())
            for (const auto& d : Table(to, "added"))
                Rows(raid, "arrays")[a]["disks"].push_back(d);
        for (const char* key : {"level", "mirrors", "strip_kb", "size_mb"})
            if (to.contains(key))
                v[key] = to[key];
    }
}

uint64_t DueOf(const json& pending) {
    return static_cast<uint64_t>(Num(pending, "due_ms", 0));
}

} // namespace

JobView VolumeJob(const json& volume, uint64_t nowMs) {
    JobView view;
    auto it = volume.find("job");
    if (it == volume.end() || !it->is_object())
        return view;
    const json& job = *it;
    const std::string kind = job.value("kind", std::string());
    view.running = true;
    view.rawState = kind == "initialize"   ? 5
                    : kind == "rebuild"    ? 6
                    : kind == "verify"     ? 7
                    : kind == "verify_fix" ? 10
                                           : 8;
    if (job.contains("progress") && !job.contains("start_ms")) {
        view.progress = static_cast<uint32_t>(std::min<int64_t>(Num(job, "progress", 0), 10000));
        return view;
    }
    const auto start = static_cast<uint64_t>(Num(job, "start_ms", static_cast<int64_t>(nowMs)));
    const auto duration = static_cast<uint64_t>(Num(job, "duration_ms", 1));
    const uint64_t elapsed = nowMs > start ? nowMs - start : 0;
    view.progress =
        duration == 0 ? 10000 : static_cast<uint32_t>(std::min<uint64_t>(elapsed * 10000 / duration, 10000));
    return view;
}

int32_t VolumeActionsInProgress(const json& adapter, uint64_t nowMs) {
    const json& raid = RaidOf(adapter);
    auto it = raid.find("pending");
    if (it == raid.end() || !it->is_object() || nowMs >= DueOf(*it))
        return 0;
    return static_cast<int32_t>(Num(*it, "volume_actions", 0));
}

int32_t DiskActionsInProgress(const json& adapter, uint64_t nowMs) {
    const json& raid = RaidOf(adapter);
    auto it = raid.find("pending");
    if (it == raid.end() || !it->is_object() || nowMs >= DueOf(*it))
        return 0;
    return static_cast<int32_t>(Num(*it, "disk_actions", 0));
}

bool WorkDue(const json& adapter, uint64_t nowMs) {
    const json& raid = RaidOf(adapter);
    if (CacheModeChangeDue(raid, nowMs))
        return true;
    if (auto it = raid.find("pending"); it != raid.end() && it->is_object() && nowMs >= DueOf(*it))
        return true;
    for (const auto& v : Table(raid, "volumes")) {
        auto job = v.find("job");
        if (job == v.end() || !job->is_object())
            continue;
        if (!job->contains("start_ms")) {
            if (!job->contains("progress"))
                return true;
            continue;
        }
        if (VolumeJob(v, nowMs).progress >= 10000)
            return true;
    }
    return false;
}

bool Advance(const json& state, json& adapter, uint64_t nowMs, Announcements& out) {
    if (!WorkDue(adapter, nowMs))
        return false;
    json& raid = Raid(adapter);
    bool changed = false;
    if (raid.contains("pending") && nowMs >= DueOf(raid["pending"])) {
        const auto kind = static_cast<uint32_t>(Num(raid["pending"], "trigger", 0));
        raid.erase("pending");
        raid["error_number"] = FinishTrigger(state, adapter, kind, nowMs);
        changed = true;
    }
    if (CacheModeChangeDue(raid, nowMs)) {
        FinishCacheModeChange(raid);
        changed = true;
    }
    for (auto& v : Rows(raid, "volumes")) {
        if (!v.contains("job") || !v["job"].is_object())
            continue;
        json& job = v["job"];
        if (!job.contains("start_ms")) {
            // A job the description starts (without a fixed progress) runs from the first request on.
            if (!job.contains("progress")) {
                job["start_ms"] = nowMs;
                if (!job.contains("duration_ms"))
                    job["duration_ms"] = JobDuration(raid, job.value("kind", std::string()));
                changed = true;
            }
            continue;
        }
        if (VolumeJob(v, nowMs).progress >= 10000) {
            FinishJob(raid, v);
            changed = true;
        }
    }
    if (changed)
        Announce(adapter, out, kEventFlagJobs | kEventFlagVolumes);
    return changed;
}

void StartTrigger(const json& state, json& adapter, uint32_t kind, uint64_t nowMs, Announcements& out) {
    json& raid = Raid(adapter);
    // A trigger written while the previous one is still being carried out finishes that one first.
    if (raid.contains("pending")) {
        const auto previous = static_cast<uint32_t>(Num(raid["pending"], "trigger", 0));
        raid.erase("pending");
        raid["error_number"] = FinishTrigger(state, adapter, previous, nowMs);
        Announce(adapter, out);
    }
    if (kind == kNoneTrigger)
        return;
    int64_t volumeActions = 0;
    int64_t diskActions = 0;
    if (kind == kVolumeActions) {
        for (const auto& v : Rows(raid, "volumes"))
            volumeActions += Num(v, "action", 0) != 0 ? 1 : 0;
    } else if (kind == kDiskActions) {
        for (const auto& d : Rows(raid, "disks"))
            diskActions += Num(d, "action", 0) != 0 ? 1 : 0;
    } else {
        volumeActions = 1;
    }
    const auto delay = static_cast<uint64_t>(Num(raid, "action_ms", 1000));
    raid["pending"] = {{"trigger", kind},
                       {"due_ms", nowMs + delay},
                       {"volume_actions", volumeActions},
                       {"disk_actions", diskActions}};
}

} // namespace sim::driver
