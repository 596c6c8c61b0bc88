#pragma once
// What the simulated RAID driver ("orvex") keeps per controller, shared by its request families:
// the "raid" and "volume_port" sections of each own-driver adapter in the machine document, the
// work that triggers start and the clock completes, and the events the driver signals when its
// configuration changes. sim/README.md describes the sections.
//
// The driver does its work when it is asked: every request first brings the controller up to the
// current time of sim::Clock (finishing triggered actions, moving volume jobs on), then answers.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/DescriptionValues.h"

#include "sim/devio/Miniport.h"

namespace sim::driver {

using nlohmann::json;

inline constexpr const char* kRaidSignature = "OrvexRdp";
inline constexpr const char* kVolumePortSignature = "OrvexVlp";

// A signed number of a description (see DescNumber).
int64_t Num(const json& object, const char* key, int64_t def = 0);

// The adapter with this storage port in the machine document, or null.
json* AdapterOf(json& state, int port);
const json* AdapterOf(const json& state, int port);

// The adapter's "raid" section with its tables made present (empty when the description has none).
json& Raid(json& adapter);
// The same for reading: an empty object stands for a missing section.
const json& RaidOf(const json& adapter);
// One table of a section ("disks", "arrays", "volumes", ...); an empty array when absent.
const json& Table(const json& section, const char* name);

// Changes the driver announces: its event counter rises and every event name registered with it
// is signalled once the machine's lock is released.
struct Announcements {
    std::vector<std::string> events;
    bool raised = false;
};
// Raises the event counter, puts the change's flags (bits 20 to 26, sim/driver/DriverEvents.h) into
// the event value and lists the registered events to signal.
void Announce(json& adapter, Announcements& out, uint64_t flags = 0x7ull << 20);
void SignalAnnounced(const Announcements& announced);

// Triggered work (Trigger.cpp). StartTrigger begins what a write of the trigger field asks for;
// Advance finishes what is due at nowMs and reports whether anything changed in the document.
void StartTrigger(const json& state, json& adapter, uint32_t kind, uint64_t nowMs, Announcements& out);
bool Advance(const json& state, json& adapter, uint64_t nowMs, Announcements& out);
// Gives the volumes a creation just made their Windows disks, and takes their members from Windows.
void PublishCreatedVolumes(json& state, json& adapter);
// Whether Advance would change something at nowMs (so a read-only answer must take the write path).
bool WorkDue(const json& adapter, uint64_t nowMs);
// Actions of the current trigger still being carried out.
int32_t VolumeActionsInProgress(const json& adapter, uint64_t nowMs);
int32_t DiskActionsInProgress(const json& adapter, uint64_t nowMs);

// Volume jobs (initialise, verify, rebuild, migrate): raw map state while one runs, and its
// progress in hundredths of a percent (0 to 10000).
struct JobView {
    bool running = false;
    uint32_t rawState = 0;
    uint32_t progress = 0;
};
JobView VolumeJob(const json& volume, uint64_t nowMs);

// Capacity helpers shared by the groups and the triggers.
uint64_t DiskSectors(const json& disk);
uint32_t DiskSectorSize(const json& disk);
uint64_t DiskMetadataSectors(const json& disk);
// Sectors of the disk that volumes use (each member carries its share of every volume on its array).
uint64_t DiskUsedSectors(const json& raid, size_t diskIndex);
uint64_t DiskFreeSectors(const json& raid, size_t diskIndex);
// The same for a disk of the machine's own "raid" section, given with its capacity (SizedDisk).
uint64_t DiskFreeSectors(const json& raid, size_t diskIndex, const json& sized);
// Index of the array that holds the disk, -1 when none.
int32_t ArrayOfDisk(const json& raid, size_t diskIndex);
// Disks whose data a volume of this level and member count holds (the others carry redundancy).
uint32_t DataDisks(uint32_t level, uint32_t mirrors, uint32_t members);
// The per-member share of a volume, in MiB.
uint64_t VolumeShareMb(const json& volume, uint32_t members);

// Runs one request of the driver on the controller of `port`: `answer` gets the machine document
// and the adapter, and may change the adapter when `writes` is set or work is due (the document is
// then written back); otherwise it works on a copy of the adapter under the read lock. Events the
// answer announces are signalled afterwards. No adapter with that port: ERROR_INVALID_FUNCTION.
using ControllerWork =
    std::function<devio::DriverAnswer(const json& state, json& adapter, uint64_t nowMs, Announcements& out)>;
devio::DriverAnswer RunOnController(int port, bool writes, const ControllerWork& answer);

// A disk of the RAID disk table of the adapter with this port, with the identity of the "disks"
// entry it stands for (the Windows disk it names by "device_number", else the disk at its address):
// serial, model, firmware, address, capacity, sector sizes and whether it is solid state.
json ResolvedDisk(const json& state, const json& disk, int adapterPort);
// The disk at `diskIndex` of a "raid" section of the machine, resolved so: what a change reads of
// one disk's capacity, without a copy of the section.
json SizedDisk(const json& state, const json& raid, size_t diskIndex);
// A "raid" section with every disk resolved so, for reading capacities and identities.
json ResolvedRaid(const json& state, const json& raid);
// The same, built once per state while the machine is only read (requests that read a controller
// then cost the same on a machine of many disks), and afresh inside a change.
class RaidView {
public:
    RaidView(const json& state, const json& raid);
    const json& operator*() const { return *view_; }

private:
    std::shared_ptr<const json> view_;
};

// Registration of the families (one source each), called from sim/devio/DriverFamilies.cpp.
void RegisterRaidConfigFamily(devio::DriverDispatch& dispatch);
void RegisterDictionaryFamily(devio::DriverDispatch& dispatch);
void RegisterVolumePortFamily(devio::DriverDispatch& dispatch);

} // namespace sim::driver
