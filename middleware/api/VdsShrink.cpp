// Making room at the end of a disk through the Virtual Disk Service: measure the free space after the
// last partition and, when it is short, shrink the last volume by the missing amount. A Windows
// recovery partition must stay usable, and a GPT last partition is shrunk as basic data and given its
// type and attributes back afterwards on every path.
#include "middleware/core/DeadlineTimer.h"
#include "middleware/core/RollbackList.h"
#include "middleware/model/VdsHandler.h"
#include "middleware/model/VdsService.h"
#include "platform/win/Trace.h"
#include "platform/win/WinStorage.h"

namespace {

constexpr uint64_t kMinimumShrink = 0x100000;
constexpr uint64_t kRecoveryMinimumTotal = 0x12C00000;
constexpr uint64_t kRecoveryMinimumFree = 0x3400000;
constexpr uint64_t kShrinkDeadlineMs = 15000;
constexpr unsigned kShrinkRetryMs = 1000;

CConsolidatedError Failure(KEDO2_ERRORS code, const char* message) {
    CConsolidatedError error;
    error.SetError(code, message);
    return error;
}

template <class... Args>
CConsolidatedError FailureWith(KEDO2_ERRORS code, const char* messageFormat, Args... args) {
    CConsolidatedError error;
    error.SetError(code, nullptr);
    error.AddErrorMessage(messageFormat, args...);
    return error;
}

CConsolidatedError FailureDebug(KEDO2_ERRORS code, const char* message, const char* debugFormat, HRESULT hr) {
    CConsolidatedError error;
    error.SetError(code, message);
    error.AddDebugInformation(debugFormat, static_cast<unsigned>(hr));
    return error;
}

// COM, the service and the disk, as every operation here begins.
struct DiskConnection {
    ComConnectionHandler com;
    ComPtr<IVdsService> service;
    ComPtr<IVdsDisk> disk;
    CConsolidatedError error;

    explicit DiskConnection(const VdsDiskIdentity& identity) {
        HRESULT hr = loadVdsService(service.put());
        if (FAILED(hr)) {
            error = FailureDebug(CConsolidatedError::GENERAL_FAULT, "Cannot initialize VDS service.",
                                 "loadVdsService error code = %#X", hr);
            return;
        }
        hr = VdsHandler::getDisk(service.get(), identity, disk.put());
        if (FAILED(hr))
            error = FailureDebug(CConsolidatedError::GENERAL_FAULT, "Cannot get VDS disk object.",
                                 "getDisk error code = %#X", hr);
        else if (hr == 1)
            error.SetError(CConsolidatedError::GENERAL_FAULT, "Cannot get VDS disk object.",
                           "getDisk returned NULL.");
    }
};

// The free bytes after the last partition: the last extent's size when it is free.
HRESULT FreeSpaceAtEnd(IVdsDisk* disk, uint64_t& freeBytes) {
    freeBytes = 0;
    VDS_DISK_EXTENT* extents = nullptr;
    LONG count = 0;
    const HRESULT hr = disk->QueryExtents(&extents, &count);
    if (SUCCEEDED(hr) && extents && count > 0 && extents[count - 1].type == VDS_DET_FREE)
        freeBytes = extents[count - 1].ullSize;
    CoTaskMemFree(extents);
    return hr;
}

// The shrink of the last volume, once the volume is known.
CConsolidatedError ShrinkVolumeById(IVdsService* service, const GUID& volumeId, uint64_t bytes) {
    ComPtr<IVdsVolumeShrink> shrink;
    HRESULT hr = VdsHandler::getIVdsVolumeShrink(service, volumeId, shrink.put());
    if (FAILED(hr))
        return FailureDebug(CConsolidatedError::UVI_SHRINK_FAILED_GENERIC, "Cannot get IVdsVolumeShrink",
                            "getIVdsVolumeShrink error code = %#X", hr);
    hr = VdsHandler::shrinkVolume(shrink.get(), bytes);
    if (hr == 1)
        return Failure(CConsolidatedError::UVI_SHRINK_NOT_ENOUGH_SPACE,
                       "Shrink operation failed to aquire enough space");
    if (hr != 0)
        return MakeVdsError(hr);
    return CConsolidatedError();
}

bool IsGpt(const VDS_PARTITION_PROP& p) {
    return p.PartitionStyle == VDS_PST_GPT;
}

} // namespace

