#pragma once
// What Windows itself reports about one disk, or one RAID volume that Windows sees as a disk: the
// device path, SCSI address, disk number, serial number, partition layout, capacity, write-cache
// settings, seek penalty, sector sizes and bus type. A plain value, read once by Populate; copying
// duplicates everything, moving transfers it.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "middleware/core/ConsolidatedError.h"
#include "middleware/ioctl/PackedScsiAddress.h"
#include "platform/win/WinStorage.h"

// One partition of a disk as the topology model lists it.
struct PartitionInfos {
    // Kind values.
    static constexpr uint32_t kMbrInactive = 0;
    static constexpr uint32_t kMbrActive = 1;
    static constexpr uint32_t kGpt = 2;
    // Partition type of a GPT partition, which has no type byte.
    static constexpr uint32_t kNoMbrType = 0xFFFFFFFF;

    uint32_t diskNumber = 0;
    uint32_t kind = 0;
    // 0 MBR, 1 GPT: the entry's own style.
    uint32_t partitionStyle = 0;
    uint64_t length = 0;
    uint32_t partitionType = 0;
    // The layout's partition number; for a partition taken from the master boot record, the index
    // of its table entry (0 to 3).
    uint32_t partitionNumber = 0;
};

class WinDiskInterface {
public:
    static constexpr size_t kMaxPartitionEntries = 128;
    static constexpr size_t kMbrSize = 512;

    explicit WinDiskInterface(std::wstring devicePath);
    WinDiskInterface(const WinDiskInterface&) = default;
    WinDiskInterface& operator=(const WinDiskInterface&) = default;
    WinDiskInterface(WinDiskInterface&&) noexcept = default;
    WinDiskInterface& operator=(WinDiskInterface&&) noexcept = default;

    // Opens the device, reads what Windows reports and closes it again. The first failure of a
    // mandatory read is the result; the optional reads after it only leave their valid flags false.
    CConsolidatedError Populate();
    // The device opened for reading and writing, shared for both; the caller owns the handle
    // (INVALID_HANDLE_VALUE when it cannot be opened).
    HANDLE openHandle() const;

    std::wstring getDevicePath() const { return m_DevicePath; }
    PackedScsiAddress getScsiAddress() const { return m_ScsiAddress; }
    // Null when the device reports no serial number.
    const char* getSerialNumber() const { return m_SerialNumber.empty() ? nullptr : m_SerialNumber.c_str(); }
    std::string getSerialNumberString() const { return m_SerialNumber; }
    STORAGE_DEVICE_NUMBER getStorageDeviceNumber() const { return m_DeviceNumber; }
    uint32_t getDeviceNumber() const { return m_DeviceNumber.DeviceNumber; }
    STORAGE_BUS_TYPE getBusType() const { return m_BusType; }
    DRIVE_LAYOUT_INFORMATION_EX getDriveLayoutInfo() const { return m_DriveLayout; }
    const PARTITION_INFORMATION_EX* getPartitionEntries() const { return m_PartitionEntries.data(); }
    std::vector<std::shared_ptr<PartitionInfos>> getPartitionInfos() const;
    bool hasPartitions() const { return m_DriveLayout.PartitionCount != 0; }
    bool hasEfiSystemPartition() const;
    bool hasDynamicDiskPartitions() const;
    DISK_GEOMETRY_EX getGeometry() const { return m_Geometry; }
    const uint8_t* getMasterBootRecord() const { return m_Mbr.data(); }

    // Each getter answers the valid flag and fills the value.
    bool getCachePolicy(DISK_CACHE_SETTING& setting) const;
    bool getCacheInformation(DISK_CACHE_INFORMATION& information) const;
    bool getSeekPenalty(bool& incursSeekPenalty) const;

    uint32_t getBlockLength() const { return m_Capacity.BlockLength; }
    uint64_t getNumberOfBlocks() const { return static_cast<uint64_t>(m_Capacity.NumberOfBlocks.QuadPart); }
    uint64_t getDiskLength() const { return static_cast<uint64_t>(m_Capacity.DiskLength.QuadPart); }
    uint32_t getLogicalSectorSize() const { return m_AccessAlignment.BytesPerLogicalSector; }
    uint32_t getPhysicalSectorSize() const { return m_AccessAlignment.BytesPerPhysicalSector; }

    // The setters open the device again for each call.
    CConsolidatedError setCacheBufferFlush(bool powerProtected);
    CConsolidatedError setVolumeBufferFlush(bool powerProtected);
    CConsolidatedError setWriteCachingPolicy(bool enabled);

private:
    CConsolidatedError populate(HANDLE device);
    CConsolidatedError readDeviceDescriptor(HANDLE device);
    CConsolidatedError readDeviceNumber(HANDLE device);
    CConsolidatedError readDriveLayout(HANDLE device);
    CConsolidatedError readGeometryAndMbr(HANDLE device);
    CConsolidatedError readCachePolicy(HANDLE device);
    CConsolidatedError readCacheInformation(HANDLE device);
    CConsolidatedError readSeekPenalty(HANDLE device);
    CConsolidatedError writeCachePolicy(HANDLE device, bool powerProtected);
    CConsolidatedError writeCacheInformation(HANDLE device, bool writeCacheEnabled);
    void buildPartitionInfos();
    // The layout entries Windows reported, at most the 128 the answer has room for.
    size_t usedEntryCount() const;
    CConsolidatedError missingAnswer(const wchar_t* item) const;

    std::wstring m_DevicePath;
    PackedScsiAddress m_ScsiAddress = kNoScsiAddress;
    std::string m_SerialNumber;
    STORAGE_DEVICE_NUMBER m_DeviceNumber{};
    DRIVE_LAYOUT_INFORMATION_EX m_DriveLayout{};
    std::vector<PARTITION_INFORMATION_EX> m_PartitionEntries =
        std::vector<PARTITION_INFORMATION_EX>(kMaxPartitionEntries);
    DISK_GEOMETRY_EX m_Geometry{};
    std::vector<uint8_t> m_Mbr = std::vector<uint8_t>(kMbrSize);
    bool m_CachePolicyValid = false;
    DISK_CACHE_SETTING m_CachePolicy{};
    bool m_CacheInformationValid = false;
    DISK_CACHE_INFORMATION m_CacheInformation{};
    bool m_SeekPenaltyValid = false;
    bool m_IncursSeekPenalty = false;
    STORAGE_BUS_TYPE m_BusType = BusTypeUnknown;
    STORAGE_READ_CAPACITY m_Capacity{};
    STORAGE_ACCESS_ALIGNMENT_DESCRIPTOR m_AccessAlignment{};
    std::vector<PartitionInfos> m_PartitionInfos;
};

// Whether drive C: lives on the disk or volume at this packed SCSI address; false whenever it cannot
// be told.
bool IsSystemDriveAtScsiAddress(PackedScsiAddress address);
