#pragma once
// The driver's RAID record of one disk (the RAID configuration disk group): its state flags, its
// address, its array, its identity texts and its space. Filled once from the driver; the
// controller links it to its array afterwards.
#include <cstdint>
#include <memory>

#include "middleware/core/ConsolidatedError.h"
#include "middleware/ioctl/PackedScsiAddress.h"
#include "platform/win/WinTypes.h"

class RaidArray;

class RaidDiskConfig {
public:
    // State flag bits.
    static constexpr uint32_t kFlagPresent = 1u << 4;
    static constexpr uint32_t kFlag9 = 1u << 9;
    static constexpr uint32_t kFlagSystemDisk = 1u << 21;
    static constexpr uint32_t kFlag24 = 1u << 24;
    static constexpr uint32_t kFlagMissing = 1u << 25;
    // Usage codes.
    static constexpr uint32_t kUsageArrayMember = 0;
    static constexpr uint32_t kUsagePassThrough = 2;
    static constexpr uint32_t kUsageOfflineArray = 3;
    static constexpr uint32_t kUsageSpare = 4;
    // The size a text copy asks for: 16 characters and the terminator.
    static constexpr uint32_t kTextSize = 17;

    RaidDiskConfig() = default;
    RaidDiskConfig(const RaidDiskConfig&) = default;
    RaidDiskConfig& operator=(const RaidDiskConfig&) = default;
    virtual ~RaidDiskConfig() = default;

    // Reads the disk group record of diskIndex; on failure the fields stay as they were.
    virtual CConsolidatedError Populate(HANDLE target, uint32_t diskIndex, uint32_t controllerHandle,
                                        int32_t storagePort);
    // Takes the fields from a 192-byte disk group record (what Populate does with the answer).
    void SetFromRecord(const uint8_t* record, uint32_t controllerHandle, int32_t storagePort);

    std::shared_ptr<RaidArray> getArray() const { return m_Array; }
    std::shared_ptr<RaidArray> getOriginalArray() const { return m_OriginalArray; }
    // An empty pointer fails with 0xA0000006 and keeps the array as it was.
    CConsolidatedError setArray(std::shared_ptr<RaidArray> array);
    CConsolidatedError setOriginalArray(std::shared_ptr<RaidArray> array);

    int32_t getArrayIndex() const;
    int32_t getOriginalArrayIndex() const;
    uint32_t getArrayHandle() const;
    uint32_t getOriginalArrayHandle() const;
    bool isMemberOfArrayIndex(int32_t index) const;
    bool wasMemberOfArrayIndex(int32_t index) const;
    bool isMemberOfArray(uint32_t handle) const;
    bool wasMemberOfArray(uint32_t handle) const;
    bool isSyntheticArrayMember() const;

    int32_t getArrayOrd() const { return m_ArrayOrd; }
    uint32_t getDiskIndex() const { return m_DiskIndex; }
    PackedScsiAddress getPackedAddress() const { return m_ScsiAddress; }
    uint32_t getControllerHandle() const { return m_ControllerHandle; }
    uint32_t getStateFlags() const { return m_StateFlags; }
    bool isNotPresent() const { return (m_StateFlags & kFlagPresent) == 0; }
    bool isMissing() const { return (m_StateFlags & kFlagMissing) != 0; }
    bool isSystemDisk() const { return (m_StateFlags & kFlagSystemDisk) != 0; }
    bool isFlag9Set() const { return (m_StateFlags & kFlag9) != 0; }
    bool isFlag24Set() const { return (m_StateFlags & kFlag24) != 0; }
    bool isSolidState() const { return m_SolidState; }
    uint32_t getSectorSize() const { return m_SectorSize; }
    uint32_t getMetadataSectors() const { return m_MetadataSectors; }
    uint32_t getUsageCode() const { return m_Usage; }
    bool isPassThrough() const { return m_Usage == kUsagePassThrough; }
    bool hasValueAC() const { return m_ValueAC != 0; }
    uint64_t getBytesAC() const { return static_cast<uint64_t>(m_ValueAC) * m_SectorSize; }
    uint32_t getValueB2() const { return m_ValueB2; }
    bool hasValue80() const { return m_Value80Set; }
    uint32_t getNumPartitions() const { return m_NumPartitions; }
    uint64_t getWideValue14() const { return m_WideValue14; }
    uint64_t getAvailableSectors() const { return m_AvailableSectors; }
    bool isNvCacheArrayMember() const { return m_NvCacheArrayMember; }
    void setNvCacheArrayMember(bool member) { m_NvCacheArrayMember = member; }
    uint32_t getArrayMemberPosition() const { return m_ArrayMemberPosition; }
    void setArrayMemberPosition(uint32_t position) { m_ArrayMemberPosition = position; }

    // The stored 16-character text up to its first NUL: with a null buffer 17; 0 when the buffer
    // cannot hold the text and its terminator; else the text is copied with its terminator and its
    // length + 1 returned.
    uint32_t copySerialNumber(char* buffer, uint32_t size) const;
    uint32_t copyFirmwareRevision(char* buffer, uint32_t size) const;
    uint32_t copyModelNumber(char* buffer, uint32_t size) const;

private:
    std::shared_ptr<RaidArray> m_Array;
    std::shared_ptr<RaidArray> m_OriginalArray;
    uint32_t m_StateFlags = 0;
    PackedScsiAddress m_ScsiAddress = kNoScsiAddress;
    uint32_t m_DiskIndex = 0;
    int32_t m_ArrayOrd = -1;
    uint32_t m_ControllerHandle = 0;
    bool m_NvCacheArrayMember = false;
    char m_SerialNumber[kTextSize] = {};
    char m_FirmwareRevision[kTextSize] = {};
    char m_ModelNumber[kTextSize] = {};
    uint32_t m_MetadataSectors = 0;
    uint32_t m_SectorSize = 0;
    bool m_SolidState = false;
    uint32_t m_ArrayMemberPosition = 0xFFFFFFFF;
    uint32_t m_Usage = 0;
    uint32_t m_ValueAC = 0;
    uint32_t m_ValueB2 = 0;
    bool m_Value80Set = false;
    uint64_t m_WideValue14 = 0;
    uint64_t m_AvailableSectors = 0;
    uint32_t m_NumPartitions = 0;
};