CConsolidatedError MakeVdsError(HRESULT hr) {
    KEDO2_ERRORS code = CConsolidatedError::UVI_SHRINK_FAILED_GENERIC;
    if (hr == VDS_E_SHRINK_SIZE_LESS_THAN_MIN)
        code = CConsolidatedError::UVI_SHRINK_REQUESTED_SIZE_LESS_THAN_MIN;
    else if (hr == VDS_E_SHRINK_SIZE_TOO_BIG)
        code = CConsolidatedError::UVI_SHRINK_NOT_ENOUGH_SPACE;
    return FailureWith(code, "Virtual disk service operation failed. VDS error code = %x",
                       static_cast<unsigned>(hr));
}

HRESULT VdsHandler::shrinkVolume(IVdsVolumeShrink* shrink, uint64_t bytes) {
    DeadlineTimer deadline(kShrinkDeadlineMs);
    const bool started = deadline.start();
    for (;;) {
        ComPtr<IVdsAsync> operation;
        HRESULT result = S_OK;
        VDS_ASYNC_OUTPUT output{};
        HRESULT hr = shrink->Shrink(bytes, bytes, operation.put());
        if (SUCCEEDED(hr))
            hr = operation->Wait(&result, &output);
        if (SUCCEEDED(hr))
            hr = result;
        if (SUCCEEDED(hr))
            return output.sv.ullReclaimedBytes < bytes / 100 * 95 ? 1 : 0;
        // The file system may still be moving data out of the way: try again until the deadline.
        if (hr != VDS_E_SHRINK_SIZE_TOO_BIG || !started || !deadline.wait(kShrinkRetryMs))
            return hr;
        MOX_TRACE(TRACE_LEVEL_INFORMATION, "VdsHandler::shrinkVolume: %#X, trying again",
                  static_cast<unsigned>(hr));
    }
}

CConsolidatedError VdsHandler::checkLastPartition(IVdsDisk* disk, const VDS_DISK_EXTENT& lastExtent,
                                                  uint64_t bytes, VDS_PARTITION_STYLE& style) {
    ComPtr<IVdsAdvancedDisk> advanced;
    HRESULT hr = advanced.queryFrom(disk, IID_IVdsAdvancedDisk);
    if (FAILED(hr))
        return FailureWith(CConsolidatedError::UVI_SHRINK_FAILED_GENERIC,
                           "failed to get IID_IVdsAdvancedDisk: %X", static_cast<unsigned>(hr));
    VDS_PARTITION_PROP partition{};
    hr = advanced->GetPartitionProperties(lastExtent.ullOffset, &partition);
    if (FAILED(hr))
        return FailureWith(CConsolidatedError::UVI_SHRINK_FAILED_GENERIC,
                           "failed to get partition properties: %X", static_cast<unsigned>(hr));
    style = partition.PartitionStyle;
    if (!IsGpt(partition))
        return CConsolidatedError();
    ComPtr<IVdsDiskPartitionMF> fileSystems;
    hr = fileSystems.queryFrom(disk, IID_IVdsDiskPartitionMF);
    if (FAILED(hr))
        return FailureWith(CConsolidatedError::UVI_SHRINK_QUERY_DISK_FOR_FILE_SYSTEM_CHECK_FAILED,
                           "failed to get IVdsDiskPartitionMF: %X", static_cast<unsigned>(hr));
    if (!(partition.Gpt.partitionType == PARTITION_MSFT_RECOVERY_GUID))
        return CConsolidatedError();

    VDS_FILE_SYSTEM_PROP fileSystem{};
    hr = fileSystems->GetPartitionFileSystemProperties(lastExtent.ullOffset, &fileSystem);
    if (FAILED(hr))
        return FailureWith(CConsolidatedError::UVI_SHRINK_FILE_SYSTEM_CHECK_FAILED,
                           "failed to get file system properties: %X", static_cast<unsigned>(hr));
    CoTaskMemFree(fileSystem.pwszLabel);
    const uint64_t total = uint64_t{fileSystem.ulAllocationUnitSize} * fileSystem.ullTotalAllocationUnits;
    const uint64_t free = uint64_t{fileSystem.ulAllocationUnitSize} * fileSystem.ullAvailableAllocationUnits;
    if (bytes >= total)
        return Failure(CConsolidatedError::UVI_SHRINK_NOT_ENOUGH_SPACE,
                       "Not enough space on recovery partition");
    if (bytes >= free)
        return Failure(CConsolidatedError::UVI_SHRINK_NOT_ENOUGH_FREE_SPACE,
                       "Not enough free space on recovery partition");
    if (total - bytes < kRecoveryMinimumTotal || free - bytes < kRecoveryMinimumFree)
        return Failure(CConsolidatedError::UVI_SHRINK_WINRE_REQUIREMENT_FAILED,
                       "Not enough free space on recovery partition to satisfy requirements");
    return CConsolidatedError();
}

