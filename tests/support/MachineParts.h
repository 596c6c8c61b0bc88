#pragma once
// The test folders' one vocabulary for the parts of a machine description they add: disks of the
// vendor's driver with their RAID records and ports, RAID arrays and volumes, the NV cache volume,
// the cache-memory pairs of sim/machines/pairing.json and the hybrid drives over
// sim/machines/controllers.json. Each part is written here once, so a test says which disk it adds,
// not how a description spells one. The keys are those of sim/README.md.
#include <cstdint>
#include <string>
#include <vector>

#include "sim/MachineBuilder.h"

namespace moxtest {

// A disk behind an adapter of the vendor's driver. The facts are further keys of each JSON object,
// each written with its leading comma: R"(, "rotation_rate": 7200)".
struct DriverDisk {
    int adapter = 0; // the adapter's index in "adapters", which is its port in the shared machines
    uint32_t path = 0;
    uint32_t target = 0;
    uint32_t lun = 0;
    std::string model = "Tamsin TS512S3";
    std::string serial;
    std::string firmware = "2B7Q";
    uint64_t sectors = 1000215216; // 512 GB
    std::string diskFacts;         // of the "disks" entry: protocol, rotation, security, ...
    std::string raidFacts;         // of the RAID disk record: state flags, spare, pairing kind, ...
    std::string portFacts;         // of the port: connection, location, ...
};

// The kinds of disk the tests use; a test changes what its case needs (the address above all).
DriverDisk SataSsd(std::string serial);   // Tamsin TS512S3, 512 GB
DriverDisk HardDisk(std::string serial);  // Kelvar KV2000DM, 2 TB, 7200 rpm
DriverDisk NvmeDrive(std::string serial); // Virel NV2 1TB

// Sectors of a disk whose RAID share (after the driver's 4096 metadata sectors) is this many MiB.
uint64_t SectorsForRaidShare(uint64_t mib);

std::string DiskEntryJson(const DriverDisk& disk);
std::string RaidDiskJson(const DriverDisk& disk);
std::string PortJson(const DriverDisk& disk);

// The disk as the driver knows it: its "disks" entry, its record in the adapter's RAID disk table
// and its port.
sim::MachineBuilder& AddDriverDisk(sim::MachineBuilder& machine, const DriverDisk& disk);
// A disk at a port of the adapter that the RAID disk table does not name.
sim::MachineBuilder& AddUntabledDisk(sim::MachineBuilder& machine, const DriverDisk& disk);

// An array of the adapter over disk table indexes; gives its index.
size_t AddRaidArray(sim::MachineBuilder& machine, const std::vector<int>& diskIndexes, int number,
                    int adapter = 0);

struct RaidVolume {
    std::string name;
    int level = 0; // the driver's level: 0, 1, 5 (RAID 10 is level 1 over four members)
    uint64_t sizeMb = 1000;
    int stripKb = 64;
    int array = 0;
    std::string facts; // further keys, each with its leading comma
};
// Appends the volume to the adapter's table; gives its index.
size_t AddRaidVolume(sim::MachineBuilder& machine, const RaidVolume& volume, int adapter = 0);

// The NV cache volume: a volume of the adapter that its NV cache group names, with the volume it
// accelerates (-1: none) and the acceleration mode (3 safe, 5 performance).
struct CacheVolume {
    RaidVolume volume;
    int acceleratedVolume = -1;
    int mode = 3;
    int state = 1;
    std::string facts; // further keys of the NV cache group, each with its leading comma
};
size_t AddCacheVolume(sim::MachineBuilder& machine, const CacheVolume& cache, int adapter = 0);

// Cache-memory pairs: sim/machines/pairing.json, whose adapters are these.
constexpr int PAIRING_CANDIDATES_PORT = 0;  // pairing supported, not enabled; the module and disks free
constexpr int PAIRING_ENABLED_PORT = 1;     // the module and the hard disk joined
constexpr int PAIRING_UNSUPPORTED_PORT = 2; // no pairing support
sim::MachineBuilder PairingMachine();

// Hybrid NVMe drives: halves behind the remapping controller (adapter 2) and the NVMe controller
// (adapter 1) of sim/machines/controllers.json, each a port with the half's PCI identity and the disk
// there with its serial.
struct HybridHalf {
    int adapter;
    uint32_t path;
    const char* serial;
    const char* subsystem;
};
// A disk already described at a half's address (adapter 2 path 1, adapter 1 path 0) takes the half's
// identity, any other half is a disk of its own; adapter 1 keeps its own NVMe drive when no half is
// there.
sim::MachineBuilder HybridMachine(const std::vector<HybridHalf>& halves);

// The default PC with a second RAID 1 volume "Data" (array index 1) on two more hard disks, 0-0-4-0
// and 0-0-5-0 (disk table indexes 4 and 5), beside its system volume Volume0, its spare 0-0-1-0 and
// its pass-through disk 0-0-0-0.
// The default machine with a cache-memory module of this size behind its SATA controller, which
// Windows sees (disk 4, with an old partition); with the pass-through hard disk ZA1B2C3D, which gets an
// EFI system partition in front of its data, it makes the one valid pair.
sim::MachineBuilder PairingEnableMachine(uint64_t moduleBytes = uint64_t{32} << 30);
sim::MachineBuilder DataVolumeMachine();

// The firmware's remap request, empty: without it no controller can be scheduled for remapping.
sim::MachineBuilder& AddRemapRequest(sim::MachineBuilder& machine);

} // namespace moxtest
