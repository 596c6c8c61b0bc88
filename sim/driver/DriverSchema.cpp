// The shapes of what the vendor's RAID driver keeps on an adapter ("raid", "volume_port", "ports",
// "remap_port", "ahci", "csmi", "classifier", "interface_versions") and on the devices it reports,
// declared on the extension points of the device I/O sections, and the driver's fault kind.
#include "sim/Schema.h"

#include <set>
#include <string>
#include <tuple>

#include "sim/DescriptionValues.h"
#include "sim/driver/RaidState.h"
#include "sim/storage/DiskEntries.h"

namespace sim::driver {
namespace {

using namespace sim::schema;

Shape Timed() {
    return Object({{"start_ms", Uint64()}, {"duration_ms", Uint64()}, {"progress", Uint(10000)}});
}

Shape Job() {
    return Object({{"kind", OneOfText({"initialize", "verify", "verify_fix", "rebuild", "migrate"})},
                   {"start_ms", Uint64()},
                   {"duration_ms", Uint64()},
                   {"progress", Uint(10000)},
                   {"to", Any()}},
                  {"kind"});
}

// A disk of the driver's table names the "disks" entry it stands for (by device number, or by its
// address behind the adapter) and keeps only the driver's own facts: its identity is that entry's.
Shape RaidDisk() {
    return Object({{"device_number", Uint(0xFFFF)},
                   {"path", Uint8()},
                   {"target", Uint8()},
                   {"lun", Uint8()},
                   {"address", Uint32()},
                   {"state_flags", Uint32()},
                   {"remembered_serial", Text()},
                   {"spare", Bool()},
                   {"claimed", Bool()},
                   {"metadata_sectors", Uint16()},
                   {"write_cache", Uint32()},
                   {"partitions", Uint32()},
                   {"value_b2", Uint8()},
                   {"log_block_offset", Uint32()},
                   {"pairing_check", Uint32()},
                   {"pairing_type", Uint32()},
                   {"action", Uint32()},
                   {"checkbox", Uint32()},
                   {"action_arg", Uint32()},
                   {"cache_mode", Uint32()},
                   {"protocols", Uint32()},
                   {"peripheral_type", Uint32()},
                   {"queue_depth", Uint32()}});
}

Shape RaidArray() {
    return Object({{"disks", Array(Uint(255), 64)},
                   {"number", Uint32()},
                   {"write_cache", Uint8()},
                   {"cache_policy_request", Uint8()},
                   {"state", Uint32()},
                   {"offline", Bool()}});
}

Shape RaidVolume() {
    return Object({{"name", Text()},
                   {"level", Uint32()},
                   {"mirrors", Uint32()},
                   {"size_mb", Uint32()},
                   {"strip_kb", Uint32()},
                   {"array", Uint(255)},
                   {"path", Uint8()},
                   {"target", Uint8()},
                   {"lun", Uint8()},
                   {"state", Uint32()},
                   {"initialized", Bool()},
                   {"flags", Uint32()},
                   {"flag_84", Uint32()},
                   {"sync", Uint8()},
                   {"sync_mode", Uint8()},
                   {"rpm", Uint32()},
                   {"action", Uint32()},
                   {"cache_policy", Uint32()},
                   {"export_policy", Uint32()},
                   {"device_action", Uint32()},
                   {"read_patrol_unit", Uint64()},
                   {"master_disk", Uint32()},
                   {"system", Bool()},
                   {"survives_delete", Bool()},
                   {"job", Job()}});
}

std::vector<Field> CapabilityFields() {
    return {{"driver_version", Text()}, {"orom_version", Text()},        {"disks_per_array", Uint32()},
            {"disks_total", Uint32()},  {"volumes_per_array", Uint32()}, {"volumes_per_controller", Uint32()},
            {"strip_mask", Uint32()},   {"capability_a", Uint32()},      {"capability_b", Uint32()},
            {"capability_c", Uint32()}, {"raid_levels", Uint8()}};
}

Shape Controller() {
    std::vector<Field> f = CapabilityFields();
    f.insert(f.end(), {{"vendor_id", Uint16()},
                       {"device_id", Uint16()},
                       {"revision", Uint8()},
                       {"subsystem_vendor_id", Uint16()},
                       {"subsystem_id", Uint16()},
                       {"orom", Object(CapabilityFields())},
                       {"features", Object(CapabilityFields())},
                       {"max_phys_per_port", Uint32()},
                       {"build_type", Uint8()},
                       {"hw_xor_type", Uint32()},
                       {"fua_enabled", Uint32()},
                       {"preboot_driver_type", Uint8()}});
    return Object(std::move(f));
}

Shape Raid() {
    return Object({{"controller_type", Uint32()},
                   {"direct_only", Bool()},
                   {"action_ms", Uint32()},
                   {"max_volumes", Uint32()},
                   {"job_ms", Object({{"initialize", Uint32()},
                                      {"verify", Uint32()},
                                      {"verify_fix", Uint32()},
                                      {"rebuild", Uint32()},
                                      {"migrate", Uint32()}})},
                   {"controller", Controller()},
                   {"disks", Array(RaidDisk(), 256)},
                   {"arrays", Array(RaidArray(), 64)},
                   {"volumes", Array(RaidVolume(), 64)},
                   {"new_volume", Object({{"name", Text()},
                                          {"size_mb", Uint32()},
                                          {"strip_kb", Uint32()},
                                          {"level", Uint32()},
                                          {"members", Uint32()},
                                          {"mirrors", Uint32()},
                                          {"options", Uint32()}})},
                   {"nv_cache", Object({{"size_mb", Uint32()},
                                        {"state", Uint32()},
                                        {"mode", Uint32()},
                                        {"cache_volume", Int(-1, 255)},
                                        {"accelerated_volume", Int(-1, 255)},
                                        {"name", Text()},
                                        {"left", Uint32()},
                                        {"total", Uint32()},
                                        {"policy", Uint32()},
                                        {"disable_bcd", Uint32()},
                                        {"transition_ms", Uint32()},
                                        {"hold", Uint32()},
                                        {"transition", Object({{"to", Uint32()}, {"start_ms", Uint64()}})}})},
                   {"nv_cache_stats", Object({{"policy", Array(Uint32(), 512)},
                                              {"stats", Array(Uint32(), 512)},
                                              {"stats2", Array(Uint32(), 512)},
                                              {"unified", Array(Uint32(), 512)}})},
                   {"error_number", Uint32()},
                   {"selected_disk", Int(-1, 255)},
                   {"selected_array", Int(-1, 255)},
                   {"trigger", Uint32()},
                   {"rohi_policy", Uint32()},
                   {"pending", Object({{"due_ms", Uint64()},
                                       {"volume_actions", Int(INT32_MIN, INT32_MAX)},
                                       {"disk_actions", Int(INT32_MIN, INT32_MAX)},
                                       {"trigger", Uint32()}})},
                   {"trigger_errors", Array(Int(INT32_MIN, INT32_MAX), 64)},
                   {"partition_refreshes", Uint32()},
                   {"dictionary", Object({{"mask", Uint32()}})}});
}

Shape VolumePort() {
    return Object({{"supported", Bool()},
                   {"platform_word", Uint32()},
                   {"enabled", Bool()},
                   {"fast", Uint32()},
                   {"slow", Uint32()},
                   {"block_size", Uint32()},
                   {"physical_block_size", Uint32()},
                   {"block_count", Uint64()},
                   {"file_cache_blocks", Uint64()},
                   {"file_cache_offset", Uint64()},
                   {"state_word", Uint32()},
                   {"volume_on_slow", Uint8()},
                   {"ext_kind", Uint32()},
                   {"volume_address", Uint32()},
                   {"migration", Timed()},
                   {"migration_ms", Uint32()},
                   {"counters", Array(Uint64(), 18)},
                   {"file_cache_supported", Uint32()},
                   {"pairing_type", Uint32()},
                   {"data_location", Uint32()},
                   {"data_volume", Uint32()},
                   {"separating", Bool()},
                   {"stays_paired", Bool()},
                   {"migration_type", Uint32()},
                   {"mode", Uint32()},
                   {"events", Array(Text(), 64)},
                   {"separation_error_event", Bool()},
                   {"event_counter", Uint32()},
                   {"event_value", Uint32()}});
}

// What a device behind a port (or a Windows disk standing for it) may add to its identity.
const MoreFields kDeviceFields(
    "disks",
    {{"queue_depth", Uint(32)},
     {"sata_generation", Uint(3)},
     {"trusted_computing", Bool()},
     {"sector_size", Int(512, 65536)},
     {"power_mode", Either({OneOfText({"active", "idle", "standby"}), Uint8()})},
     {"security", Object({{"enabled", Bool()},
                          {"locked", Bool()},
                          {"frozen", Bool()},
                          {"attempts_left", Uint(5)},
                          {"level", OneOfText({"high", "maximum"})},
                          {"user_password", Text()},
                          {"master_password", Text()}})},
     {"zpodd",
      Object({{"power_state", Either({OneOfText({"awake", "dozing", "asleep", "awakening"}), Uint(9)})},
              {"media", Bool()},
              {"tray_open", Bool()},
              {"acknowledge", Bool()}})},
     {"nvme", Object({{"version", Uint32()},
                      {"ieee_oui", Uint(0xFFFFFF)},
                      {"controller_id", Uint16()},
                      {"warning_temperature", Uint16()},
                      {"critical_temperature", Uint16()},
                      {"hmb", Object({{"preferred_size", Uint32()},
                                      {"minimum_size", Uint32()},
                                      {"enabled", Bool()},
                                      {"size", Uint32()},
                                      {"descriptors", Uint32()},
                                      {"status", Uint16()},
                                      {"descriptor_list_address", Uint64()}})},
                      {"aer", Object({{"pending", Array(Uint32(), 1024)},
                                      {"registrations", Map(Array(Uint32(), 1024))}})}})},
     {"health", Map(Either({Uint64(), Array(Uint16(), 8)}))}});

// A port entry describes the slot (its link, registers, location); what sits in it is the "disks"
// entry at its address.
Shape Port() {
    std::vector<Field> f = {
        {"path", Uint8()},
        {"target", Uint8()},
        {"lun", Uint8()},
        {"connection", Text()},
        {"connection_kind", Uint32()},
        {"interface", Uint32()},
        {"bus_width", Uint32()},
        {"bus_speed", Uint32()},
        {"phy", Uint(31)},
        {"speed", Uint32()},
        {"driver_max_speed", Uint32()},
        {"controller_max_speed", Uint32()},
        {"cmd", Uint32()},
        {"registers", Map(Uint32())},
        {"rtd3", Array(Uint32(), 2)},
        {"device_map", Uint32()},
        {"device_info", Object({{"vendor", Uint16()}, {"device", Uint16()}, {"subsystem", Uint16()}})},
        {"location", Object({{"type", Uint(3)},
                             {"version", Uint32()},
                             {"port", Uint8()},
                             {"cycle_router", Uint32()},
                             {"bus", Uint8()},
                             {"device", Uint8()},
                             {"function", Uint8()},
                             {"socket", Uint32()},
                             {"controller", Uint32()},
                             {"slot", Uint32()}})}};
    return Object(std::move(f));
}

Shape Csmi() {
    return Object({{"driver", Object({{"name", Text()},
                                      {"description", Text()},
                                      {"version", Text()},
                                      {"csmi_major", Uint16()},
                                      {"csmi_minor", Uint16()}})},
                   {"config", Object({{"base_io_address", Uint32()},
                                      {"base_memory_address", Uint64()},
                                      {"board_id", Uint32()},
                                      {"slot", Uint16()},
                                      {"controller_class", Uint8()},
                                      {"bus_type", Uint8()},
                                      {"bus", Uint8()},
                                      {"device", Uint8()},
                                      {"function", Uint8()},
                                      {"serial", Text()},
                                      {"version", Text()},
                                      {"bios_version", Text()},
                                      {"flags", Uint32()},
                                      {"rrom_version", Text()},
                                      {"rrom_bios_version", Text()}})},
                   {"status", Object({{"status", Uint32()}, {"offline_reason", Uint32()}})}});
}

const MoreFields
    kAdapterFields("adapters",
                   {{"raid", Raid()},
                    {"volume_port", VolumePort()},
                    {"ports", Array(Port(), 256)},
                    {"remap_port", Object({{"path_mask", Uint32()}, {"target_masks", Map(Uint32())}})},
                    {"ahci", Object({{"cap", Uint32()},
                                     {"ghc", Uint32()},
                                     {"pm", Uint32()},
                                     {"pi", Uint32()},
                                     {"cap2", Uint32()},
                                     {"short_header_only", Bool()}})},
                    {"csmi", Csmi()},
                    {"classifier", Object({{"counters", Array(Uint64(), 64)}})},
                    {"interface_versions",
                     Map(Either({Text(), Custom([](const nlohmann::json& v, const std::string& p, Report& r) {
                                     if (!v.is_null())
                                         r.Fail(p, "expected \"major.minor\" or null, found " + v.dump());
                                 })}))}});

const FaultKind kRaidRequest(
    "RaidRequest", {"port", "group", "instance", "member", "field", "direction", "form"},
    Object({{"win32_error", Uint32()},
            {"status", Uint32()},
            {"group_patch",
             Array(Object({{"offset", Uint32()}, {"u32", Uint32()}, {"u8", Uint8()}}, {"offset"}))},
            {"params_length", Uint32()},
            {"return_code", Uint32()},
            {"header_length", Uint32()}}));

const nlohmann::json& Rows(const nlohmann::json& object, const char* key) {
    static const nlohmann::json empty = nlohmann::json::array();
    auto it = object.find(key);
    return it != object.end() && it->is_array() ? *it : empty;
}

// What the driver's tables hold (the controller configuration's NumRaidDevs and NumArrays).
constexpr size_t kMaxRaidVolumes = 8;
constexpr size_t kMaxRaidArrays = 8;

// A controller's RAID tables as the driver keeps them: no more volumes and arrays than its tables
// hold, every member and array reference inside its table, and the volumes of an array within what
// its members hold (each member carries its share of every volume, past the driver's metadata). A
// member whose disk is gone (no "disks" entry at its address) has no capacity to check.
void CheckRaidTables(const nlohmann::json& machine, const nlohmann::json& raid, const std::string& at,
                     Report& r) {
    const auto& disks = Rows(raid, "disks");
    const auto& arrays = Rows(raid, "arrays");
    const auto& volumes = Rows(raid, "volumes");
    if (volumes.size() > kMaxRaidVolumes)
        r.Fail(at + "/volumes", std::to_string(volumes.size()) +
                                    " volumes; the driver's volume table holds " +
                                    std::to_string(kMaxRaidVolumes));
    if (arrays.size() > kMaxRaidArrays)
        r.Fail(at + "/arrays", std::to_string(arrays.size()) + " arrays; the driver's array table holds " +
                                   std::to_string(kMaxRaidArrays));
    bool references = true;
    for (size_t a = 0; a < arrays.size(); ++a) {
        const auto& members = Rows(arrays[a], "disks");
        for (size_t m = 0; m < members.size(); ++m)
            if (DescValue(members[m]) >= disks.size()) {
                r.Fail(at + "/arrays/" + std::to_string(a) + "/disks/" + std::to_string(m),
                       "no disk " + members[m].dump() + " in the driver's disk table");
                references = false;
            }
    }
    for (size_t v = 0; v < volumes.size(); ++v)
        if (volumes[v].is_object() && volumes[v].contains("array") &&
            DescNumber(volumes[v], "array") >= arrays.size()) {
            r.Fail(at + "/volumes/" + std::to_string(v) + "/array",
                   "no array " + volumes[v]["array"].dump() + " on this controller");
            references = false;
        }
    if (!references)
        return;
    for (size_t a = 0; a < arrays.size(); ++a) {
        int64_t last = -1;
        for (size_t v = 0; v < volumes.size(); ++v)
            if (volumes[v].is_object() && volumes[v].contains("array") &&
                DescNumber(volumes[v], "array") == a)
                last = static_cast<int64_t>(v);
        if (last < 0)
            continue;
        for (const auto& member : Rows(arrays[a], "disks")) {
            const size_t i = DescValue(member);
            const nlohmann::json sized = SizedDisk(machine, raid, i);
            if (!sized.contains("sectors"))
                continue;
            const uint64_t need = DiskUsedSectors(raid, i) + DiskMetadataSectors(sized);
            if (need > DiskSectors(sized)) {
                r.Fail(at + "/volumes/" + std::to_string(last) + "/size_mb",
                       "larger than the members of array " + std::to_string(a) + " allow: disk " +
                           std::to_string(i) + " would need " + std::to_string(need) + " sectors and has " +
                           std::to_string(DiskSectors(sized)));
                break;
            }
        }
    }
}

// A pairing state word other than "none" (0) and the default (1) describes a pairing, which takes
// an enabled pair.
void CheckPairing(const nlohmann::json& volumePort, const std::string& at, Report& r) {
    if (!volumePort.is_object())
        return;
    const bool paired =
        DescFlag(volumePort, "enabled") && volumePort.contains("fast") && volumePort.contains("slow");
    if (volumePort.contains("state_word") && DescNumber(volumePort, "state_word") > 1 && !paired)
        r.Fail(at + "/state_word", "a pairing state with no pairing (enabled, fast and slow)");
    if (DescFlag(volumePort, "enabled") && !paired)
        r.Fail(at + "/enabled", "an enabled pairing names its fast and slow disks");
}

} // namespace

// Each disk is described once: no two disks share an address, a RAID volume's disk gives no identity
// of its own (its volume does), a disk of the driver's table names a disk that exists, and a port's
// connection agrees with the disk in it.
void CheckDiskDescriptions(const nlohmann::json& machine, Report& r) {
    if (!machine.is_object())
        return;
    std::set<std::tuple<uint64_t, uint64_t, uint64_t, uint64_t>> addresses;
    std::set<uint64_t> numbers;
    const auto& disks = Rows(machine, "disks");
    for (size_t i = 0; i < disks.size(); ++i) {
        const auto& d = disks[i];
        const std::string at = "/disks/" + std::to_string(i);
        if (!d.is_object())
            continue;
        if (d.contains("device_number"))
            numbers.insert(DescNumber(d, "device_number"));
        if (!d.contains("port"))
            continue;
        if (!addresses
                 .insert({DescNumber(d, "port"), DescNumber(d, "path"), DescNumber(d, "target"),
                          DescNumber(d, "lun")})
                 .second)
            r.Fail(at, "another disk has this port, path, target and LUN");
        if (sim::storage::RaidVolumeOf(machine, d))
            for (const char* key : sim::storage::IdentityKeys())
                if (d.contains(key))
                    r.Fail(at + "/" + key, "the disk of a RAID volume takes this from its volume");
    }
    const auto& adapters = Rows(machine, "adapters");
    for (size_t a = 0; a < adapters.size(); ++a) {
        const auto& adapter = adapters[a];
        if (!adapter.is_object())
            continue;
        const std::string at = "/adapters/" + std::to_string(a);
        const int port = adapter.value("port", -1);
        if (auto vp = adapter.find("volume_port"); vp != adapter.end())
            CheckPairing(*vp, at + "/volume_port", r);
        if (auto raid = adapter.find("raid"); raid != adapter.end() && raid->is_object()) {
            CheckRaidTables(machine, *raid, at + "/raid", r);
            const auto& table = Rows(*raid, "disks");
            for (size_t i = 0; i < table.size(); ++i)
                if (table[i].is_object() && table[i].contains("device_number") &&
                    !numbers.count(DescNumber(table[i], "device_number")))
                    r.Fail(at + "/raid/disks/" + std::to_string(i) + "/device_number",
                           "no disk has device number " + table[i]["device_number"].dump());
        }
        const auto& ports = Rows(adapter, "ports");
        for (size_t i = 0; i < ports.size(); ++i) {
            const auto& p = ports[i];
            if (!p.is_object() || !p.contains("connection") || !p["connection"].is_string())
                continue;
            const auto* disk = sim::storage::DiskAt(machine, port, DescNumber(p, "path"),
                                                    DescNumber(p, "target"), DescNumber(p, "lun"));
            if (!disk)
                continue;
            const std::string connection = p["connection"].get<std::string>();
            const bool nvme = DescText(*disk, "protocol") == "nvme";
            if ((connection == "nvme" && !nvme) || (connection == "ata" && nvme))
                r.Fail(at + "/ports/" + std::to_string(i) + "/connection",
                       "the disk at this port is " + std::string(nvme ? "an NVMe" : "an ATA") + " disk");
        }
    }
}

} // namespace sim::driver
