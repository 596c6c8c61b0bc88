#pragma once
// The byte layout of the RAID get/set configuration request ("OrvexRdp", 0xC3512010) as the driver
// protocol documents it: the parameter block, where it and the group data sit in either form, and
// the numbers of the groups the simulated driver keeps. Written from the protocol, never from the
// product's records; tests compare the two.
#include <cstddef>
#include <cstdint>

namespace sim::driver::raid_config {

// The parameter block (GET_SET_RAID_PARAMS).
namespace params {
constexpr size_t kLength = 0;
constexpr size_t kGroupId = 4;
constexpr size_t kInstance = 8; // four instance words
constexpr size_t kMember = 12;  // the second instance word
constexpr size_t kFieldIndex = 32;
constexpr size_t kDirection = 36;
constexpr size_t kDataOffset = 40;
constexpr size_t kDataTransferLength = 44;
constexpr size_t kStatus = 48;
constexpr size_t kSize = 52;
} // namespace params

// Where the block sits: behind the SRB_IO_CONTROL header (miniport form) or at 0 (direct form); the
// group data follows the block.
constexpr size_t kFramedParams = 28;
constexpr size_t kDirectParams = 0;

// Group numbers.
enum Group : uint32_t {
    kConfigurationGroup = 1,
    kVolumeTableGroup = 2,
    kDiskTableGroup = 3,
    kNewVolumeGroup = 4,
    kArrayTableGroup = 5,
    kArrayDiskTableGroup = 6,
    kDeviceInfoGroup = 10,
    kDeviceConfigurationGroup = 13,
    kCachePolicyStatsGroup = 17,
    kCacheStatsGroup = 18,
    kNvCacheInfoGroup = 19,
    kRefreshPartitionsGroup = 22,
    kCacheStats2Group = 23,
    kUnifiedCacheStatsGroup = 25,
};

} // namespace sim::driver::raid_config
