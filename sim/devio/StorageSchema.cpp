// The shapes of the storage sections the device I/O service owns ("adapters", "disks", "volumes")
// and of its fault kinds. The RAID driver adds the fields it keeps on adapters and devices with
// MoreFields (sim/driver/DriverSchema.cpp).
#include <set>
#include <string>

#include "sim/DescriptionValues.h"
#include "sim/Schema.h"

namespace sim::driver {
void CheckDiskDescriptions(const nlohmann::json& machine, sim::schema::Report& report);
}

namespace sim::devio {
namespace {

using namespace sim::schema;

// A disk's capacity in sectors: its size in bytes must fit 64 bits at the largest sector size.
constexpr uint64_t kMaxSectors = 1ull << 48;

Shape Partition() {
    return Object({{"type", Either({Text(), Uint8()})},
                   {"offset", Uint(1ull << 62)},
                   {"length", Uint(1ull << 62)},
                   {"id", Text()},
                   {"name", Text()},
                   {"attributes", Uint64()},
                   {"active", Bool()}});
}

Shape Layout() {
    return Object({{"style", OneOfText({"gpt", "mbr", "raw"})},
                   {"disk_id", Text()},
                   {"signature", Uint32()},
                   {"partitions", Array(Partition(), 128)}});
}

Shape Cache() {
    return Object({{"read", Bool()},
                   {"write", Bool()},
                   {"savable", Bool()},
                   {"power_protected", Bool()},
                   {"state", Uint32()},
                   {"read_retention", Uint32()},
                   {"write_retention", Uint32()},
                   {"prefetch_disable_length", Uint16()},
                   {"prefetch_scalar", Bool()},
                   {"prefetch_minimum", Uint16()},
                   {"prefetch_maximum", Uint16()},
                   {"prefetch_maximum_blocks", Uint16()}});
}

} // namespace

// What identifies a storage device wherever it is described: a Windows disk, a device behind a
// controller port, a disk of the RAID driver's table.
std::vector<Field> DeviceIdentityFields() {
    return {{"protocol", OneOfText({"ata", "atapi", "nvme"})},
            {"vendor", Text()},
            {"model", Text()},
            {"serial", Text()},
            {"firmware", Text()},
            {"sectors", Uint(kMaxSectors)},
            {"logical_sector_size", Int(512, 65536)},
            {"physical_sector_size", Int(512, 65536)},
            {"rotation_rate", Uint16()},
            {"pci_vendor", Uint16()},
            {"pci_subsystem_vendor", Uint16()},
            {"pci_device", Uint16()},
            {"pci_subsystem", Uint16()}};
}

namespace {

Shape Disk() {
    std::vector<Field> f = DeviceIdentityFields();
    f.insert(f.end(), {{"device_number", Uint(0xFFFF)},
                       {"instance_id", Text()},
                       {"port", Uint(255)},
                       {"path", Uint8()},
                       {"target", Uint8()},
                       {"lun", Uint8()},
                       {"bus_type", Uint8()},
                       {"removable", Bool()},
                       {"seek_penalty", Bool()},
                       {"cache", Cache()},
                       {"tcg", Object({{"locking_supported", Bool()},
                                       {"locking_enabled", Bool()},
                                       {"locked", Bool()},
                                       {"media_encryption", Bool()},
                                       {"mbr_enabled", Bool()},
                                       {"mbr_done", Bool()},
                                       {"opal", Bool()},
                                       {"logical_block_size", Uint32()},
                                       {"discovery_hex", Hex()}})},
                       {"layout", Layout()}});
    return Extensible("disks", std::move(f));
}

Shape Adapter() {
    return Extensible("adapters",
                      {{"port", Uint(255)},
                       {"instance_id", Text()},
                       {"driver", Text()},
                       {"bus_type", Uint8()},
                       {"answers_scsi_address", Bool()},
                       {"topology", Bool()},
                       {"vendor", Text()},
                       {"model", Text()},
                       {"firmware", Text()},
                       {"serial", Text()},
                       {"location", Text()},
                       {"pci_vendor", Uint16()},
                       {"max_transfer", Uint32()},
                       {"max_physical_pages", Uint32()},
                       {"alignment_mask", Uint32()},
                       {"bus_major_version", Uint16()},
                       {"bus_minor_version", Uint16()}},
                      {"port"});
}

Shape Volume() {
    return Extensible(
        "volumes",
        {{"letter", Custom([](const nlohmann::json& v, const std::string& p, Report& r) {
              if (!v.is_string() || v.get_ref<const std::string&>().size() != 1 ||
                  !std::isalpha(static_cast<unsigned char>(v.get<std::string>()[0])))
                  r.Fail(p, "expected a drive letter, found " + v.dump());
          })},
         {"disk", Uint(0xFFFF)},
         {"partition", Uint(128)},
         {"instance_id", Text()},
         {"free", Uint(1ull << 62)},
         {"flags",
          Array(OneOfText({"system", "boot", "pagefile", "hibernation", "crashdump", "hidden"}), 6)}});
}

// Every disk names an adapter that exists; every volume a disk that exists and one of its
// partitions; keys are unique.
void CheckReferences(const nlohmann::json& machine, Report& r) {
    std::set<uint64_t> ports, disks;
    if (machine.contains("adapters"))
        for (size_t i = 0; i < machine["adapters"].size(); ++i)
            if (!ports.insert(DescNumber(machine["adapters"][i], "port")).second)
                r.Fail("/adapters/" + std::to_string(i) + "/port", "another adapter has this port");
    if (machine.contains("disks"))
        for (size_t i = 0; i < machine["disks"].size(); ++i) {
            const auto& d = machine["disks"][i];
            const std::string at = "/disks/" + std::to_string(i);
            if (d.contains("device_number") && !disks.insert(DescNumber(d, "device_number")).second)
                r.Fail(at + "/device_number", "another disk has this device number");
            if (d.contains("port") && !ports.count(DescNumber(d, "port")))
                r.Fail(at + "/port", "no adapter has port " + d["port"].dump());
        }
    if (machine.contains("volumes"))
        for (size_t i = 0; i < machine["volumes"].size(); ++i) {
            const auto& v = machine["volumes"][i];
            if (v.contains("disk") && !disks.count(DescNumber(v, "disk")))
                r.Fail("/volumes/" + std::to_string(i) + "/disk",
                       "no disk has device number " + v["disk"].dump());
        }
    sim::driver::CheckDiskDescriptions(machine, r);
}

const Section kAdapters("adapters", Array(Adapter(), 256), CheckReferences);
const Section kDisks("disks", Array(Disk(), 4096));
const Section kVolumes("volumes", Array(Volume(), 26));

Shape DeviceIoOutcome() {
    return Object({{"win32_error", Uint32()},
                   {"bytes_returned", Uint32()},
                   {"run", Bool()},
                   {"srb_return_code", Word32()},
                   {"srb_header_length", Word32()},
                   {"patch", Array(Object({{"offset", Uint32()}, {"hex", Hex()}}, {"offset", "hex"}))},
                   {"answer", Hex()}});
}

const FaultKind kCreateFile("CreateFile", {"path", "access", "share", "disposition", "flags"},
                            Object({{"win32_error", Uint32()}}));
const FaultKind kDeviceIoControl("DeviceIoControl",
                                 {"path", "object", "port", "device_number", "letter", "code", "in_size",
                                  "out_size", "signature", "control_code", "target", "property_id"},
                                 DeviceIoOutcome());
const FaultKind
    kReadFile("ReadFile", {"path", "object", "port", "device_number", "letter", "offset", "size"},
              Object({{"win32_error", Uint32()}, {"bytes_returned", Uint32()}, {"bytes_read", Uint32()}}));
const FaultKind kSetFilePointer("SetFilePointer",
                                {"path", "object", "port", "device_number", "letter", "offset"},
                                Object({{"win32_error", Uint32()}}));

} // namespace
} // namespace sim::devio
