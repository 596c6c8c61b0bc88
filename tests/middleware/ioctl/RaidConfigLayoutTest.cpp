// The RAID configuration request as the product declares it against the simulator's layout, written
// separately from the driver protocol: a field or group number that moves on one side only fails
// here.
#include <cstddef>

#include <gtest/gtest.h>

#include "middleware/ioctl/RaidConfig.h"
#include "sim/driver/RaidConfigLayout.h"
#include "tests/middleware/ioctl/LayoutRows.h"

namespace {

namespace rc = sim::driver::raid_config;

using layouttest::ExpectSame;

TEST(RaidConfigLayout, ParameterBlockAndItsPlacesMatchTheProtocol) {
    ExpectSame({
        {"length", offsetof(GET_SET_RAID_PARAMS, Length), rc::params::kLength},
        {"group", offsetof(GET_SET_RAID_PARAMS, GroupId), rc::params::kGroupId},
        {"instance", offsetof(GET_SET_RAID_PARAMS, InstanceId), rc::params::kInstance},
        {"member", offsetof(GET_SET_RAID_PARAMS, InstanceId) + sizeof(uint32_t), rc::params::kMember},
        {"field", offsetof(GET_SET_RAID_PARAMS, FieldIndex), rc::params::kFieldIndex},
        {"direction", offsetof(GET_SET_RAID_PARAMS, Direction), rc::params::kDirection},
        {"data offset", offsetof(GET_SET_RAID_PARAMS, DataOffset), rc::params::kDataOffset},
        {"data length", offsetof(GET_SET_RAID_PARAMS, DataTransferLength), rc::params::kDataTransferLength},
        {"status", offsetof(GET_SET_RAID_PARAMS, Status), rc::params::kStatus},
        {"block size", sizeof(GET_SET_RAID_PARAMS), rc::params::kSize},
        {"framed block", CIoctlRaidGetSetConfig::kParamsOffset, rc::kFramedParams},
        {"framed data", CIoctlRaidGetSetConfig::kFramedDataOffset, rc::kFramedParams + rc::params::kSize},
        {"direct data", CIoctlRaidGetSetConfig::kDirectDataOffset, rc::kDirectParams + rc::params::kSize},
    });
}

TEST(RaidConfigLayout, GroupNumbersMatchTheProtocol) {
    ExpectSame({
        {"configuration", RIXO_CFG_GROUP_NO, rc::kConfigurationGroup},
        {"volume table", RIXO_VOLUME_TABLE_GROUP_NO, rc::kVolumeTableGroup},
        {"disk table", RIXO_DISK_TABLE_GROUP_NO, rc::kDiskTableGroup},
        {"new volume", RIXO_NEW_VOLUME_GROUP_NO, rc::kNewVolumeGroup},
        {"array table", RIXO_ARRAY_TABLE_GROUP_NO, rc::kArrayTableGroup},
        {"array disk table", RIXO_ARRAY_DISK_TABLE_GROUP_NO, rc::kArrayDiskTableGroup},
        {"device information", RDEV_DEVICE_INFO_GROUP_NO, rc::kDeviceInfoGroup},
        {"device configuration", RDEV_CFG_GROUP_NO, rc::kDeviceConfigurationGroup},
        {"cache policy statistics", RDEV_NV_CACHE_POLICY_STATS_GROUP_NO, rc::kCachePolicyStatsGroup},
        {"cache statistics", RDEV_NV_CACHE_STATS_GROUP_NO, rc::kCacheStatsGroup},
        {"NV cache information", RIXO_NV_CACHE_INFO_GROUP_NO, rc::kNvCacheInfoGroup},
        {"partition refresh", RDEV_REFRESH_PARTITION_INFO_NO, rc::kRefreshPartitionsGroup},
        {"cache statistics 2", RDEV_NV_CACHE_STATS2_GROUP_NO, rc::kCacheStats2Group},
        {"unified cache statistics", RDEV_NV_CACHE_UNIFIED_STATS_GROUP_NO, rc::kUnifiedCacheStatsGroup},
    });
}

} // namespace
