#pragma once
// One RAID volume of a controller as one session sees it: the driver's volume, device information and
// device configuration records, its array, its process-wide handle (keyed by its name) and the
// Windows view of the disk Windows shows for it; or the synthetic volume that stands for a joined
// cache-memory drive, made up from the controller's pairing information.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "middleware/core/ConsolidatedError.h"
#include "middleware/ioctl/PackedScsiAddress.h"
#include "middleware/model/WinDiskInterface.h"
#include "platform/win/WinTypes.h"

class RaidArray;
class WinDiskList;
struct VezkPairingInfo;

// The volume's packed SCSI address followed by the driver's device configuration record.
struct RaidVolumeDeviceConfig {
    static constexpr size_t kRecordSize = 168;
    PackedScsiAddress address;
    uint8_t record[kRecordSize];
};
static_assert(sizeof(RaidVolumeDeviceConfig) == 172);
static_assert(offsetof(RaidVolumeDeviceConfig, record) == 4);

class RaidVolume {
public:
    static constexpr size_t kRecordSize = 132;
    static constexpr size_t kDeviceInfoSize = 24;
    // Volume record fields.
    static constexpr size_t kName = 4;
    static constexpr size_t kNameSize = 16;
    static constexpr size_t kAddressWord = 20;
    static constexpr size_t kArrayOrd = 96;

    RaidVolume() = default;
    virtual ~RaidVolume();
    RaidVolume(const RaidVolume&) = delete;
    RaidVolume& operator=(const RaidVolume&) = delete;

    // Reads the volume, device information and device configuration groups of `index` and finds the
    // volume's Windows disk (by its name as serial number, else by its address).
    CConsolidatedError Populate(HANDLE target, uint32_t index, uint32_t controllerHandle, int32_t storagePort,
                                const WinDiskList& winDisks);
    // The synthetic volume of the joined cache-memory drive. Never fails.
    CConsolidatedError populateCacheMemoryVolume(const VezkPairingInfo& info, uint32_t index,
                                                 uint32_t controllerHandle, int32_t storagePort,
                                                 const WinDiskList& winDisks);
    // Takes address and name from the records and the handle for "Volume_<name>_<word 20>_<controller>";
    // returns the handle.
    virtual uint32_t updateNameAndHandle();
    // An empty pointer fails with 0xA0000006 and keeps the array as it was.
    CConsolidatedError setArrayPtr(std::shared_ptr<RaidArray> array);

    // Null until populated.
    const uint8_t* getRecord() const { return m_Record.get(); }
    const RaidVolumeDeviceConfig* getDeviceConfig() const { return m_DeviceConfig.get(); }
    const uint8_t* getDeviceInfo() const { return m_DeviceInfo.get(); }
    const std::unique_ptr<WinDiskInterface>& getWinDiskInterface() const { return m_WinDisk; }
    // A 32-bit word of the volume record; 0 without one.
    uint32_t getRecordWord(size_t offset) const;
    // The array index the volume record names.
    int32_t getArrayOrd() const { return static_cast<int32_t>(getRecordWord(kArrayOrd)); }
    std::shared_ptr<RaidArray> getArray() const { return m_Array; }
    uint32_t getIndex() const { return m_Index; }
    uint32_t getControllerHandle() const { return m_ControllerHandle; }
    const std::string& getName() const { return m_Name; }
    PackedScsiAddress getScsiAddress() const { return m_ScsiAddress; }
    uint32_t getHandle() const { return m_Handle; }

private:
    std::unique_ptr<uint8_t[]> m_Record;
    std::unique_ptr<RaidVolumeDeviceConfig> m_DeviceConfig;
    std::unique_ptr<uint8_t[]> m_DeviceInfo;
    std::shared_ptr<RaidArray> m_Array;
    uint32_t m_Index = 0;
    uint32_t m_ControllerHandle = 0;
    std::string m_Name;
    PackedScsiAddress m_ScsiAddress = kNoScsiAddress;
    uint32_t m_Handle = 0;
    std::unique_ptr<WinDiskInterface> m_WinDisk;
};
