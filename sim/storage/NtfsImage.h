#pragma once
// The NTFS file system of a volume, as far as a raw read of the volume sees it: its boot sector and
// the master file table's first file record, whose data attribute carries the table's run list. Made
// from the volume's "ntfs" entry (sim/README.md); every other sector reads as zeros.
#include <cstdint>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace sim::storage {

// Whether the volume entry describes a file system to read.
bool HasNtfs(const nlohmann::json& volume);
// The volume's size in sectors of the given size.
uint64_t NtfsSectors(const nlohmann::json& volume);
// One sector of the image.
std::vector<uint8_t> NtfsSector(const nlohmann::json& volume, uint32_t sectorSize, uint64_t lba);

} // namespace sim::storage
