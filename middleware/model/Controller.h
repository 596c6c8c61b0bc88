#pragma once
// One storage controller of a snapshot: one record of the controller table, the driver interfaces
// its driver answers, what was found behind it (disks, RAID volumes and arrays, ports, cache-memory
// disk pairs), the driver's RAID counters, the SSD cache and pairing information, and its PCI
// identity and driver version. Made by ControllerFactory, populated once, then only read.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "middleware/core/ConsolidatedError.h"
#include "middleware/ioctl/ControllerDictionaryValues.h"
#include "middleware/ioctl/ControllerLocator.h"
#include "middleware/ioctl/CsmiRequests.h"
#include "middleware/ioctl/PackedScsiAddress.h"
#include "middleware/ioctl/VezkRecords.h"
#include "middleware/model/NvCacheStats.h"
#include "middleware/model/RaidDiskConfig.h"
#include "middleware/model/VezkPairingInfo.h"
#include "middleware/model/ZrcRemapAddress.h"

class AhciPort;
class Disk;
class RaidArray;
class RaidVolume;
class VezkDiskPair;
class WinDiskList;

// The present member disks' RAID records, carried from the RAID pass to the port pass.
using RaidDiskConfigList = std::vector<RaidDiskConfig>;

class Controller {
public:
    // Driver interfaces, in the order of the support flags.
    enum Interface : int {
        kInterfaceRemapPort = 0, // "OrvexRmp"
        kInterfaceRaid,          // "OrvexRdp"
        kInterfaceNvme,          // "OrvexNvm"
        kInterfaceAta,           // "OrvexATA"
        kInterfaceVolumePort,    // "OrvexVlp"
        kInterfaceCsmiAll,       // "CSMIALL"
        kInterfaceCsmiSas,       // "CSMISAS"
        kInterfaceCount
    };
    static constexpr int kFeatureCount = 3;
    static constexpr int32_t kFixedCount = 3;

    // Controller types (slot 3).
    static constexpr int kTypeUnknown = 0;
    static constexpr int kTypeAhci = 1;
    static constexpr int kTypeNvme = 3;
    static constexpr int kTypeZrc = 4;

    // The NV cache information group as the controller keeps it.
    static constexpr size_t kNvCacheInfoSize = 56;
    static constexpr size_t kNvCacheState = 12;
    static constexpr size_t kNvCacheBlockCacheIndex = 20;
    static constexpr size_t kNvCacheAcceleratedIndex = 24;

    // The pairing support code that means pairing is supported, and the pairing state of a cache
    // clear that is running.
    static constexpr uint32_t kVezkSupported = 1;
    static constexpr int32_t kVezkStateClearingCache = 10;

    // Copies what it needs of the record and asks the interface version store about it; the store's
    // 0xA0000004 for a record it does not know leaves the constructor.
    explicit Controller(ControllerLocator* locator);
    virtual ~Controller();
    Controller(const Controller&) = delete;
    Controller& operator=(const Controller&) = delete;

    // ---- slots ----
    virtual CConsolidatedError Populate(const WinDiskList& winDisks);
    virtual const char* getTypeName() const;
    virtual int getType() const;
    // Without the RAID interface: false and success without a request.
    virtual CConsolidatedError isActionInProgress(bool& inProgress) const;
    // Without the RAID interface: 0 and success without a request.
    virtual CConsolidatedError getEventCounter(uint64_t& counter) const;
    virtual bool isEndDeviceAddress(PackedScsiAddress address) const = 0;
    virtual PackedScsiAddress getDefaultVolumeAddress() const = 0;
    virtual bool isRemapCapable() const;
    virtual std::vector<int> getLpmControllerNumbers() const = 0;

    // ---- population steps (run by Populate, in this order) ----
    void populateVersionAndHandle();
    CConsolidatedError populateCsmiInfo();
    CConsolidatedError PopulateRaidInfo(RaidDiskConfigList& records, const WinDiskList& winDisks);
    CConsolidatedError populatePortsAndDisks(RaidDiskConfigList& records, const WinDiskList& winDisks);
    CConsolidatedError populateVezkInfo(RaidDiskConfigList& records, const WinDiskList& winDisks);
    CConsolidatedError readVezkInfo(ControllerLocator* locator, VezkPairingInfo& info, uint32_t& supportCode,
                                    uint32_t& platformWord);
    CConsolidatedError populateVezkVolume(const WinDiskList& winDisks, VezkPairingInfo& info);
    int32_t computeVezkState(const VezkPairingInfo& info, const uint8_t* nvCacheInfo,
                             const std::vector<std::shared_ptr<RaidVolume>>& volumes) const;
    CConsolidatedError populateVezkPairCandidates();
    CConsolidatedError populateConcatenatedVezkPair();
    // The optimisation state 0 to 6 from what the populate read.
    int32_t computeOptimizationState() const;