CConsolidatedError VdsHandler::changePartitionTypeAndAttributes(IVdsDisk* disk,
                                                                const VDS_DISK_EXTENT& lastExtent,
                                                                const VDS_PARTITION_PROP& wanted,
                                                                VDS_PARTITION_PROP& previous) {
    ComPtr<IVdsAdvancedDisk> advanced;
    HRESULT hr = advanced.queryFrom(disk, IID_IVdsAdvancedDisk);
    if (FAILED(hr))
        return FailureWith(CConsolidatedError::UVI_SHRINK_QUERY_DISK_FOR_GPT_ATTRIBUTE_CHANGE_FAILED,
                           "failed to get IID_IVdsAdvancedDisk : %X", static_cast<unsigned>(hr));
    hr = advanced->GetPartitionProperties(lastExtent.ullOffset, &previous);
    if (FAILED(hr))
        return FailureWith(CConsolidatedError::UVI_SHRINK_GET_PARTITION_PROPS_FAILED,
                           "failed to get partition properties: %X", static_cast<unsigned>(hr));
    if (!IsGpt(previous) || !IsGpt(wanted))
        return Failure(CConsolidatedError::UVI_SHRINK_INCORRECT_PARTITION_TYPE,
                       "Can't change non GPT partition type");
    if (!(previous.Gpt.partitionType == wanted.Gpt.partitionType)) {
        ComPtr<IVdsAdvancedDisk2> advanced2;
        hr = advanced2.queryFrom(disk, IID_IVdsAdvancedDisk2);
        if (FAILED(hr))
            return FailureWith(CConsolidatedError::UVI_SHRINK_QUERY_DISK_FOR_PARTITION_TYPE_CHANGE_FAILED,
                               "Failed to get IID_IVdsAdvancedDisk2: %X", static_cast<unsigned>(hr));
        CHANGE_PARTITION_TYPE_PARAMETERS type{};
        type.style = VDS_PST_GPT;
        type.GptPartInfo.partitionType = wanted.Gpt.partitionType;
        hr = advanced2->ChangePartitionType(lastExtent.ullOffset, TRUE, &type);
        if (FAILED(hr))
            return FailureWith(CConsolidatedError::UVI_SHRINK_CHANGE_PARTITION_TYPE_FAILED,
                               "Could not change partiton type: %X", static_cast<unsigned>(hr));
    }
    if (previous.Gpt.attributes != wanted.Gpt.attributes) {
        CHANGE_ATTRIBUTES_PARAMETERS attributes{};
        attributes.style = VDS_PST_GPT;
        attributes.GptPartInfo.attributes = wanted.Gpt.attributes;
        hr = advanced->ChangeAttributes(lastExtent.ullOffset, &attributes);
        if (FAILED(hr))
            return FailureWith(CConsolidatedError::UVI_SHRINK_CHANGE_GPT_ATTRIBUTES_FAILED,
                               "Could not change partiton attributes: %X", static_cast<unsigned>(hr));
    }
    return CConsolidatedError();
}

