#include "tests/support/MachineParts.h"

#include <utility>

namespace moxtest {

namespace {

std::string Address(const DriverDisk& disk) {
    return R"("path": )" + std::to_string(disk.path) + R"(, "target": )" + std::to_string(disk.target) +
           R"(, "lun": )" + std::to_string(disk.lun);
}

std::string Raid(int adapter) {
    return "/adapters/" + std::to_string(adapter) + "/raid";
}

// How many entries a table of the adapter's RAID section has so far: the index of the next one.
size_t Count(const sim::MachineBuilder& machine, int adapter, const char* table) {
    const sim::Value description = machine.AsValue();
    return description["adapters"][adapter]["raid"][table].size();
}

} // namespace

DriverDisk SataSsd(std::string serial) {
    DriverDisk disk;
    disk.serial = std::move(serial);
    return disk;
}

DriverDisk HardDisk(std::string serial) {
    DriverDisk disk;
    disk.model = "Kelvar KV2000DM";
    disk.serial = std::move(serial);
    disk.firmware = "CC43";
    disk.sectors = 3907029168;
    disk.diskFacts = R"(, "rotation_rate": 7200)";
    return disk;
}

DriverDisk NvmeDrive(std::string serial) {
    DriverDisk disk;
    disk.model = "Virel NV2 1TB";
    disk.serial = std::move(serial);
    disk.firmware = "5B2QGXA7";
    disk.sectors = 1953525168;
    disk.diskFacts = R"(, "protocol": "nvme")";
    return disk;
}

uint64_t SectorsForRaidShare(uint64_t mib) {
    return mib * 2048 + 4096;
}

std::string DiskEntryJson(const DriverDisk& disk) {
    return R"({"port": )" + std::to_string(disk.adapter) + ", " + Address(disk) + R"(, "model": ")" +
           disk.model + R"(", "serial": ")" + disk.serial + R"(", "firmware": ")" + disk.firmware +
           R"(", "sectors": )" + std::to_string(disk.sectors) + disk.diskFacts + "}";
}

std::string RaidDiskJson(const DriverDisk& disk) {
    return "{" + Address(disk) + disk.raidFacts + "}";
}

std::string PortJson(const DriverDisk& disk) {
    return "{" + Address(disk) + disk.portFacts + "}";
}

sim::MachineBuilder& AddDriverDisk(sim::MachineBuilder& machine, const DriverDisk& disk) {
    machine.Append(Raid(disk.adapter) + "/disks", RaidDiskJson(disk));
    return AddUntabledDisk(machine, disk);
}

sim::MachineBuilder& AddUntabledDisk(sim::MachineBuilder& machine, const DriverDisk& disk) {
    machine.Append("/disks", DiskEntryJson(disk));
    return machine.Append("/adapters/" + std::to_string(disk.adapter) + "/ports", PortJson(disk));
}

size_t AddRaidArray(sim::MachineBuilder& machine, const std::vector<int>& diskIndexes, int number,
                    int adapter) {
    std::string disks;
    for (int index : diskIndexes)
        disks += (disks.empty() ? "" : ", ") + std::to_string(index);
    const size_t index = Count(machine, adapter, "arrays");
    machine.Append(Raid(adapter) + "/arrays",
                   R"({"disks": [)" + disks + R"(], "number": )" + std::to_string(number) + "}");
    return index;
}

size_t AddRaidVolume(sim::MachineBuilder& machine, const RaidVolume& volume, int adapter) {
    const size_t index = Count(machine, adapter, "volumes");
    machine.Append(Raid(adapter) + "/volumes", R"({"name": ")" + volume.name + R"(", "level": )" +
                                                   std::to_string(volume.level) + R"(, "size_mb": )" +
                                                   std::to_string(volume.sizeMb) + R"(, "strip_kb": )" +
                                                   std::to_string(volume.stripKb) + R"(, "array": )" +
                                                   std::to_string(volume.array) + volume.facts + "}");
    return index;
}

size_t AddCacheVolume(sim::MachineBuilder& machine, const CacheVolume& cache, int adapter) {
    const size_t index = AddRaidVolume(machine, cache.volume, adapter);
    machine.Set(Raid(adapter) + "/nv_cache",
                R"({"size_mb": )" + std::to_string(cache.volume.sizeMb) + R"(, "state": )" +
                    std::to_string(cache.state) + R"(, "mode": )" + std::to_string(cache.mode) +
                    R"(, "cache_volume": )" + std::to_string(index) + R"(, "accelerated_volume": )" +
                    std::to_string(cache.acceleratedVolume) + R"(, "name": ")" + cache.volume.name + "\"" +
                    cache.facts + "}");
    return index;
}