    // ---- queries (an empty result is an empty pointer or vector) ----
    std::shared_ptr<Disk> getDiskByHandle(uint32_t handle) const;
    std::shared_ptr<Disk> getDiskByRaidIndex(int32_t index) const;
    std::shared_ptr<RaidArray> getArrayByIndex(int32_t index) const;
    std::shared_ptr<RaidVolume> getVolumeByIndex(int32_t index) const;
    std::shared_ptr<AhciPort> getPortByNumber(PackedScsiAddress address) const;
    std::vector<std::shared_ptr<Disk>> getDisksOfVolume(const std::shared_ptr<RaidVolume>& volume) const;
    std::vector<std::shared_ptr<RaidVolume>> getVolumesOfDisk(const std::shared_ptr<Disk>& disk) const;
    std::shared_ptr<RaidVolume> getBlockCacheVolume() const;
    std::shared_ptr<RaidVolume> getAcceleratedVolume() const;
    std::shared_ptr<RaidVolume> getFileCacheVolume() const;
    std::shared_ptr<RaidVolume> getVezkVolume() const;
    // (slow disk, fast disk) of the joined pairing; either may be empty.
    std::pair<std::shared_ptr<Disk>, std::shared_ptr<Disk>> getVezkMemberDisks() const;
    // 0 to 4 from the pairing disk records.
    uint32_t getInterfaceDeviceType(PackedScsiAddress address) const;
    bool isDriverInterfaceSupported() const;
    bool isVezkSupported() const { return m_VezkSupportCode == kVezkSupported; }
    uint32_t getVezkPlatformSupport() const { return m_VezkPlatformWord; }
    std::string getName() const;
    bool isScheduledForZrcRemap() const { return m_RemapScheduled; }
    void setScheduledForZrcRemap(bool scheduled) { m_RemapScheduled = scheduled; }
    // Run when the driver's event counter moved during the populate: the driver's counts against the
    // objects built from the driver (the synthetic pairing array and volume are not the driver's).
    CConsolidatedError checkPopulationConsistency() const;

    // ---- what the populate built ----
    const std::vector<std::shared_ptr<Disk>>& getDisks() const { return m_Disks; }
    const std::vector<std::shared_ptr<RaidVolume>>& getVolumes() const { return m_Volumes; }
    const std::vector<std::shared_ptr<RaidArray>>& getArrays() const { return m_Arrays; }
    const std::vector<std::shared_ptr<AhciPort>>& getPorts() const { return m_Ports; }
    const std::vector<std::shared_ptr<VezkDiskPair>>& getVezkDiskPairs() const { return m_Pairs; }

    uint32_t getHandle() const { return m_Handle; }
    // The record this controller stands for (also the request target of every driver request).
    ControllerLocator* getControllerLocator() const { return m_Locator; }
    HANDLE getTarget() const { return m_Locator; }
    // The record's classification flags; 0 when the record is no longer in the table.
    uint32_t getFlags() const;
    const ControllerDictionaryValues& getControllerDictionary() const { return m_Dictionary; }
    bool isDictionaryValid() const;
    int32_t getPortNumber() const { return m_PortNumber; }

    bool isInterfaceSupported(Interface which) const { return m_Interfaces[which]; }
    bool isRemapPortSupported() const { return m_Interfaces[kInterfaceRemapPort]; }
    bool isRaidSupported() const { return m_Interfaces[kInterfaceRaid]; }
    bool isNvmeSupported() const { return m_Interfaces[kInterfaceNvme]; }
    bool isAtaSupported() const { return m_Interfaces[kInterfaceAta]; }
    bool isVolumePortSupported() const { return m_Interfaces[kInterfaceVolumePort]; }
    bool isCsmiAllSupported() const { return m_Interfaces[kInterfaceCsmiAll]; }
    bool isCsmiSasSupported() const { return m_Interfaces[kInterfaceCsmiSas]; }
    // Features 0 to 2 of the interface version store; false for any other number.
    bool isFeatureSupported(int feature) const;

    // The configuration group's NumRaidDevs, NumArrays and NumDisks.
    int32_t getVolumeCount() const { return m_VolumeCount; }
    int32_t getArrayCount() const { return m_ArrayCount; }
    int32_t getDiskCount() const { return m_DiskCount; }
    uint32_t getImplementedPathMask() const { return m_ImplementedPathMask; }
    bool getRohiPolicy() const { return m_RohiPolicy; }
    int32_t getRemainingVolumes() const { return m_RemainingVolumes; }
    int32_t getFixedCount() const { return m_FixedCount; }
    int32_t getOptimizationState() const { return m_OptimizationState; }

    const CSMI_SAS_CNTLR_CONFIG& getCsmiControllerConfig() const { return m_CsmiConfig; }
    const CSMI_SAS_CNTLR_STATUS& getCsmiControllerStatus() const { return m_CsmiStatus; }

