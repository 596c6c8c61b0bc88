#pragma once
// The acceleration action of the cache-memory pairing: its limits and volume kinds, its validity
// checks of a pair and of one drive, and the look-ups every pairing operation starts with.
#include <memory>

#include "middleware/accelerate/UVIAccelerateBaseAction.h"
#include "middleware/api/UviVezkRecords.h"

class Controller;

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

private:
    static constexpr uint64_t kSmallestDataVolume = 0x400000;
};
