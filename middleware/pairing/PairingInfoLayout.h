#pragma once
// The layout of the pairing information a controller keeps: the driver's 224-byte answer to
// VOLPORT_IOCTL_GET_VEZK_INFO, SRB header included, and the words the controller computes after it
// (256 bytes in all). Offsets from the start of the record; 32-bit values unless marked. The one
// description of the record: the pairing readers below the model and the model's record
// (VezkPairingInfo) both read it through these names.
#include <cstddef>

namespace pairing_answer {
constexpr size_t kBlockCount = 0x20; // 64-bit
constexpr size_t kValueA = 0x28;     // 64-bit
constexpr size_t kValueB = 0x30;     // 64-bit
constexpr size_t kValueC = 0x38;     // 64-bit; the file cache blocks
constexpr size_t kBlockSize = 0x40;
constexpr size_t kPhysicalBlockSize = 0x44;
constexpr size_t kPairedWord = 0x48; // the pair type: not 0 while paired (1, 2 or 3)
constexpr size_t kValue4C = 0x4C;
constexpr size_t kPairState = 0x50; // 0 no pair, 2 separating
constexpr size_t kMigrationType = 0x54;
constexpr size_t kFastMember = 0x58;      // disk id of the fast member
constexpr size_t kSlowMember = 0x98;      // disk id of the slow member
constexpr size_t kVolumeOnSlow = 0xD8;    // byte
constexpr size_t kAnswerSize = 0xE0;      // what the driver answers; the rest is the controller's
constexpr size_t kArrayIndex = 0xE0;      // signed; array of the pairing, -1 when not enabled
constexpr size_t kVolumeIndex = 0xE4;     // signed; pairing volume, -1 when not enabled
constexpr size_t kStatus = 0xE8;          // pairing operation status 0 to 10
constexpr size_t kBlockProgress = 0xEC;   // signed percent
constexpr size_t kBootProgress = 0xF0;    // signed percent
constexpr size_t kOverallProgress = 0xF4; // signed percent
constexpr size_t kExtendedFlag = 0xF8;    // byte
constexpr size_t kVolumeAddress = 0xFC;   // path/target/LUN word of the pairing volume, -1 none
constexpr size_t kSize = 0x100;
constexpr size_t kMinimumSize = kSize; // a shorter answer counts as none
} // namespace pairing_answer
