#pragma once
// The fixed texts the command line prints for the numbers and codes of the library's records. Each
// function takes plain values and returns a new string; the tables are part of the output format.
#include <cstdint>
#include <string>

#include "middleware/api/UviApi.h"

namespace MOX {

std::string UIntToText(uint32_t value);
std::string UInt64ToText(uint64_t value);
// "0x" and lower-case digits without leading zeros.
std::string HexToText(uint64_t value);
// port-path-target-lun of a packed SCSI address, each byte in decimal.
std::string DiskIdToText(uint32_t packedAddress);
// Whole GiB, to the nearest, in the stream's default floating format; callers append " GB".
std::string SizeToText(uint64_t bytes);
std::string PciLocationToText(uint32_t bus, uint32_t device, uint32_t function);
// Only the space character counts; a text of spaces only comes back unchanged.
std::string TrimLeadingSpaces(std::string text);

// The command line's own names for the same two formats.
inline std::string NumberToText(uint64_t value) {
    return UInt64ToText(value);
}
inline std::string HexIdToText(uint16_t id) {
    return HexToText(id);
}

std::string DiskStateToText(uint32_t state);
std::string DiskUsageToText(uint32_t usage);
std::string RaidLevelToText(uint32_t level);
std::string StripeSizeToText(uint32_t stripe);
std::string VolumeStateToText(uint32_t state);
std::string AccelerationModeToText(uint32_t mode);
std::string CachePairStateToText(uint32_t state);
std::string MigrationStateToText(uint32_t state);

// Four lines of the platform's readiness for the cache memory: CPU, PCH, operating system and the
// cache-memory feature, each label right-aligned in 18 columns.
std::string PlatformSupportToText(const _UVI_VezkInfo& info);

// The detail of a failed driver compatibility check: the library's and the controller driver's
// versions, with one line break inside.
void VersionMismatchText(const _UVI_MiddlewareVersionInfo& library, const _UVI_ControllerInfo& controller,
                         std::string& text);

} // namespace MOX
