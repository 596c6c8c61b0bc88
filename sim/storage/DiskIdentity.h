#pragma once
// The identify data of a disk, built from its one description (its "disks" entry): what the RAID
// driver answers through its ATA/AHCI and NVMe families and what the disk answers itself (ATA
// pass-through, the NVMe identify property) are the same bytes.
#include <cstdint>
#include <vector>

#include <nlohmann/json.hpp>

namespace sim::storage {

// The 512-byte ATA IDENTIFY (IDENTIFY PACKET for "atapi") data, strings in ATA byte order: identity,
// capacity and sector sizes, rotation, the security word from "security", trusted computing (word
// 48) for a disk with "tcg" or "trusted_computing", and the checksum in word 255.
std::vector<uint8_t> AtaIdentifyData(const nlohmann::json& disk);
// The 4096-byte NVMe Identify Controller data: identity, "nvme" (version, IEEE OUI, host memory
// buffer sizes, temperatures) and the capacity.
std::vector<uint8_t> NvmeIdentifyData(const nlohmann::json& disk);

} // namespace sim::storage