CConsolidatedError VdsHandler::makeFreeSpaceAtEndOfDisk(const VdsDiskIdentity& identity,
                                                        uint64_t neededBytes) {
    DiskConnection c(identity);
    if (c.error.IsError())
        return c.error;
    uint64_t freeBytes = 0;
    HRESULT hr = FreeSpaceAtEnd(c.disk.get(), freeBytes);
    if (FAILED(hr))
        return FailureDebug(CConsolidatedError::GENERAL_FAULT, "Cannot get free space at the end of drive.",
                            "geFreeSpaceAtTheEndOfDisk error code = %#X", hr);
    if (freeBytes >= neededBytes)
        return CConsolidatedError();
    const uint64_t shrinkBytes = std::max(neededBytes - freeBytes, kMinimumShrink);

    VDS_DISK_EXTENT last{};
    hr = getVolumeIdOfLastDiskExtent(c.disk.get(), last);
    if (FAILED(hr))
        return FailureDebug(CConsolidatedError::UVI_SHRINK_FAILED_GENERIC, "Cannot get last volume on disk.",
                            "getVolumeIdOfLastDiskExtent error code = %#X", hr);
    if (hr > 0)
        return CConsolidatedError();
    VDS_PARTITION_STYLE style = VDS_PST_UNKNOWN;
    CConsolidatedError result = checkLastPartition(c.disk.get(), last, shrinkBytes, style);
    if (result.IsError())
        return result;

    // Declared after the connection, so the undo step runs while COM and the service are still there.
    RollbackList undo;
    if (style == VDS_PST_GPT) {
        VDS_PARTITION_PROP wanted{};
        wanted.PartitionStyle = VDS_PST_GPT;
        wanted.Gpt.partitionType = PARTITION_BASIC_DATA_GUID;
        wanted.Gpt.attributes = 0;
        VDS_PARTITION_PROP previous{};
        CConsolidatedError changed = changePartitionTypeAndAttributes(c.disk.get(), last, wanted, previous);
        if (changed.IsError())
            MOX_TRACE(TRACE_LEVEL_WARNING, "makeFreeSpaceAtEndOfDisk: partition type change failed: %s",
                      changed.GetErrorMessage());
        IVdsService* service = c.service.get();
        IVdsDisk* disk = c.disk.get();
        // The partition gets its type back whatever happens below.
        undo.push([service, disk, previous] {
            if (FAILED(service->Refresh()))
                MOX_TRACE(TRACE_LEVEL_WARNING, "makeFreeSpaceAtEndOfDisk: refresh before the restore failed");
            VDS_DISK_EXTENT extent{};
            if (FAILED(getVolumeIdOfLastDiskExtent(disk, extent)) || extent.ullOffset == 0) {
                MOX_TRACE(TRACE_LEVEL_WARNING,
                          "makeFreeSpaceAtEndOfDisk: last extent not found for the restore");
                return;
            }
            VDS_PARTITION_PROP current{};
            CConsolidatedError restored = changePartitionTypeAndAttributes(disk, extent, previous, current);
            if (restored.IsError())
                MOX_TRACE(TRACE_LEVEL_WARNING, "makeFreeSpaceAtEndOfDisk: partition type restore failed: %s",
                          restored.GetErrorMessage());
        });
        result = refresh();
        if (result.IsError())
            return result;
        hr = getVolumeIdOfLastDiskExtent(c.disk.get(), last);
        if (FAILED(hr))
            return FailureDebug(CConsolidatedError::UVI_SHRINK_FAILED_GENERIC,
                                "Cannot get last volume on disk.",
                                "getVolumeIdOfLastDiskExtent error code = %#X", hr);
    }
    if (last.volumeId == GUID{})
        return Failure(CConsolidatedError::UVI_SHRINK_LAST_PARTITION_NOT_SHRINKABLE,
                       "Last volume is not valid for shrink. Volume GUID missing.");
    return ShrinkVolumeById(c.service.get(), last.volumeId, shrinkBytes);
}

CConsolidatedError VdsHandler::shrinkLastVolume(const VdsDiskIdentity& identity, uint64_t bytes) {
    DiskConnection c(identity);
    if (c.error.IsError())
        return c.error;
    VDS_DISK_EXTENT last{};
    const HRESULT hr = getVolumeIdOfLastDiskExtent(c.disk.get(), last);
    if (FAILED(hr))
        return FailureDebug(CConsolidatedError::UVI_SHRINK_FAILED_GENERIC, "Cannot get last volume on disk.",
                            "getVolumeIdOfLastDiskExtent error code = %#X", hr);
    if (last.volumeId == GUID{})
        return Failure(CConsolidatedError::UVI_SHRINK_LAST_PARTITION_NOT_DATA,
                       "Last volume is not a data partition. Cannot shrink.");
    return ShrinkVolumeById(c.service.get(), last.volumeId, std::max(bytes, kMinimumShrink));
}
