#pragma once
// The controller's cache-memory pairing information: the driver's 224-byte pairing answer, header
// included, followed by what the controller computes from it. The model reads it by offset.
#include <cstddef>
#include <cstdint>

#include "middleware/model/RecordBytes.h"

struct VezkPairingInfo {
    static constexpr size_t kEnabledWord = 72;
    static constexpr size_t kStateWord = 80;
    static constexpr size_t kBlockCount = 32;     // u64
    static constexpr size_t kBlockSize = 64;      // u32
    static constexpr size_t kPhysBlockSize = 68;  // u32
    static constexpr size_t kArrayIndex = 224;    // i32, -1 when pairing is not enabled
    static constexpr size_t kVolumeIndex = 228;   // i32, -1 when pairing is not enabled
    static constexpr size_t kPairingState = 232;  // i32, 0 to 10
    static constexpr size_t kVolumeAddress = 252; // packed SCSI address, -1 when none is known

    uint8_t Bytes[256];

    bool isEnabled() const { return model::Read32(Bytes, kEnabledWord) != 0; }
    uint32_t stateWord() const { return model::Read32(Bytes, kStateWord); }
    uint64_t blockCount() const { return model::Read64(Bytes, kBlockCount); }
    uint32_t blockSize() const { return model::Read32(Bytes, kBlockSize); }
    uint32_t physicalBlockSize() const { return model::Read32(Bytes, kPhysBlockSize); }
    uint32_t volumeAddress() const { return model::Read32(Bytes, kVolumeAddress); }
};
static_assert(sizeof(VezkPairingInfo) == 256);
