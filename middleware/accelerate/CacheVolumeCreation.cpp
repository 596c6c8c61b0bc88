// Slot 7 of the acceleration actions: the fast disk becomes a data volume at its start and a cache
// volume behind it, or a cache volume alone.
#include <algorithm>
#include <cstring>
#include <sstream>
#include <string>

#include "middleware/accelerate/UVIAccelerateBaseAction.h"
#include "middleware/api/EndDeviceQueries.h"
#include "middleware/api/SystemOperations.h"
#include "middleware/api/UviVolumeCreation.h"
#include "middleware/model/Disk.h"
#include "middleware/model/DiskShrinkExtension.h"
#include "middleware/model/RaidDiskConfig.h"
#include "middleware/model/Session.h"
#include "middleware/model/WinDiskInterface.h"

namespace {

// The level code of a single-disk volume and the strip of the acceleration's volumes, in KiB.
constexpr uint32_t kSingleDiskLevel = 0x40000;
constexpr uint32_t kStripKiB = 64;
constexpr uint64_t kDataVolumeAlignment = 8192;

CConsolidatedError SizeRefusal(const std::string& message) {
    CConsolidatedError error;
    error.SetError(CConsolidatedError::HALVEX_BLOCK_CACHE_SIZEINVALID, message.c_str());
    return error;
}

// A byte count in GiB as a single-precision number, with the stream's default formatting.
std::string Gib(uint64_t bytes) {
    std::ostringstream out;
    out << static_cast<float>(bytes) / static_cast<float>(1u << 30);
    return out.str();
}

// A failed volume creation told as a failed cache creation, its texts kept.
CConsolidatedError CreationFailed(const CConsolidatedError& failure) {
    CConsolidatedError error(CConsolidatedError::HALVEX_BLOCKCACHECREATIONFAILED);
    if (*failure.GetErrorMessage())
        error.AddErrorMessage("%s", failure.GetErrorMessage());
    if (*failure.GetDebugInformation())
        error.AddDebugInformation("%s", failure.GetDebugInformation());
    return error;
}

void SetName(char (&field)[20], const std::string& name) {
    std::memset(field, 0, sizeof field);
    std::memcpy(field, name.data(), std::min(name.size(), sizeof field - 1));
}

uint64_t MetadataBytes(const RaidDiskConfig& config, uint32_t kind) {
    return DiskShrinkExtension::getMetadataSpaceSize(config.getMetadataSectors(), config.getSectorSize(),
                                                     kind);
}

} // namespace

CConsolidatedError UVIAccelerateBaseAction::createCacheVolume(uint32_t fastDiskHandle,
                                                              CacheSizeSpec& cacheSize) {
    _UVI_EndDeviceInfo fast{};
    CConsolidatedError error = internalUviGetEndDeviceInfo(*m_Session, fastDiskHandle, &fast);
    if (error.IsError())
        return error;
    if (!isSupported(fast.controllerHandle, error))
        return error;
    error = checkFastDisk(fast);
    if (error.IsError())
        return error;
    const uint64_t diskSize = fast.capacity;
    if (cacheSize.mode == CacheSizeSpec::kLargest) {
        error = resolveLargestCacheSize(fastDiskHandle, cacheSize);
        if (error.IsError())
            return error;
    } else if (diskSize < cacheSize.getSize()) {
        return SizeRefusal("Fast drive too small for specified cache size");
    }
    const auto disk = m_Session->getEndDeviceByHandle(fastDiskHandle);
    if (!disk || !disk->getRaidDiskConfig()) {
        CConsolidatedError missing;
        missing.SetError(CConsolidatedError::UVI_INTERNALERROR, "Fast disk null");
        return missing;
    }
    const uint64_t metadata = MetadataBytes(*disk->getRaidDiskConfig(), getCacheVolumeKind());
    const uint64_t cache = cacheSize.getSize();
    CacheSizeSpec data;
    data.mode = CacheSizeSpec::kExplicit;
    data.max = UINT64_MAX;
    data.size = diskSize < metadata + cache
                    ? 0
                    : (diskSize - metadata - cache) / kDataVolumeAlignment * kDataVolumeAlignment;

    if (cache < getMinCacheSize() || cache > getMaxCacheSize())
        return SizeRefusal("Cache size should be greater than " + Gib(getMinCacheSize()) + "GB" +
                           " and smaller than " + Gib(getMaxCacheSize()) + "GB");
    // The record's free value can exceed the disk's size (it counts what the file systems keep
    // free); nothing is allocated then, rather than a wrapped-around count.
    const uint64_t allocated = fast.spaceAvailable < diskSize ? diskSize - fast.spaceAvailable : 0;
    if (fast.hasPartitions && data.size < allocated)
        return SizeRefusal(std::string("Data Volume size can't be smaller than allocated space on disk.") +
                           " Allocated space: " + Gib(allocated) + "GB." + " Data Volume: " + Gib(data.size) +
                           "GB." + " Cache Volume: " + Gib(cache) + "GB.");
    if (data.size < getMinDataVolumeSize()) {
        if (fast.hasPartitions) {
            CConsolidatedError small(CConsolidatedError::HALVEX_BLOCK_CACHE_SIZEINVALID);
            const float gib = static_cast<float>(getMinDataVolumeSize()) / static_cast<float>(1u << 30);
            small.AddErrorMessage("Data Volume size can't be smaller than %fGB.", static_cast<double>(gib));
            return small;
        }
        adjustSmallDataVolume(data);
    }
    if (diskSize < data.getSize() + cache)
        return SizeRefusal("Data Volume size and Cache Volume size are greater than total space available.");
    return createVolumes(fastDiskHandle, data, fast);
}

