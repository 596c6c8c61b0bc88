#pragma once
// The acceleration action of SSD caching: a cache volume on a solid-state drive accelerates a
// slower volume or pass-through drive. Every change of the acceleration is refused while a
// cache-memory pairing is enabled, or busy, on the controller concerned.
#include "middleware/accelerate/UVIAccelerateBaseAction.h"

class Controller;

class UVIAccelerateWynAction final : public UVIAccelerateBaseAction {
    MOX_RUNTIME_CLASS("class UVIAccelerateWynAction")

public:
    UVIAccelerateWynAction() = default;
    virtual ~UVIAccelerateWynAction();

    bool isSupported(uint32_t controllerHandle, CConsolidatedError& error) override;
    uint64_t getMinCacheSize() override { return 0x3B9999999ull; }
    uint64_t getMaxCacheSize() override { return 0x1000000000ull; }
    uint64_t getMinDataVolumeSize() override { return 0x80000000ull; }
    CConsolidatedError checkIfDiskPairValid(uint32_t slowDisk, uint32_t fastDisk, uint32_t& status) override;
    CConsolidatedError checkIfDiskValid(uint32_t disk, uint32_t member, uint32_t& status) override;
    bool hasAcceleratedVolume() override;
    CConsolidatedError createCacheVolume(uint32_t fastDiskHandle, CacheSizeSpec& cacheSize) override;
    CConsolidatedError resetCacheToAvailable(uint32_t controllerHandle) override;
    CConsolidatedError configVolumeAcceleration(uint32_t volumeHandle, _UVI_NvcMode mode) override;
    CConsolidatedError configDiskAcceleration(uint32_t diskHandle, _UVI_NvcMode mode) override;
    CConsolidatedError turnOffAcceleration(uint32_t controllerHandle) override;
    CConsolidatedError disassociate(const _UVI_VolumeInfo& volume) override;
    uint32_t getCacheVolumeKind() override { return 1; }
    uint32_t getDataVolumeKind() override { return 0; }
    CConsolidatedError checkDiskCanBeAccelerated(const _UVI_NvcInfo& nvc,
                                                 const _UVI_EndDeviceInfo& disk) override;
    CConsolidatedError checkFastDisk(const _UVI_EndDeviceInfo& disk) override;
    void adjustSmallDataVolume(CacheSizeSpec& dataVolume) override;

private:
    // The refusal while a pairing is enabled or busy on the controller of the disk, the volume or
    // the handle; success when the change may go on.
    CConsolidatedError guardDisk(uint32_t diskHandle);
    CConsolidatedError guardVolume(uint32_t volumeHandle);
    CConsolidatedError guardController(uint32_t controllerHandle);
    static CConsolidatedError guard(const Controller& controller);
};
