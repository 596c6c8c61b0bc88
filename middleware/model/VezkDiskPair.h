#pragma once
// One ordered choice of slow disk and fast disk of a controller for cache-memory pairing: whether
// the driver and Windows allow the two to be joined and with which file-cache modes, or the pair
// that is already joined. Carries a process-wide handle so the API can list and address it.
#include <cstdint>
#include <memory>
#include <vector>

#include "middleware/core/ConsolidatedError.h"
#include "middleware/ioctl/PackedScsiAddress.h"
#include "platform/win/WinTypes.h"

class Disk;

class VezkDiskPair {
public:
    // Pair status codes.
    static constexpr uint32_t kStatusValid = 0;
    static constexpr uint32_t kStatusSameDrive = 1;
    static constexpr uint32_t kStatusFastUnsupported = 2;
    static constexpr uint32_t kStatusSlowUnsupported = 3;
    static constexpr uint32_t kStatusFastBigger = 4;
    static constexpr uint32_t kStatusOther = 5;
    static constexpr uint32_t kStatusFastSystem = 6;
    static constexpr uint32_t kStatusSlowDynamic = 7;
    static constexpr uint32_t kStatusJoined = 8;
    // File-cache modes.
    static constexpr uint32_t kFileCacheModeOn = 0;
    static constexpr uint32_t kFileCacheModeOff = 1;
    static constexpr uint32_t kFileCacheModeExtended = 2;
    // Sends of the validity request while the driver answers busy.
    static constexpr int kValidityAttempts = 5;

    // The pair shares the disks; either pointer may be empty.
    VezkDiskPair(std::shared_ptr<Disk> slowDisk, std::shared_ptr<Disk> fastDisk);
    virtual ~VezkDiskPair() = default;
    VezkDiskPair(const VezkDiskPair&) = delete;
    VezkDiskPair& operator=(const VezkDiskPair&) = delete;

    // The handle of "S:<slow handle>F:<fast handle>".
    virtual void makeHandle();
    // Asks Windows and the driver (target: the controller's record) whether the two can be joined.
    CConsolidatedError Populate(HANDLE target);
    // The pair that is already joined; pairingValue is the pairing information's 64-bit word at 56.
    CConsolidatedError populateJoined(bool fileCacheSupported, uint64_t pairingValue);
    void markFastDriveUnsupported();
    void markFastDiskSystem();

    uint32_t getDefaultFileCacheMode() const;
    std::vector<uint32_t> getAllowedFileCacheModes() const;

    uint32_t getHandle() const { return m_Handle; }
    const std::shared_ptr<Disk>& getSlowDisk() const { return m_SlowDisk; }
    const std::shared_ptr<Disk>& getFastDisk() const { return m_FastDisk; }
    uint32_t getSlowDiskHandle() const { return m_SlowDiskHandle; }
    uint32_t getFastDiskHandle() const { return m_FastDiskHandle; }
    PackedScsiAddress getSlowDiskScsiAddress() const { return m_SlowDiskAddress; }
    PackedScsiAddress getFastDiskScsiAddress() const { return m_FastDiskAddress; }
    bool isFileCacheSupported() const { return m_FileCache; }
    bool isFastDiskSmall() const { return m_FastDiskSmall; }
    bool slowDiskHasEfiSystemPartition() const { return m_SlowDiskHasEsp; }
    uint32_t getStatus() const { return m_Status; }
    uint32_t getFileCacheMode() const { return m_FileCacheMode; }

private:
    uint32_t m_Handle = 0;
    std::shared_ptr<Disk> m_SlowDisk;
    std::shared_ptr<Disk> m_FastDisk;
    uint32_t m_FastDiskHandle = 0;
    uint32_t m_SlowDiskHandle = 0;
    PackedScsiAddress m_FastDiskAddress = kNoScsiAddress;
    PackedScsiAddress m_SlowDiskAddress = kNoScsiAddress;
    bool m_FileCache = true;
    bool m_FastDiskSmall = true;
    bool m_SlowDiskHasEsp = true;
    uint32_t m_Status = kStatusOther;
    uint32_t m_FileCacheMode = kFileCacheModeOn;
};
