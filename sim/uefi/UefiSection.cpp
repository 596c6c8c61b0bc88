// The "uefi" section: the firmware facts of the machine that no other section owns (sim/README.md,
// "Simulated UEFI firmware"). Its own source, with nothing but the schema, so that every build that
// loads a machine (the 32-bit one too) knows the section.
#include <set>
#include <string>

#include "sim/DescriptionValues.h"
#include "sim/Schema.h"

namespace sim::uefi {
namespace {

using nlohmann::json;
using namespace sim::schema;

// "bus:device.function" of every present PCI function with a location.
std::set<std::string> PciLocations(const json& machine) {
    std::set<std::string> out;
    auto devices = machine.find("devices");
    if (devices == machine.end() || !devices->is_object() || !devices->contains("nodes"))
        return out;
    for (const json& node : (*devices)["nodes"]) {
        if (!node.is_object() || !node.contains("properties") || !node["properties"].contains("Address"))
            continue;
        const json& p = node["properties"];
        const uint64_t address = DescNumber(p, "Address");
        out.insert(std::to_string(DescNumber(p, "BusNumber")) + ":" + std::to_string(address >> 16) + "." +
                   std::to_string(address & 0xFFFF));
    }
    return out;
}

// A disk's place behind a UEFI RAID driver's controller: checked against the PCI functions.
void CheckDiskPlaces(const json& machine, Report& report) {
    auto disks = machine.find("disks");
    if (disks == machine.end() || !disks->is_array())
        return;
    const std::set<std::string> locations = PciLocations(machine);
    for (size_t i = 0; i < disks->size(); ++i) {
        const json& disk = (*disks)[i];
        if (!disk.is_object() || !disk.contains("uefi"))
            continue;
        const json& place = disk["uefi"];
        const std::string pointer = "/disks/" + std::to_string(i) + "/uefi";
        if (!locations.count(place["controller"].get<std::string>()))
            report.Fail(pointer + "/controller",
                        "no PCI function of \"devices\" sits at " + place["controller"].get<std::string>());
        if (place.contains("port") == place.contains("namespace"))
            report.Fail(pointer, "a disk sits either at a SATA \"port\" or at an NVMe \"namespace\"");
    }
}

void CheckReferences(const json& machine, Report& report) {
    CheckDiskPlaces(machine, report);
    auto uefi = machine.find("uefi");
    if (uefi == machine.end() || !uefi->is_object())
        return;
    const std::set<std::string> locations = PciLocations(machine);
    auto location = [&](const json& object, const char* key, const std::string& pointer) {
        if (object.contains(key) && !locations.count(object[key].get<std::string>()))
            report.Fail(pointer + "/" + key,
                        "no PCI function of \"devices\" sits at " + object[key].get<std::string>());
    };
    if (uefi->contains("pci_config"))
        for (size_t i = 0; i < (*uefi)["pci_config"].size(); ++i) {
            const std::string pointer = "/uefi/pci_config/" + std::to_string(i);
            location((*uefi)["pci_config"][i], "location", pointer);
            // The identity of a function is its node's.
            if (DescNumber((*uefi)["pci_config"][i], "offset") < 0x10)
                report.Fail(pointer + "/offset", "the firmware programs registers from 10h on");
        }
    if (uefi->contains("remap_window"))
        location((*uefi)["remap_window"], "controller", "/uefi/remap_window");
    if (uefi->contains("raid_drivers")) {
        const json& drivers = (*uefi)["raid_drivers"];
        for (size_t i = 0; i < drivers.size(); ++i) {
            const std::string pointer = "/uefi/raid_drivers/" + std::to_string(i);
            location(drivers[i], "controller", pointer);
            if (drivers[i].contains("pass_thru"))
                for (size_t k = 0; k < drivers[i]["pass_thru"].size(); ++k)
                    location(drivers[i]["pass_thru"][k], "location",
                             pointer + "/pass_thru/" + std::to_string(k));
        }
    }
}

Shape Location() {
    return Text();
}

const Section kSection(
    "uefi",
    Object({
        {"console", Object({{"columns", Uint(1000)}, {"rows", Uint(1000)}, {"in_system_table", Bool()}})},
        {"shell", Object({{"interface", Bool()}, {"parameters", Bool()}})},
        {"cpu", Object({{"brand", Text()}, {"signature", Uint32()}})},
        {"hob_list", Bool()},
        {"acpi", Object({{"table_protocol", Bool()},
                         {"rsdp_revision", Uint(2)},
                         {"xsdt", Bool()},
                         {"xsdt_signature", Text()},
                         {"rsdt", Bool()},
                         {"tables", Array(Object({{"guid", Text()},
                                                  {"hex", Hex()},
                                                  {"length", Uint32()},
                                                  {"data_offset", Uint16()}},
                                                 {"guid", "hex"}),
                                          64)}})},
        {"pci_config", Array(Object({{"location", Location()}, {"offset", Uint(4095)}, {"hex", Hex()}},
                                    {"location", "offset", "hex"}))},
        {"remap_window",
         Object(
             {{"controller", Location()},
              {"functions",
               Array(Object({{"bus", Uint(255)}, {"device", Uint(31)}, {"function", Uint(7)}, {"hex", Hex()}},
                            {"bus", "device", "function", "hex"}))}},
             {"controller"})},
        {"raid_drivers",
         Array(Object({{"name", Text()},
                       {"controller", Location()},
                       {"driver_name", Text()},
                       {"version", Uint32()},
                       {"without", Array(OneOfText({"driver_binding", "component_name", "component_name2",
                                                    "supported_efi_version", "raid_config", "device_path",
                                                    "hii_config_access"}))},
                       {"pass_thru",
                        Array(Object({{"protocol", OneOfText({"ata", "nvme"})}, {"location", Location()}},
                                     {"protocol"}))},
                       {"fast_enum", Bool()}},
                      {"name"}),
               16)},
    }),
    CheckReferences);

// Where the firmware finds a disk: behind the controller of a UEFI RAID driver ("controller", a PCI
// location), at a SATA port or an NVMe namespace, with the media ID and Block I/O revision the driver
// gives its child.
const MoreFields kDiskPlace("disks", {{"uefi", Object({{"controller", Location()},
                                                       {"port", Uint16()},
                                                       {"namespace", Uint32()},
                                                       {"media_id", Uint32()},
                                                       {"block_io_revision", Uint64()}},
                                                      {"controller"})}});

} // namespace
} // namespace sim::uefi
