#pragma once
// Windows storage requests on an open disk or adapter handle: SCSI address, geometry, capacity,
// device number, drive layout, cache information and setting, storage properties (descriptors,
// seek penalty, NVMe identify data, topology), ATA IDENTIFY DEVICE through ATA pass-through, and
// the refresh of a disk's properties. They take no controller mutex and pass no interface gate.
//
// No accessor here verifies the answer; callers that need the length checks call Verify. Values the
// answer supplies (offsets) are checked against the bytes it returned before they are used.
#include <cstdint>

#include "middleware/ioctl/CIoctl.h"
#include "middleware/ioctl/PackedScsiAddress.h"
#include "platform/win/WinStorage.h"

class CIoctlDiskGetDiskAddress : public CIoctl {
    MOX_RUNTIME_CLASS("class CIoctlDiskGetDiskAddress")

public:
    explicit CIoctlDiskGetDiskAddress(HANDLE target);
    // The packed address of the answer's port, path, target and lun; kNoScsiAddress before any
    // send, and the zeroed answer's address (0) after a failed one.
    PackedScsiAddress GetScsiAddress() const;
};

class CIoctlDiskGetDriveGeometryEx : public CIoctl {
    MOX_RUNTIME_CLASS("class CIoctlDiskGetDriveGeometryEx")

public:
    explicit CIoctlDiskGetDriveGeometryEx(HANDLE target);
    // The 40-byte answer as its buffer holds it (zeros without one).
    DISK_GEOMETRY_EX GetGeometry() const;
};

class CIoctlDiskUpdateProperties : public CIoctl {
    MOX_RUNTIME_CLASS("class CIoctlDiskUpdateProperties")

public:
    explicit CIoctlDiskUpdateProperties(HANDLE target);
};

// ATA IDENTIFY DEVICE: ATA_PASS_THROUGH_EX followed by its 512-byte data area.
class CIoctlStorageGetAtaIndentify : public CIoctl {
    MOX_RUNTIME_CLASS("class CIoctlStorageGetAtaIndentify")

public:
    static constexpr DWORD kSize = sizeof(ATA_PASS_THROUGH_EX) + 512;

    explicit CIoctlStorageGetAtaIndentify(HANDLE target);
    // Identify word 217, the nominal media rotation rate (1: not rotating), read at the answer's
    // DataBufferOffset; 0 without an answer buffer. Throws CConsolidatedError 0xA0040401 when the
    // word does not lie within the bytes the answer returned.
    uint16_t GetRotationRate() const;

protected:
    CConsolidatedError _realFormatInputBuffer() override;
};

class CIoctlStorageGetCapacity : public CIoctl {
    MOX_RUNTIME_CLASS("class CIoctlStorageGetCapacity")

public:
    explicit CIoctlStorageGetCapacity(HANDLE target);
    STORAGE_READ_CAPACITY GetCapacity() const;
};

// The NVMe Identify Controller data through the adapter protocol-specific property.
class CIoctlStorageGetNvmeIdentifyController : public CIoctl {
    MOX_RUNTIME_CLASS("class CIoctlStorageGetNvmeIdentifyController")

public:
    static constexpr DWORD kIdentifySize = 4096;
    static constexpr DWORD kSize = 4147;

    explicit CIoctlStorageGetNvmeIdentifyController(HANDLE target);
    // The 4096-byte identify data at 8 + the answer's ProtocolDataOffset; null without an answer
    // buffer. Throws CConsolidatedError 0xA0040401 when the data does not lie within the bytes the
    // answer returned.
    const BYTE* GetIdentifyData() const;

protected:
    CConsolidatedError _realFormatInputBuffer() override;
};

class CIoctlStorageGetProperty : public CIoctl {
    MOX_RUNTIME_CLASS("class CIoctlStorageGetProperty")

public:
    CIoctlStorageGetProperty(HANDLE target, DWORD answerSize, DWORD propertyId);
    DWORD GetPropertyId() const { return m_PropertyId; }

protected:
    CConsolidatedError _realFormatInputBuffer() override;

    DWORD m_PropertyId;
};

// The head of a descriptor, asked for its Size before the whole is read.
class CIoctlStorageGetPropertyOutputSize : public CIoctlStorageGetProperty {
    MOX_RUNTIME_CLASS("class CIoctlStorageGetPropertyOutputSize")

public:
    using CIoctlStorageGetProperty::CIoctlStorageGetProperty;
    // The descriptor header's Size; 0 without an answer buffer large enough for the header.
    DWORD GetSize() const;
};

class CIoctlStorageGetSeekPenalty : public CIoctlStorageGetProperty {
    MOX_RUNTIME_CLASS("class CIoctlStorageGetSeekPenalty")

public:
    explicit CIoctlStorageGetSeekPenalty(HANDLE target);
    DEVICE_SEEK_PENALTY_DESCRIPTOR GetSeekPenalty() const;
};

class CIoctlStrorageGetDeviceNumber : public CIoctl {
    MOX_RUNTIME_CLASS("class CIoctlStrorageGetDeviceNumber")

public:
    explicit CIoctlStrorageGetDeviceNumber(HANDLE target);
    STORAGE_DEVICE_NUMBER GetDeviceNumber() const;
};

class CIoctlWindowsGetCacheInformation : public CIoctl {
    MOX_RUNTIME_CLASS("class CIoctlWindowsGetCacheInformation")

public:
    explicit CIoctlWindowsGetCacheInformation(HANDLE target);
    DISK_CACHE_INFORMATION GetCacheInformation() const;
};

class CIoctlWindowsGetCachePolicy : public CIoctl {
    MOX_RUNTIME_CLASS("class CIoctlWindowsGetCachePolicy")

public:
    explicit CIoctlWindowsGetCachePolicy(HANDLE target);
    DISK_CACHE_SETTING GetCacheSetting() const;
};

class CIoctlWindowsSetCacheInformation : public CIoctl {
    MOX_RUNTIME_CLASS("class CIoctlWindowsSetCacheInformation")

public:
    CIoctlWindowsSetCacheInformation(HANDLE target, const DISK_CACHE_INFORMATION& information);

protected:
    CConsolidatedError _realFormatInputBuffer() override;

    DISK_CACHE_INFORMATION m_Information;
};

class CIoctlWindowsSetCachePolicy : public CIoctl {
    MOX_RUNTIME_CLASS("class CIoctlWindowsSetCachePolicy")

public:
    CIoctlWindowsSetCachePolicy(HANDLE target, const DISK_CACHE_SETTING& setting);

protected:
    CConsolidatedError _realFormatInputBuffer() override;

    DISK_CACHE_SETTING m_Setting;
};

// DRIVE_LAYOUT_INFORMATION_EX with room for 128 partition entries.
class CioctlWindowsGetDriveLayoutEx : public CIoctl {
    MOX_RUNTIME_CLASS("class CioctlWindowsGetDriveLayoutEx")

public:
    static constexpr DWORD kMaxEntries = 128;
    static constexpr DWORD kEntriesOffset = offsetof(DRIVE_LAYOUT_INFORMATION_EX, PartitionEntry);
    static constexpr DWORD kEntriesSize = kMaxEntries * sizeof(PARTITION_INFORMATION_EX);
    static constexpr DWORD kSize = kEntriesOffset + kEntriesSize;

    explicit CioctlWindowsGetDriveLayoutEx(HANDLE target);
    // Copies the 128 entries: -1 without an answer buffer; the needed length (18432), copying
    // nothing, when the destination is shorter; else 0.
    int32_t CopyPartitionEntries(void* destination, size_t destinationLength) const;
};
