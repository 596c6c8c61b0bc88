#pragma once
// The byte layouts of the volume port's requests ("OrvexVlp") as the driver protocol documents
// them: offsets from the start of the buffer, the 28-byte SRB_IO_CONTROL header included. Written
// from the protocol, never from the product's records; tests compare the two.
#include <cstddef>

namespace sim::driver::volume_port {

namespace concatenate {
constexpr size_t kFastDiskId = 28;
constexpr size_t kSlowDiskId = 32;
constexpr size_t kFileCacheOffset = 40; // 64-bit
constexpr size_t kFileCacheSize = 48;   // 64-bit
constexpr size_t kMode = 56;
constexpr size_t kDataLocation = 60;
constexpr size_t kSize = 64;
} // namespace concatenate

namespace migration_status {
constexpr size_t kProgress = 28; // signed percent
constexpr size_t kSize = 32;
} // namespace migration_status

// The pairing information: the whole answer, header included.
namespace pairing_info {
constexpr size_t kBlockCount = 32;      // 64-bit
constexpr size_t kFileCacheBlocks = 56; // 64-bit
constexpr size_t kBlockSize = 64;
constexpr size_t kPhysicalBlockSize = 68;
constexpr size_t kPairType = 72; // not 0 while paired
constexpr size_t kPairState = 80;
constexpr size_t kMigrationType = 84;
constexpr size_t kFastDiskId = 88;
constexpr size_t kSlowDiskId = 152;
constexpr size_t kVolumeOnSlowDisk = 216; // byte
constexpr size_t kSize = 224;
} // namespace pairing_info

namespace performance_counters {
constexpr size_t kCounters = 32; // 18 64-bit counters
constexpr size_t kCount = 18;
constexpr size_t kSize = 176;
} // namespace performance_counters

// Also the layout of the file cache support request, which answers at kResult.
namespace pair_valid {
constexpr size_t kFastDiskId = 28;
constexpr size_t kSlowDiskId = 32;
constexpr size_t kSize = 36;
} // namespace pair_valid

namespace file_cache_supported {
constexpr size_t kResult = 36;
constexpr size_t kSize = 40;
} // namespace file_cache_supported

namespace clear_metadata {
constexpr size_t kDiskId = 28;
constexpr size_t kSize = 32;
} // namespace clear_metadata

// The disk list: a count byte, then 64-byte disk records.
namespace disks_info {
constexpr size_t kNumberOfDisks = 28; // byte; in: records the buffer holds, out: records needed
constexpr size_t kRecords = 32;
constexpr size_t kRecordSize = 64;
// Within a disk record.
constexpr size_t kDiskId = 0;
constexpr size_t kBytes = 4;     // 64-bit
constexpr size_t kPairKind = 16; // byte: 0 none, 1 slow member, 2 fast member
constexpr size_t kSerial = 17;   // zero-terminated
constexpr size_t kSerialLength = 46;
} // namespace disks_info

namespace platform_supported {
constexpr size_t kPlatformSupport = 28;
constexpr size_t kSize = 32;
} // namespace platform_supported

namespace disk_valid {
constexpr size_t kDiskId = 28;
constexpr size_t kMember = 32; // 0 the fast member, else the slow one
constexpr size_t kSize = 36;
} // namespace disk_valid

namespace pairing_info_ext {
constexpr size_t kKind = 28;
constexpr size_t kValue = 32;
constexpr size_t kSize = 36;
} // namespace pairing_info_ext

namespace shared_event {
constexpr size_t kName = 32;
constexpr size_t kNameLength = 32;
constexpr size_t kTerminator = 64;
constexpr size_t kValue = 72; // 64-bit
constexpr size_t kSize = 80;
} // namespace shared_event

namespace event_status {
constexpr size_t kEventCounter = 32; // 64-bit, the first 8 of the 16 bytes of event data
constexpr size_t kValue = 56;        // 64-bit
constexpr size_t kSize = 80;
} // namespace event_status

} // namespace sim::driver::volume_port