    const std::string& getVersionText() const { return m_VersionText; }
    const std::array<uint32_t, 4>& getDriverVersion() const { return m_DriverVersion; }
    uint16_t getVendorId() const { return m_VendorId; }
    uint16_t getDeviceId() const { return m_DeviceId; }
    uint8_t getRevisionId() const { return m_RevisionId; }
    uint8_t getSubClassCode() const { return m_SubClassCode; }
    uint16_t getSubsystemId() const { return m_SubsystemId; }
    uint16_t getSubsystemVendorId() const { return m_SubsystemVendorId; }
    const ZrcPciLocation& getPciLocation() const { return m_PciLocation; }
    // The 8 location bytes as one little-endian value, the key of the root-port sets.
    uint64_t getPciLocationValue() const;

    // The 56-byte NV cache information; null until read.
    const uint8_t* getNvCacheInfo() const { return m_NvCacheInfo.get(); }
    // A signed word of the NV cache information; `fallback` without one.
    int32_t getNvCacheWord(size_t offset, int32_t fallback = -1) const;
    const _NV_CACHE_STATS_GROUP& getNvCacheStats() const { return m_NvCacheStats; }
    const NvCachePolicyStatsRecord& getNvCachePolicyStats() const { return m_NvCachePolicyStats; }
    // The cache capacity counters, read with the statistics while the cache is in use; 0 otherwise.
    uint32_t getCacheCapacityTotal() const { return NvCacheTotalSize(m_NvCacheStats); }
    uint32_t getCacheCapacityFree() const { return NvCacheFreeSize(m_NvCachePolicyStats); }

    // The pairing information; null until read.
    const VezkPairingInfo* getVezkInfo() const { return m_VezkInfo.get(); }
    bool isVezkEnabled() const { return m_VezkInfo && m_VezkInfo->isEnabled(); }
    uint32_t getVezkSupportCode() const { return m_VezkSupportCode; }
    const std::vector<VOLPORT_DISK_RECORD>& getVezkDiskRecords() const { return m_VezkDiskRecords; }

protected:
    // The four parts of the driver version as text.
    void updateVersionText();

    std::vector<std::shared_ptr<Disk>> m_Disks;
    std::vector<std::shared_ptr<RaidVolume>> m_Volumes;
    std::vector<std::shared_ptr<RaidArray>> m_Arrays;
    std::vector<std::shared_ptr<AhciPort>> m_Ports;
    std::vector<std::shared_ptr<VezkDiskPair>> m_Pairs;
    std::unique_ptr<uint8_t[]> m_NvCacheInfo;
    _NV_CACHE_STATS_GROUP m_NvCacheStats{};
    NvCachePolicyStatsRecord m_NvCachePolicyStats{};
    std::unique_ptr<VezkPairingInfo> m_VezkInfo;
    uint32_t m_VezkSupportCode = 0;
    uint32_t m_VezkPlatformWord = 0;
    std::vector<VOLPORT_DISK_RECORD> m_VezkDiskRecords;
    std::array<bool, kInterfaceCount> m_Interfaces{};
    std::array<bool, kFeatureCount> m_Features{};
    int32_t m_VolumeCount = 0;
    int32_t m_ArrayCount = 0;
    int32_t m_DiskCount = 0;
    uint32_t m_ImplementedPathMask = 0;
    bool m_RohiPolicy = false;
    uint32_t m_Handle = 0;
    ControllerLocator* m_Locator = nullptr;
    ControllerDictionaryValues m_Dictionary{};
    int32_t m_PortNumber = 0;
    int32_t m_RemainingVolumes = 0;
    int32_t m_FixedCount = kFixedCount;
    int32_t m_OptimizationState = 0;
    CSMI_SAS_CNTLR_CONFIG m_CsmiConfig{};
    CSMI_SAS_CNTLR_STATUS m_CsmiStatus{};
    std::string m_VersionText = "Not available";
    uint16_t m_VendorId = 0;
    uint16_t m_DeviceId = 0;
    uint8_t m_RevisionId = 0;
    uint8_t m_SubClassCode = 0;
    uint16_t m_SubsystemId = 0;
    uint16_t m_SubsystemVendorId = 0;
    std::array<uint32_t, 4> m_DriverVersion{};
    ZrcPciLocation m_PciLocation{};
    bool m_RemapScheduled = false;
};

// Reads the RAID array-disk group of (array index, disk index) and copies its serial text into the
// buffer: 0xA0010002 "device locator cannot be null" without a record, 0xA001000D "Buffer too small"
// for a buffer that cannot hold the answer's text, else the request's error.
CConsolidatedError ReadRaidArrayDiskGroup(ControllerLocator* locator, char* buffer, uint32_t bufferLength,
                                          uint32_t arrayIndex, uint32_t diskIndex);
