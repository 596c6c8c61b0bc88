#pragma once
// One RAID array of a controller as one session sees it: the driver's 48-byte array record, its
// RAID configuration index and its process-wide handle; or the synthetic array that stands for a
// joined cache-memory drive, made up from the controller's pairing information.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "middleware/core/ConsolidatedError.h"
#include "platform/win/WinTypes.h"

struct VezkPairingInfo;

class RaidArray {
public:
    static constexpr uint32_t kRecordSize = 48;
    static constexpr size_t kNumDisks = 8;
    static constexpr size_t kNumRaidDevs = 12;
    static constexpr size_t kNumber = 44;

    RaidArray() = default;

    // Reads the array group of `index`; the handle's key is made of the controller handle and the
    // record's number (word 44).
    CConsolidatedError Populate(HANDLE target, int32_t index, uint32_t controllerHandle);
    // The synthetic array; its record, key and handle only when pairing is enabled. Never fails.
    CConsolidatedError populateCacheMemoryArray(const VezkPairingInfo& info, int32_t index,
                                                uint32_t controllerHandle);

    // The 48-byte record, null until populated.
    const uint8_t* getRecord() const { return m_Record.get(); }
    // A 32-bit word of the record; 0 without one.
    uint32_t getRecordWord(size_t offset) const;
    int32_t getIndex() const { return m_Index; }
    uint32_t getHandle() const { return m_Handle; }
    bool isSynthetic() const { return m_Synthetic; }
    uint32_t getControllerHandle() const { return m_ControllerHandle; }
    // The serial numbers of the members as the array member group lists them, in member order (an
    // unreadable member's is empty); the controller sets them once while it builds the snapshot.
    const std::vector<std::string>& getMemberSerials() const { return m_MemberSerials; }
    void setMemberSerials(std::vector<std::string> serials) { m_MemberSerials = std::move(serials); }

private:
    void takeHandle(const char* key, uint32_t controllerHandle);

    std::unique_ptr<uint8_t[]> m_Record;
    int32_t m_Index = -1;
    uint32_t m_Handle = 0xFFFFFFFF;
    bool m_Synthetic = false;
    uint32_t m_ControllerHandle = 0;
    std::vector<std::string> m_MemberSerials;
};
