#pragma once
// The acceleration action of the cache-memory pairing: its limits and volume kinds, its validity
// checks of a pair and of one drive, and the look-ups every pairing operation starts with.
#include <memory>
#include <vector>

#include "middleware/accelerate/UVIAccelerateBaseAction.h"
#include "middleware/accelerate/UviStorageSwDeviceEnumerateAction.h"
#include "middleware/api/UviVezkRecords.h"

class Controller;
class Disk;

// What the one-step enable hands to the pairing action once the pair and the sizes are chosen.
struct VezkEnableRequest {
    uint32_t fastDisk = 0;
    uint32_t slowDisk = 0;
    // Explicit, in bytes.
    CacheSizeSpec cacheVolumeSize;
    // 0: no file cache.
    uint32_t fileCacheSizeMb = 0;
    // First sector of the slow drive from which the file cache migrates.
    uint64_t migrationStart = 0;
    bool separationSafe = true;
};

// The first stage of a separation: the controller, and whether the cache service keeps its database.
struct SeparationRequest {
    uint32_t controllerHandle = 0;
    bool preservePinningData = false;
};

// Enables the pairing in one step on an action of its own (session handle 0): checks that nothing is
// paired or running, chooses the pair and the sizes, then runs UVIAccelerateVezkAction::
// enableHalvexOneStep. Never throws: what is thrown becomes the result and an event-log entry.
CConsolidatedError EnableVezkOneStep(CacheSizeSpec cacheVolumeSize, CacheSizeSpec fileCacheSize,
                                     uint64_t migrationStart, uint32_t slowDisk, uint32_t fastDisk,
                                     bool separationSafe, _UVI_VezkFileCacheMode fcMode);

class UVIAccelerateVezkAction final : public UVIAccelerateBaseAction {
    MOX_RUNTIME_CLASS("class UVIAccelerateVezkAction")

public:
    UVIAccelerateVezkAction() = default;
    virtual ~UVIAccelerateVezkAction();

    bool isSupported(uint32_t controllerHandle, CConsolidatedError& error) override;
    uint64_t getMinCacheSize() override { return 0x80000000ull; }
    uint64_t getMaxCacheSize() override { return 0x1000000000ull; }
    uint64_t getMinDataVolumeSize() override { return kSmallestDataVolume; }
    // The status is a _UVI_VezkDiskPairStatus.
    CConsolidatedError checkIfDiskPairValid(uint32_t slowDisk, uint32_t fastDisk, uint32_t& status) override;
    // The member is a _UVI_VezkDiskConcatenationMember, the status a
    // _UVI_VezkDiskValidForConcatenationStatus.
    CConsolidatedError checkIfDiskValid(uint32_t disk, uint32_t member, uint32_t& status) override;
    bool hasAcceleratedVolume() override;
    uint32_t getCacheVolumeKind() override { return 2; }
    uint32_t getDataVolumeKind() override { return 3; }
    CConsolidatedError checkDiskCanBeAccelerated(const _UVI_NvcInfo& nvc,
                                                 const _UVI_EndDeviceInfo& disk) override;
    void adjustSmallDataVolume(CacheSizeSpec& dataVolume) override;

    // The first controller that supports pairing; none: 0xA0070019 "No controller supports Halvex
    // memory.".
    CConsolidatedError findVezkController(std::shared_ptr<Controller>& controller);
    // The pairing record of the controller (0: the first that supports pairing); throws its failure.
    _UVI_VezkInfo getPairingInfo(uint32_t controllerHandle);
    // The record of the first controller's pairing volume; none: 0xA0010012 "There is no Orvex
    // Halvex Storage".
    CConsolidatedError findVezkVolume(_UVI_VolumeInfo& volume);

    // ---- the enable ----
    // Prepares both drives, then, inside "Global\HalvexEnableOneStepSemaphore", creates the cache
    // volume, accelerates the slow drive and concatenates; a failure on the way undoes what was done.
    CConsolidatedError enableHalvexOneStep(const VezkEnableRequest& request);
    // Sends the driver's concatenation request for the request's pair.
    CConsolidatedError concatenate(const VezkEnableRequest& request);
    // The automatic cache volume size on the fast drive, clamped to the size request's maximum.
    CConsolidatedError computeCacheVolumeSize(uint32_t fastDisk, bool fileCacheUsed, CacheSizeSpec& spec);
    // The largest file cache in MiB both drives have room for; 0 when either is unknown.
    uint32_t computeFileCacheSize(uint32_t slowDisk, uint32_t fastDisk, uint64_t migrationStart,
                                  uint64_t cacheVolumeBytes);
    // The first sector of the slow drive's boot volume; 0 when it cannot be read.
    uint64_t defaultMigrationStart(uint32_t slowDisk);
    // Whether the file cache mode (0: the pair's default) is allowed for the pair.
    bool checkFileCacheMode(uint32_t mode, uint32_t slowDisk, uint32_t fastDisk, bool& fileCacheUsed);
    // The only valid pair of the system.
    CConsolidatedError findSuitablePair(uint32_t& slowDisk, uint32_t& fastDisk);
    // The first controller's file cache volume.
    CConsolidatedError findFileCacheVolume(_UVI_VolumeInfo& volume);
    // Clears the volume port's metadata of those addresses that name a disk of the controller.
    CConsolidatedError clearMemberMetadata(uint32_t controllerHandle, const std::vector<uint32_t>& addresses);

    // ---- the separation ----
    // The whole separation, waiting for each stage.
    CConsolidatedError disableHalvexOneStep();
    // The first stage: the tools stopped, the cache service's data cleared unless kept, the block
    // cache to Safe mode or, when it is Safe already, the separation asked for.
    CConsolidatedError disableHalvexEntryPoint(SeparationRequest request,
                                               StorageSwDeviceFromDiskFactory fromDisk,
                                               StorageSwDeviceFromNodeFactory fromNode);
    CConsolidatedError separateOnPairingController();
    // One stage of the separation chosen by the pair's operation status; `performed` tells whether
    // one was taken.
    CConsolidatedError doVezkAutomation(uint32_t& performed);
    // Asks the driver to separate the controller's pair.
    CConsolidatedError separate(uint32_t controllerHandle);
    // The pairing's cache goes back to available: the base reset while a volume is accelerated,
    // otherwise the flagged volume of the pairing is deleted.
    CConsolidatedError resetCacheToAvailable(uint32_t controllerHandle) override;
    // The software storage device nodes of a disk and of a listed node.
    static StorageSwDeviceFromDiskFactory makeDiskDeviceFactory();
    static StorageSwDeviceFromNodeFactory makeNodeDeviceFactory();

    // ---- the clears ----
    // Turns the acceleration off and on again in the same mode, emptying the block cache.
    CConsolidatedError doClearBlockCache();
    // Separates without the driver's migration: the members' pairing metadata, the cache and the
    // file cache volume's metadata are removed.
    CConsolidatedError clearMetadata();

private:
    // The address the driver knows the disk by.
    static uint32_t DriverAddress(const Disk& disk);
    void logEnable(const VezkEnableRequest& request, const CConsolidatedError& result);
    // The entry point's work once the disable section is held (by it, or by the one-step disable on
    // this thread); `entered` is how taking the section went.
    CConsolidatedError separationStage(SeparationRequest request, CConsolidatedError entered);

    static constexpr uint64_t kSmallestDataVolume = 0x400000;
};
