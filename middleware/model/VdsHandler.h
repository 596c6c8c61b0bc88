#pragma once
// Disk operations that work on partitions and volumes, which the RAID driver does not know about,
// done through the Virtual Disk Service: finding a disk by its partition table's identity, cleaning
// it, telling whether it carries the running system, finding its boot volume, and (in the API layer)
// making room for RAID metadata at its end. Every operation joins COM for its own length, takes the
// service from loadVdsService and releases every interface it obtained before it returns.
#include <cstdint>
#include <vector>

#include "middleware/core/ConsolidatedError.h"
#include "middleware/core/ComPtr.h"
#include "platform/win/WinVds.h"

// How the service's disks are matched with a Windows disk.
struct VdsDiskIdentity {
    // 0 none, 1 MBR, 2 GPT (the service's VDS_PARTITION_STYLE).
    uint32_t partitionStyle = 0;
    uint32_t mbrSignature = 0;
    GUID gptGuid{};
};

class VdsHandler {
public:
    // Lookups; each answers an HRESULT, or for the finders 0 found, 1 not found, negative on error.
    static HRESULT getPacks(IVdsService* service, std::vector<ComPtr<IVdsPack>>& packs);
    static HRESULT getDisk(IVdsService* service, const VdsDiskIdentity& identity, IVdsDisk** disk);
    static HRESULT getSystemDisk(IVdsService* service, VDS_DISK_PROP& properties);
    static HRESULT getVolume(IVdsService* service, const GUID& volumeId, IVdsVolume** volume);
    // The last used extent of the disk when it is of a kind that can hold a shrinkable volume; zeroed
    // otherwise. The first extent is never looked at.
    static HRESULT getVolumeIdOfLastDiskExtent(IVdsDisk* disk, VDS_DISK_EXTENT& extent);
    static HRESULT getIVdsVolumeShrink(IVdsService* service, const GUID& volumeId, IVdsVolumeShrink** shrink);

    static CConsolidatedError refresh();
    static CConsolidatedError cleanDisk(const VdsDiskIdentity& identity);
    // True when the disk holds the system, boot, page file, hibernation or crash-dump volume, or the
    // firmware boots from it.
    static CConsolidatedError isSystemDisk(const VdsDiskIdentity& identity, bool& isSystem);
    // The offset and size of the extent of the disk's boot volume; left as they were when it has none.
    static CConsolidatedError getBootVolumeExtent(const VdsDiskIdentity& identity, uint64_t& offset,
                                                  uint64_t& size);
    // The disk the firmware started the system from; zeroed when none is found.
    static CConsolidatedError getSystemDiskProperties(VDS_DISK_PROP& properties);

    // Room at the end of a disk (API layer).
    static CConsolidatedError makeFreeSpaceAtEndOfDisk(const VdsDiskIdentity& identity, uint64_t neededBytes);
    static CConsolidatedError shrinkLastVolume(const VdsDiskIdentity& identity, uint64_t bytes);
    static CConsolidatedError checkLastPartition(IVdsDisk* disk, const VDS_DISK_EXTENT& lastExtent,
                                                 uint64_t bytes, VDS_PARTITION_STYLE& style);
    static CConsolidatedError changePartitionTypeAndAttributes(IVdsDisk* disk,
                                                               const VDS_DISK_EXTENT& lastExtent,
                                                               const VDS_PARTITION_PROP& wanted,
                                                               VDS_PARTITION_PROP& previous);
    // 0 success, 1 when less than 95 % of the request was reclaimed, else the failing HRESULT.
    static HRESULT shrinkVolume(IVdsVolumeShrink* shrink, uint64_t bytes);
};

// A failed shrink's HRESULT as the library's error.
CConsolidatedError MakeVdsError(HRESULT hr);

// Frees the texts of a disk's properties and clears their pointers.
void FreeDiskPropertyStrings(VDS_DISK_PROP& properties);

// The forms the topology model and the disk operations call by identity kind, signature and identity.
CConsolidatedError VdsCleanDisk(uint32_t identityKind, uint32_t mbrSignature, const GUID& identity);
CConsolidatedError VdsGetAdvancedDiskFlags(uint32_t identityKind, uint32_t mbrSignature, const GUID& identity,
                                           bool& isSystemDisk);
// The offset and size of the boot volume's extent on the disk.
CConsolidatedError VdsGetLastVolumeProperties(uint32_t identityKind, uint32_t mbrSignature,
                                              const GUID& identity, uint64_t& offset, uint64_t& size);