sim::MachineBuilder PairingMachine() {
    return sim::MachineBuilder::FromFile("pairing.json");
}

sim::MachineBuilder HybridMachine(const std::vector<HybridHalf>& halves) {
    sim::MachineBuilder machine = sim::MachineBuilder::FromFile("controllers.json");
    std::string remapPorts, nvmePorts;
    for (const HybridHalf& h : halves) {
        std::string& ports = h.adapter == 2 ? remapPorts : nvmePorts;
        ports += (ports.empty() ? "" : ",") + std::string(R"({"path": )") + std::to_string(h.path) +
                 R"(, "target": 0, "device_info": {"vendor": "0x1F4A", "device": "0x4A20", "subsystem": ")" +
                 h.subsystem + R"("}})";
        const char* described = h.adapter == 2 && h.path == 1   ? "/disks/5"
                                : h.adapter == 1 && h.path == 0 ? "/disks/1"
                                                                : nullptr;
        if (!described) {
            DriverDisk disk = NvmeDrive(h.serial);
            disk.adapter = h.adapter;
            disk.path = h.path;
            disk.model = "Orvex Hybrid H10";
            disk.firmware = "HX01";
            disk.sectors = 62533296;
            machine.Append("/disks", DiskEntryJson(disk));
            continue;
        }
        const std::string at = described;
        machine.Set(at + "/model", R"("Orvex Hybrid H10")")
            .Set(at + "/serial", "\"" + std::string(h.serial) + "\"")
            .Set(at + "/firmware", R"("HX01")")
            .Set(at + "/sectors", "62533296");
    }
    machine.Set("/adapters/2/ports", "[" + remapPorts + "]")
        .Set("/adapters/1/ports",
             nvmePorts.empty() ? R"([{"path": 0, "target": 0}])" : "[" + nvmePorts + "]");
    return machine;
}

sim::MachineBuilder PairingEnableMachine(uint64_t moduleBytes) {
    sim::MachineBuilder b = sim::MachineBuilder::Default();
    const std::string id = R"(SCSI\\Disk&Ven_Halvex&Prod_M10\\4&3a7b2c10&0&040000)";
    DriverDisk module = SataSsd("HVX-MOD-0001");
    module.model = "Halvex M10";
    module.target = 4;
    module.sectors = moduleBytes / 512;
    // A partition left from earlier use: the enable cleans the module.
    module.diskFacts =
        R"(, "device_number": 4, "instance_id": ")" + id +
        R"(", "layout": {"style": "gpt", "partitions": [{"type": "basic", "offset": 1048576, "length": 1073741824}]})";
    module.raidFacts = R"(, "metadata_sectors": 2048)";
    AddDriverDisk(b, module);
    b.Append("/devices/nodes",
             R"({"id": ")" + id +
                 R"(", "parent": "PCI\\VEN_1F4A&DEV_2826&SUBSYS_7A211F4A&REV_11\\3&11583659&0&B8", )"
                 R"("class": "{4d36e967-e325-11ce-bfc1-08002be10318}", )"
                 R"("interfaces": [{"class": "{53f56307-b6bf-11d0-94f2-00a0c91efb8b}"}]})");
    b.Set("/disks/1/layout/partitions",
          R"([{"type": "efi", "offset": 1048576, "length": 104857600},
              {"type": "msr", "offset": 105906176, "length": 16777216},
              {"type": "basic", "offset": 122683392, "length": 2000000000000, "name": "Data"}])");
    b.Set("/volumes/3/partition", "3");
    return b;
}

sim::MachineBuilder DataVolumeMachine() {
    sim::MachineBuilder machine = sim::MachineBuilder::Default();
    for (uint32_t target : {4u, 5u}) {
        DriverDisk disk = HardDisk("KV-DATA-" + std::to_string(target));
        disk.target = target;
        AddDriverDisk(machine, disk);
    }
    RaidVolume data;
    data.name = "Data";
    data.level = 1;
    data.array = static_cast<int>(AddRaidArray(machine, {4, 5}, 1));
    AddRaidVolume(machine, data);
    return machine;
}

sim::MachineBuilder& AddRemapRequest(sim::MachineBuilder& machine) {
    return machine.Set("/firmware", R"({"variables": [{"name": "OrvexZrcOsVariable", )"
                                    R"("guid": "{61a14fe8-4dab-4a19-b1e3-97fb23d09212}", "hex": ")" +
                                        std::string(128, '0') + "\"}]}");
}

} // namespace moxtest
