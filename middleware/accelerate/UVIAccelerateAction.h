#pragma once
// The exported facade through which programs start every SSD-caching and cache-memory pairing
// operation. It keeps the settings of one pairing request; each operation builds a short-lived
// action with a fresh snapshot of its own, runs one step and answers the C interface's record.
// No exception of any kind leaves an operation.
#include <cstddef>
#include <cstdint>

#include "middleware/accelerate/CacheSize.h"
#include "middleware/api/UviNvcRecords.h"
#include "middleware/api/UviVezkRecords.h"
#include "middleware/api/UviVolumeRecords.h"
#include "middleware/core/Export.h"
#include "middleware/core/UviError.h"

// The settings of one pairing request, as the enable takes them.
struct AccelerateSettings {
    // Bytes.
    CacheSizeSpec cacheVolumeSize;
    // MiB.
    CacheSizeSpec fileCacheSize;
    // Sectors of the slow drive; all ones lets the enable choose.
    uint64_t migrationStart = UINT64_MAX;
    // End-device handles; both 0 let the enable choose the pair.
    uint32_t slowDisk = 0;
    uint32_t fastDisk = 0;
    bool separationSafe = true;
    // Keeps the cache service's database when the pair is separated.
    bool preservePinningData = false;
    uint8_t unused[2] = {0, 0};
    _UVI_VezkFileCacheMode fcMode = UVI_VEZK_FILE_CACHE_MODE_0;
};
static_assert(sizeof(CacheSizeSpec) == 24, "record layout");
static_assert(offsetof(CacheSizeSpec, size) == 8 && offsetof(CacheSizeSpec, max) == 16, "record layout");
static_assert(sizeof(AccelerateSettings) == 72, "record layout");
static_assert(offsetof(AccelerateSettings, fileCacheSize) == 24, "record layout");
static_assert(offsetof(AccelerateSettings, migrationStart) == 48, "record layout");
static_assert(offsetof(AccelerateSettings, slowDisk) == 56, "record layout");
static_assert(offsetof(AccelerateSettings, fastDisk) == 60, "record layout");
static_assert(offsetof(AccelerateSettings, separationSafe) == 64, "record layout");
static_assert(offsetof(AccelerateSettings, preservePinningData) == 65, "record layout");
static_assert(offsetof(AccelerateSettings, fcMode) == 68, "record layout");

class MOX_EXPORT UVIAccelerateAction {
public:
    UVIAccelerateAction();
    // Not virtual: the facade is never deleted through a base.
    ~UVIAccelerateAction();
    // The settings are owned through a plain pointer: a copy would free them twice.
    UVIAccelerateAction(const UVIAccelerateAction&) = delete;
    UVIAccelerateAction& operator=(const UVIAccelerateAction&) = delete;

    // Slot 0: explicit, clamped to the size request's maximum.
    virtual void setCacheVolSize(uint64_t bytes);
    // Slot 1.
    virtual _UVI_Error doClearBlockCache();
    // Slots 2 to 4: SSD caching is at its end of life; only turning it off is still done.
    virtual _UVI_Error doCreateCacheVolumeTask(uint32_t handle);
    virtual _UVI_Error configVolumeAcceleration(uint32_t volumeHandle, _UVI_NvcMode mode);
    virtual _UVI_Error configDiskAcceleration(uint32_t diskHandle, _UVI_NvcMode mode);
    // Slots 5 to 8: the SSD caching action's operations.
    virtual _UVI_Error turnOffVolumeOrDiskAcceleration(uint32_t controllerHandle);
    virtual _UVI_Error doDisassociate(const _UVI_VolumeInfo& volume);
    virtual _UVI_Error resetCacheToAvailable(uint32_t controllerHandle);
    virtual _UVI_Error waitForNvcMode(uint32_t controllerHandle, _UVI_NvcMode mode);
    // Slots 9 to 15: the settings. The file cache size is explicit and clamped to its maximum.
    virtual void setFileCacheSize(uint32_t mib);
    virtual void setMigrationStart(uint64_t start);
    virtual void setFastDisk(uint32_t diskHandle);
    virtual void setSlowDisk(uint32_t diskHandle);
    virtual void setSeparationSafe(bool safe);
    virtual void setPreservePinningData(bool preserve);
    virtual void setFcMode(_UVI_VezkFileCacheMode mode);
    // Slot 16: the pairing in one step with the settings.
    virtual _UVI_Error doVezkEnableOneStep();
    // Slot 17: the cache product's tools, when a controller supports pairing.
    virtual _UVI_Error doVezkStartTools();
    // Slot 18: the separation in one step, with its data migration.
    virtual _UVI_Error doVezkDisableOneStep();
    // Slots 19 and 20: the first stage of the separation, on the pairing controller or on the one
    // named; it does not wait for the driver.
    virtual _UVI_Error doSeparateConcatenation();
    virtual _UVI_Error doSeparateConcatenation(uint32_t controllerHandle);
    // Slots 21 and 22: the validity of a slow/fast pair and of one drive in a role.
    virtual _UVI_Error checkIfDiskPairValid(uint32_t slowDisk, uint32_t fastDisk,
                                            _UVI_VezkDiskPairStatus& status);
    virtual _UVI_Error checkIfDiskValid(uint32_t diskHandle, _UVI_VezkDiskConcatenationMember member,
                                        _UVI_VezkDiskValidForConcatenationStatus& status);
    // Slot 23: one stage of the separation by the pair's operation status; `performed` tells
    // whether a stage was taken.
    virtual _UVI_Error doVezkAutomation(uint32_t& performed);
    // Slot 24.
    virtual _UVI_Error doResetVolportPerformanceCounters();

    // The separation by clearing the pairing metadata, without the driver's migration.
    _UVI_Error doSeparateConcatenationNoSync();

    // The cache volume limits in bytes of the pairing (true) or of SSD caching (false).
    static uint64_t getMinCacheSize(bool pairing);
    static uint64_t getMaxCacheSize(bool pairing);

    const AccelerateSettings& getSettings() const { return *m_Settings; }

private:
    AccelerateSettings* m_Settings;
};
