#pragma once
// The controller's cache-memory pairing information: the driver's 224-byte pairing answer, header
// included, followed by what the controller computes from it (layout: PairingInfoLayout.h). Read
// and written through the accessors below only.
#include <cstddef>
#include <cstdint>

#include "middleware/model/RecordBytes.h"
#include "middleware/pairing/PairingInfoLayout.h"

struct VezkPairingInfo {
    uint8_t Bytes[pairing_answer::kSize];

    uint64_t blockCount() const { return model::Read64(Bytes, pairing_answer::kBlockCount); }
    uint64_t valueA() const { return model::Read64(Bytes, pairing_answer::kValueA); }
    uint64_t valueB() const { return model::Read64(Bytes, pairing_answer::kValueB); }
    // The file cache blocks.
    uint64_t valueC() const { return model::Read64(Bytes, pairing_answer::kValueC); }
    uint32_t blockSize() const { return model::Read32(Bytes, pairing_answer::kBlockSize); }
    uint32_t physicalBlockSize() const { return model::Read32(Bytes, pairing_answer::kPhysicalBlockSize); }
    // Not 0 while paired: 1, 2 or 3.
    uint32_t pairType() const { return model::Read32(Bytes, pairing_answer::kPairedWord); }
    bool isEnabled() const { return pairType() != 0; }
    uint32_t value4C() const { return model::Read32(Bytes, pairing_answer::kValue4C); }
    uint32_t pairState() const { return model::Read32(Bytes, pairing_answer::kPairState); }
    uint32_t migrationType() const { return model::Read32(Bytes, pairing_answer::kMigrationType); }
    uint32_t fastMember() const { return model::Read32(Bytes, pairing_answer::kFastMember); }
    uint32_t slowMember() const { return model::Read32(Bytes, pairing_answer::kSlowMember); }
    uint8_t volumeOnSlow() const { return Bytes[pairing_answer::kVolumeOnSlow]; }
    int32_t arrayIndex() const { return Signed(pairing_answer::kArrayIndex); }
    int32_t volumeIndex() const { return Signed(pairing_answer::kVolumeIndex); }
    // The pairing operation status 0 to 10.
    int32_t status() const { return Signed(pairing_answer::kStatus); }
    int32_t blockProgress() const { return Signed(pairing_answer::kBlockProgress); }
    int32_t bootProgress() const { return Signed(pairing_answer::kBootProgress); }
    int32_t overallProgress() const { return Signed(pairing_answer::kOverallProgress); }
    uint8_t extendedFlag() const { return Bytes[pairing_answer::kExtendedFlag]; }
    uint32_t volumeAddress() const { return model::Read32(Bytes, pairing_answer::kVolumeAddress); }

    void setArrayIndex(int32_t value) { model::WriteField(Bytes, pairing_answer::kArrayIndex, value); }
    void setVolumeIndex(int32_t value) { model::WriteField(Bytes, pairing_answer::kVolumeIndex, value); }
    void setStatus(int32_t value) { model::WriteField(Bytes, pairing_answer::kStatus, value); }
    void setVolumeAddress(uint32_t value) { model::WriteField(Bytes, pairing_answer::kVolumeAddress, value); }
    void setBlockProgress(int32_t value) { model::WriteField(Bytes, pairing_answer::kBlockProgress, value); }
    void setBootProgress(int32_t value) { model::WriteField(Bytes, pairing_answer::kBootProgress, value); }
    void setOverallProgress(int32_t value) {
        model::WriteField(Bytes, pairing_answer::kOverallProgress, value);
    }
    // The members' disk ids with the controller's port byte added.
    void setMemberPorts(int32_t port) {
        for (size_t offset : {pairing_answer::kFastMember, pairing_answer::kSlowMember})
            model::WriteField<uint32_t>(Bytes, offset,
                                        (model::Read32(Bytes, offset) & 0x00FFFFFFu) |
                                            (static_cast<uint32_t>(port) << 24));
    }

private:
    int32_t Signed(size_t offset) const { return static_cast<int32_t>(model::Read32(Bytes, offset)); }
};
static_assert(sizeof(VezkPairingInfo) == 256);