CConsolidatedError UVIAccelerateBaseAction::resolveLargestCacheSize(uint32_t fastDiskHandle,
                                                                    CacheSizeSpec& cacheSize) {
    const auto disk = m_Session->getEndDeviceByHandle(fastDiskHandle);
    if (!disk || !disk->getRaidDiskConfig()) {
        CConsolidatedError missing;
        missing.SetError(UVI_STATUS_INVALID_PARAMETER, "Could not find fast disk by handle", nullptr);
        return missing;
    }
    const auto& win = disk->getWinDiskInterface();
    const uint64_t capacity = win ? win->getNumberOfBlocks() * win->getBlockLength() : 0;
    _UVI_EndDeviceInfo fast{};
    CConsolidatedError error = internalUviGetEndDeviceInfo(*m_Session, fastDiskHandle, &fast);
    if (error.IsError())
        return error;
    const uint64_t metadata = MetadataBytes(*disk->getRaidDiskConfig(), getCacheVolumeKind());
    if (fast.hasPartitions) {
        cacheSize.max = std::min(getMaxCacheSize(), capacity - getMinDataVolumeSize());
        cacheSize.size = std::min(cacheSize.size, cacheSize.max);
        if (fast.spaceAvailable < metadata) {
            CConsolidatedError full;
            full.SetError(CConsolidatedError::HALVEX_UNALLOCATEDSPACEINVALID,
                          "No space for metadata on a fast drive!");
            return full;
        }
        cacheSize.size = std::min(fast.spaceAvailable - metadata, cacheSize.max);
    } else {
        cacheSize.max = std::min(getMaxCacheSize(), capacity);
        cacheSize.size = std::min(cacheSize.size, cacheSize.max);
        cacheSize.size = std::min(getMaxCacheSize(), cacheSize.max);
    }
    cacheSize.mode = CacheSizeSpec::kExplicit;
    return error;
}

CConsolidatedError UVIAccelerateBaseAction::createVolumes(uint32_t fastDiskHandle,
                                                          const CacheSizeSpec& dataVolume,
                                                          const _UVI_EndDeviceInfo& fastDisk) {
    const uint32_t disks[1] = {fastDiskHandle};
    _UVI_VolumeCreateFromDisksParams fromDisks{};
    fromDisks.diskHandles = disks;
    fromDisks.diskCount = 1;
    fromDisks.sourceDiskHandle = 0;
    fromDisks.stripSize = kStripKiB;
    fromDisks.raidLevel = kSingleDiskLevel;

    if (dataVolume.mode == CacheSizeSpec::kNone) {
        // The cache volume takes the whole disk.
        SetName(fromDisks.name, m_CacheVolumeName);
        fromDisks.sizeInBytes = 0;
        const CConsolidatedError error =
            createVolumeFromDisks(*m_Session, &fromDisks, static_cast<int>(getCacheVolumeKind()));
        return error.IsError() ? CreationFailed(error) : error;
    }

    const auto room = static_cast<int64_t>(fastDisk.bytesInUse - dataVolume.getSize());
    if (room > 0) {
        CConsolidatedError error =
            MakeSpaceOnDiskForMetadata(m_Session, fastDiskHandle, static_cast<uint64_t>(room));
        if (error.IsError())
            return error;
        static_cast<void>(RefreshPartitionInfoOfControllers(*m_Session)); // the creation reads the disk anew
    }
    SetName(fromDisks.name, m_DataVolumeName);
    fromDisks.sizeInBytes = dataVolume.getSize();
    CConsolidatedError error =
        internalUviVolumeCreateFromDisks(*m_Session, fromDisks, static_cast<int>(getDataVolumeKind()));
    if (error.IsError())
        return error;
    error = refreshSession();
    if (error.IsError())
        return error;
    const auto disk = m_Session->getEndDeviceByHandle(fastDiskHandle);
    if (!disk) {
        CConsolidatedError missing;
        missing.SetError(CConsolidatedError::UVI_INTERNALERROR, "Cannot find fast disk for cache creation");
        return missing;
    }
    _UVI_VolumeCreateParams onArray{};
    onArray.arrayHandle = disk->getRaidDiskConfig() ? disk->getRaidDiskConfig()->getArrayHandle() : 0;
    SetName(onArray.name, m_CacheVolumeName);
    onArray.stripSize = kStripKiB;
    onArray.raidLevel = kSingleDiskLevel;
    onArray.sizeInBytes = 0;
    error = createVolumeOnArray(*m_Session, &onArray, static_cast<int>(getCacheVolumeKind()));
    return error.IsError() ? CreationFailed(error) : error;
}
