#pragma once
// The common frame of the acceleration actions, SSD caching (UVIAccelerateWynAction) and the
// cache-memory pairing (UVIAccelerateVezkAction). An action lives for one operation on its
// caller's stack: it takes a snapshot of the machine when it is built, answers its class's limits
// and volume kinds through its table of operations, and carries what both kinds share: changing
// the acceleration mode of a volume or disk, turning acceleration off, disassociating and
// resetting the cache, the checks that a disk may be used, the cache volume's creation, the waits
// for the driver, and rebuilding its snapshot.
#include <cstdint>
#include <memory>
#include <string>

#include "middleware/accelerate/CacheSize.h"
#include "middleware/api/UviEndDeviceRecords.h"
#include "middleware/api/UviNvcRecords.h"
#include "middleware/api/UviVolumeRecords.h"
#include "middleware/core/ConsolidatedError.h"
#include "middleware/core/RuntimeClassName.h"
#include "middleware/model/SessionHolder.h"

namespace MoxCfgMgr {
class IDevPathsGetter;
}
class Session;

class UVIAccelerateBaseAction {
    MOX_RUNTIME_CLASS_ROOT("class UVIAccelerateBaseAction")

public:
    // Slot 0: whether the action can work on the controller (0: on any); false leaves why in the
    // error.
    virtual bool isSupported(uint32_t controllerHandle, CConsolidatedError& error) = 0;
    // Slots 1 to 3: the class's limits in bytes.
    virtual uint64_t getMinCacheSize() = 0;
    virtual uint64_t getMaxCacheSize() = 0;
    virtual uint64_t getMinDataVolumeSize() = 0;
    // Slots 4 and 5: the pairing's validity checks of a pair and of one drive.
    virtual CConsolidatedError checkIfDiskPairValid(uint32_t slowDisk, uint32_t fastDisk,
                                                    uint32_t& status) = 0;
    virtual CConsolidatedError checkIfDiskValid(uint32_t disk, uint32_t member, uint32_t& status) = 0;
    // Slot 6: whether something is accelerated.
    virtual bool hasAcceleratedVolume() = 0;
    // Slot 7: the cache volume (and the data volume before it) on the fast disk; a largest size is
    // worked out and written back into `cacheSize`.
    virtual CConsolidatedError createCacheVolume(uint32_t fastDiskHandle, CacheSizeSpec& cacheSize);
    // Slots 8 to 12: the changes of the acceleration. A disk's change first validates the action's
    // rules and throws what they find (one rule's error as it is, several joined into one).
    virtual CConsolidatedError resetCacheToAvailable(uint32_t controllerHandle);
    virtual CConsolidatedError configVolumeAcceleration(uint32_t volumeHandle, _UVI_NvcMode mode);
    virtual CConsolidatedError configDiskAcceleration(uint32_t diskHandle, _UVI_NvcMode mode);
    virtual CConsolidatedError turnOffAcceleration(uint32_t controllerHandle);
    virtual CConsolidatedError disassociate(const _UVI_VolumeInfo& volume);
    // Slots 13 and 14: the volume kinds of the cache and the data volume (they select the
    // metadata's layout and size).
    virtual uint32_t getCacheVolumeKind() { return 0; }
    virtual uint32_t getDataVolumeKind() { return 0; }
    // Slots 15 and 16: whether a disk may be accelerated, whether a disk may carry the cache.
    virtual CConsolidatedError checkDiskCanBeAccelerated(const _UVI_NvcInfo& nvc,
                                                         const _UVI_EndDeviceInfo& disk);
    virtual CConsolidatedError checkFastDisk(const _UVI_EndDeviceInfo& disk);
    // Slot 17: what becomes of a data volume below the class's minimum on a disk without data.
    virtual void adjustSmallDataVolume(CacheSizeSpec& dataVolume) = 0;

    // Replaces the snapshot with a new temporary session; refused on a session of the table
    // (0xA0010008 "Cannot refresh external session"). Callers stop at a failed refresh.
    CConsolidatedError refreshSession();
    // The accelerated volume, else the accelerated disk of the record, to the mode.
    CConsolidatedError switchAcceleratedObject(_UVI_NvcMode mode, const _UVI_NvcInfo& nvc);
    // The record of the first controller's block-cache volume; none: 0xA0010012 "BC volume not found".
    CConsolidatedError getBlockCacheVolumeInfo(_UVI_VolumeInfo& volume);

    // Waits, round by round on a fresh snapshot, until the controller's NV cache is in the mode
    // and agrees with it; an intermediate mode cannot be waited for. There is no time limit.
    CConsolidatedError waitForNvcMode(uint32_t controllerHandle, _UVI_NvcMode mode);
    // Polls the pair's block migration every period until it is done; budget / period + 1 failed
    // reads in a row give 0xA0010009, a busy driver ends the wait at once.
    CConsolidatedError waitForBlockMigration(uint32_t controllerHandle, uint32_t budgetMs, uint32_t periodMs);
    // The volume port's performance counters of the first controller that supports pairing.
    CConsolidatedError resetVolportPerformanceCounters();

    // The undo steps the pairing enable registers; their errors are dropped.
    void undoHalvexEnabledFlag();
    void undoResetCacheToAvailable(uint32_t controllerHandle);
    void undoTurnOffAcceleration(uint32_t controllerHandle);
    // The separation's factory: a lister of the device nodes of the enumerator "SWD".
    static std::unique_ptr<MoxCfgMgr::IDevPathsGetter> makeSoftwareDeviceLister();

    Session& getSession() const { return *m_Session; }

protected:
    // Takes a snapshot: a temporary session (the session handle is 0). Throws the acquire's error,
    // or 0xA0000006 "Session creation failed in Accelerate action" when it yields no session.
    UVIAccelerateBaseAction();
    // Gives the snapshot back. Actions are never deleted through the base.
    ~UVIAccelerateBaseAction();
    UVIAccelerateBaseAction(const UVIAccelerateBaseAction&) = delete;
    UVIAccelerateBaseAction& operator=(const UVIAccelerateBaseAction&) = delete;

    // The sleep of the waits; tests see it through the platform clock.
    static void pause(uint32_t milliseconds);

    // 0: the snapshot is a temporary session of the action's own.
    uint32_t m_SessionHandle = 0;

private:
    CConsolidatedError resolveLargestCacheSize(uint32_t fastDiskHandle, CacheSizeSpec& cacheSize);
    // The data volume (unless its spec has no size) and the cache volume in the rest of the disk.
    CConsolidatedError createVolumes(uint32_t fastDiskHandle, const CacheSizeSpec& dataVolume,
                                     const _UVI_EndDeviceInfo& fastDisk);
    // The rules of the acceleration action, then the disk's cache mode.
    CConsolidatedError validateAndSetDiskMode(uint32_t diskHandle, _UVI_NvcMode mode);

    uint8_t m_Unused[2] = {0, 0};
    SessionHolder m_Holder;
    Session* m_Session = nullptr;
    std::string m_DataVolumeName = "Data_Volume";
    std::string m_CacheVolumeName = "Cache_Volume";
};
