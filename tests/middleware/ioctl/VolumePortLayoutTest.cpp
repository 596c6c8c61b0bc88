// The volume port's records as the product declares them against the simulator's layouts, written
// separately from the driver protocol: a field that moves on one side only fails here.
#include <cstddef>

#include <gtest/gtest.h>

#include "middleware/ioctl/VezkRecords.h"
#include "middleware/pairing/PairingInfoLayout.h"
#include "sim/driver/VolumePortLayout.h"
#include "tests/middleware/ioctl/LayoutRows.h"

namespace {

namespace vp = sim::driver::volume_port;

using layouttest::ExpectSame;

TEST(VolumePortLayout, RequestRecordsMatchTheProtocol) {
    ExpectSame({
        {"concatenate fast disk", offsetof(VOLPORT_IOCTL_CONCATENATE, FastDiskId),
         vp::concatenate::kFastDiskId},
        {"concatenate slow disk", offsetof(VOLPORT_IOCTL_CONCATENATE, SlowDiskId),
         vp::concatenate::kSlowDiskId},
        {"concatenate file cache offset", offsetof(VOLPORT_IOCTL_CONCATENATE, FileCacheOffset),
         vp::concatenate::kFileCacheOffset},
        {"concatenate file cache size", offsetof(VOLPORT_IOCTL_CONCATENATE, FileCacheSize),
         vp::concatenate::kFileCacheSize},
        {"concatenate mode", offsetof(VOLPORT_IOCTL_CONCATENATE, Mode), vp::concatenate::kMode},
        {"concatenate data location", offsetof(VOLPORT_IOCTL_CONCATENATE, DataLocation),
         vp::concatenate::kDataLocation},
        {"concatenate size", sizeof(VOLPORT_IOCTL_CONCATENATE), vp::concatenate::kSize},
        {"migration progress", offsetof(VOLPORT_IOCTL_MIGRATION_STATUS, Progress),
         vp::migration_status::kProgress},
        {"migration size", sizeof(VOLPORT_IOCTL_MIGRATION_STATUS), vp::migration_status::kSize},
        {"pairing information size", sizeof(VOLPORT_IOCTL_GET_VEZK_INFO), vp::pairing_info::kSize},
        {"counters", offsetof(VOLPORT_IOCTL_GET_PERFORMANCE_COUNTERS, Counters),
         vp::performance_counters::kCounters},
        {"counters size", sizeof(VOLPORT_IOCTL_GET_PERFORMANCE_COUNTERS), vp::performance_counters::kSize},
        {"counters block", sizeof(VOLPORT_IOCTL_GET_PERFORMANCE_COUNTERS::Counters),
         vp::performance_counters::kCount * 8},
        {"pair check fast disk", offsetof(VOLPORT_IOCTL_VALID_FOR_CONCATENATE, FastDiskId),
         vp::pair_valid::kFastDiskId},
        {"pair check slow disk", offsetof(VOLPORT_IOCTL_VALID_FOR_CONCATENATE, SlowDiskId),
         vp::pair_valid::kSlowDiskId},
        {"pair check size", sizeof(VOLPORT_IOCTL_VALID_FOR_CONCATENATE), vp::pair_valid::kSize},
        {"file cache fast disk", offsetof(VOLPORT_IOCTL_IS_FILE_CACHE_SUPPORTED, FastDiskId),
         vp::pair_valid::kFastDiskId},
        {"file cache slow disk", offsetof(VOLPORT_IOCTL_IS_FILE_CACHE_SUPPORTED, SlowDiskId),
         vp::pair_valid::kSlowDiskId},
        {"file cache result", offsetof(VOLPORT_IOCTL_IS_FILE_CACHE_SUPPORTED, Result),
         vp::file_cache_supported::kResult},
        {"file cache size", sizeof(VOLPORT_IOCTL_IS_FILE_CACHE_SUPPORTED), vp::file_cache_supported::kSize},
        {"clear metadata disk", offsetof(VOLPORT_IOCTL_CLEAR_METADATA, DiskId), vp::clear_metadata::kDiskId},
        {"clear metadata size", sizeof(VOLPORT_IOCTL_CLEAR_METADATA), vp::clear_metadata::kSize},
        {"disk list count", offsetof(VOLPORT_IOCTL_DISKS_INFO, NumberOfDisks),
         vp::disks_info::kNumberOfDisks},
        {"disk list records", sizeof(VOLPORT_IOCTL_DISKS_INFO), vp::disks_info::kRecords},
        {"disk record size", sizeof(VOLPORT_DISK_RECORD), vp::disks_info::kRecordSize},
        {"platform support", offsetof(VOLPORT_IOCTL_PLATFORM_IS_SUPPORTED, PlatformSupport),
         vp::platform_supported::kPlatformSupport},
        {"platform support size", sizeof(VOLPORT_IOCTL_PLATFORM_IS_SUPPORTED), vp::platform_supported::kSize},
        {"disk check disk", offsetof(VOLPORT_IOCTL_DISK_VALID_FOR_CONCATENATE, DiskId),
         vp::disk_valid::kDiskId},
        {"disk check member", offsetof(VOLPORT_IOCTL_DISK_VALID_FOR_CONCATENATE, Member),
         vp::disk_valid::kMember},
        {"disk check size", sizeof(VOLPORT_IOCTL_DISK_VALID_FOR_CONCATENATE), vp::disk_valid::kSize},
        {"extended kind", offsetof(VOLPORT_IOCTL_GET_VEZK_INFO_EXT_PTL, Kind), vp::pairing_info_ext::kKind},
        {"extended value", offsetof(VOLPORT_IOCTL_GET_VEZK_INFO_EXT_PTL, Value),
         vp::pairing_info_ext::kValue},
        {"extended size", sizeof(VOLPORT_IOCTL_GET_VEZK_INFO_EXT_PTL), vp::pairing_info_ext::kSize},
        {"event name", offsetof(VOLPORT_IOCTL_REGISTER_SHARED_EVENT, Name), vp::shared_event::kName},
        {"event name length", sizeof(VOLPORT_IOCTL_REGISTER_SHARED_EVENT::Name),
         vp::shared_event::kNameLength},
        {"event terminator", offsetof(VOLPORT_IOCTL_REGISTER_SHARED_EVENT, Terminator),
         vp::shared_event::kTerminator},
        {"event value", offsetof(VOLPORT_IOCTL_REGISTER_SHARED_EVENT, Value), vp::shared_event::kValue},
        {"event size", sizeof(VOLPORT_IOCTL_REGISTER_SHARED_EVENT), vp::shared_event::kSize},
        {"event counter", offsetof(VOLPORT_IOCTL_AEN_STATUS, EventData), vp::event_status::kEventCounter},
        {"event status value", offsetof(VOLPORT_IOCTL_AEN_STATUS, Value), vp::event_status::kValue},
        {"event status size", sizeof(VOLPORT_IOCTL_AEN_STATUS), vp::event_status::kSize},
    });
}

// The pairing information answer as the simulator writes it and as the product reads it.
TEST(VolumePortLayout, PairingInformationMatchesTheProtocol) {
    ExpectSame({
        {"block count", pairing_answer::kBlockCount, vp::pairing_info::kBlockCount},
        {"file cache blocks", pairing_answer::kValueC, vp::pairing_info::kFileCacheBlocks},
        {"block size", pairing_answer::kBlockSize, vp::pairing_info::kBlockSize},
        {"physical block size", pairing_answer::kPhysicalBlockSize, vp::pairing_info::kPhysicalBlockSize},
        {"pair type", pairing_answer::kPairedWord, vp::pairing_info::kPairType},
        {"pair state", pairing_answer::kPairState, vp::pairing_info::kPairState},
        {"fast member", pairing_answer::kFastMember, vp::pairing_info::kFastDiskId},
        {"slow member", pairing_answer::kSlowMember, vp::pairing_info::kSlowDiskId},
        {"volume on the slow disk", pairing_answer::kVolumeOnSlow, vp::pairing_info::kVolumeOnSlowDisk},
        {"answer size", pairing_answer::kAnswerSize, vp::pairing_info::kSize},
    });
}

} // namespace
