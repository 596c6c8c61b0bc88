#pragma once
// The one description of each disk of the machine: an entry of the "disks" section. Every view the
// simulator gives of a disk is built from it: the Windows disk (when the entry has a device number),
// the RAID driver's disk record and end-device dictionary, the ports of the remap port with their
// ATA, NVMe and CSMI answers, TCG discovery and the storage property queries. Nothing else describes
// a disk's identity, so the views cannot disagree.
//
// A RAID volume appears to Windows as a disk too: a "disks" entry at the address of a volume of its
// adapter's RAID driver describes only what Windows keeps of it (device number, device node,
// layout, cache); its identity comes from the volume record (sim/README.md, "Disks").
#include <cstdint>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace sim::storage {

// The keys that give a disk's identity: written once, in its "disks" entry.
const std::vector<const char*>& IdentityKeys();

// Whether Windows sees the disk (a RAID member or spare it does not).
bool SeenByWindows(const nlohmann::json& entry);

// The "disks" entry at this storage port and address, or null. `index` gets its position.
const nlohmann::json* DiskAt(const nlohmann::json& state, int port, uint32_t path, uint32_t target,
                             uint32_t lun, size_t* index = nullptr);

// The "disks" entries of one storage port, in document order, gathered once: finding several disks
// of a port (every port of an adapter) searches the whole section only once. Gives what DiskAt gives.
class PortDisks {
public:
    PortDisks(const nlohmann::json& state, int port);
    const nlohmann::json* At(uint32_t path, uint32_t target, uint32_t lun, size_t* index = nullptr) const;

private:
    std::vector<std::pair<size_t, const nlohmann::json*>> disks_;
};

// The RAID volume whose Windows disk the entry is (the volume of the entry's adapter at the entry's
// address), or null.
const nlohmann::json* RaidVolumeOf(const nlohmann::json& state, const nlohmann::json& entry);

// The entry as its readers see it: a RAID volume's disk with the identity its volume gives it, any
// other entry as it stands. Built once per state while the machine is read.
const nlohmann::json& Resolved(const nlohmann::json& state, const nlohmann::json& entry);

} // namespace sim::storage
