#pragma once
// The Virtual Disk Service, narrowed to what the product calls: loading the service, walking its
// software providers, packs, disks and volumes, a disk's extents and partitions, changing a
// partition's type and attributes, the file system of a partition, cleaning a disk, shrinking a volume
// and waiting for such an operation. Methods answer HRESULTs; strings and arrays the service hands out
// are freed with CoTaskMemFree.
#include <cstddef>

#include "platform/win/WinCom.h"

// HRESULTs of the service the product tells apart.
constexpr HRESULT VDS_E_PROVIDER_FAILURE = static_cast<HRESULT>(0x80042402);
constexpr HRESULT VDS_E_OBJECT_NOT_FOUND = static_cast<HRESULT>(0x80042405);
constexpr HRESULT VDS_E_SHRINK_SIZE_LESS_THAN_MIN = static_cast<HRESULT>(0x80042573);
constexpr HRESULT VDS_E_SHRINK_SIZE_TOO_BIG = static_cast<HRESULT>(0x80042574);

enum VDS_PARTITION_STYLE : uint32_t {
    VDS_PST_UNKNOWN = 0,
    VDS_PST_MBR = 1,
    VDS_PST_GPT = 2,
};

enum VDS_OBJECT_TYPE : uint32_t {
    VDS_OT_UNKNOWN = 0,
    VDS_OT_PROVIDER = 1,
    VDS_OT_PACK = 10,
    VDS_OT_VOLUME = 11,
    VDS_OT_DISK = 13,
};

// Provider kinds QueryProviders lists.
constexpr DWORD VDS_QUERY_SOFTWARE_PROVIDERS = 0x1;

// Disk flags.
constexpr ULONG VDS_DF_SYSTEM_DISK = 0x80;
constexpr ULONG VDS_DF_BOOT_DISK = 0x100;
constexpr ULONG VDS_DF_PAGEFILE_DISK = 0x200;
constexpr ULONG VDS_DF_HIBERNATIONFILE_DISK = 0x400;
constexpr ULONG VDS_DF_CRASHDUMP_DISK = 0x800;
constexpr ULONG VDS_DF_DYNAMIC = 0x2000;
constexpr ULONG VDS_DF_BOOT_FROM_DISK = 0x4000;

// Volume flags.
constexpr ULONG VDS_VF_SYSTEM_VOLUME = 0x1;
constexpr ULONG VDS_VF_BOOT_VOLUME = 0x2;
constexpr ULONG VDS_VF_HIDDEN = 0x10;
constexpr ULONG VDS_VF_PAGEFILE = 0x80;
constexpr ULONG VDS_VF_HIBERNATION = 0x100;
constexpr ULONG VDS_VF_CRASHDUMP = 0x200;

enum VDS_DISK_EXTENT_TYPE : uint32_t {
    VDS_DET_UNKNOWN = 0,
    VDS_DET_FREE = 1,
    VDS_DET_DATA = 2,
    VDS_DET_OEM = 3,
    VDS_DET_ESP = 4,
    VDS_DET_MSR = 5,
    VDS_DET_LDM = 6,
    VDS_DET_UNUSABLE = 0x7FFF,
};

struct VDS_DISK_EXTENT {
    GUID diskId;
    VDS_DISK_EXTENT_TYPE type;
    ULONGLONG ullOffset;
    ULONGLONG ullSize;
    GUID volumeId;
    GUID plexId;
    ULONG memberIdx;
};
static_assert(sizeof(VDS_DISK_EXTENT) == 80);
static_assert(offsetof(VDS_DISK_EXTENT, type) == 16);
static_assert(offsetof(VDS_DISK_EXTENT, ullOffset) == 24);
static_assert(offsetof(VDS_DISK_EXTENT, ullSize) == 32);
static_assert(offsetof(VDS_DISK_EXTENT, volumeId) == 40);
static_assert(offsetof(VDS_DISK_EXTENT, memberIdx) == 72);

struct VDS_DISK_PROP {
    GUID id;
    uint32_t status;
    uint32_t ReserveMode;
    uint32_t health;
    DWORD dwDeviceType;
    DWORD dwMediaType;
    ULONGLONG ullSize;
    ULONG ulBytesPerSector;
    ULONG ulSectorsPerTrack;
    ULONG ulTracksPerCylinder;
    ULONG ulFlags;
    uint32_t BusType;
    VDS_PARTITION_STYLE PartitionStyle;
    union {
        DWORD dwSignature;
        GUID DiskGuid;
    };
    LPWSTR pwszDiskAddress;
    LPWSTR pwszName;
    LPWSTR pwszFriendlyName;
    LPWSTR pwszAdaptorName;
    LPWSTR pwszDevicePath;
};
static_assert(offsetof(VDS_DISK_PROP, ullSize) == 40);
static_assert(offsetof(VDS_DISK_PROP, ulFlags) == 60);
static_assert(offsetof(VDS_DISK_PROP, PartitionStyle) == 68);
static_assert(offsetof(VDS_DISK_PROP, dwSignature) == 72);
static_assert(offsetof(VDS_DISK_PROP, pwszDiskAddress) == 88);
static_assert(sizeof(VDS_DISK_PROP) == 128);

struct VDS_VOLUME_PROP {
    GUID id;
    uint32_t type;
    uint32_t status;
    uint32_t health;
    uint32_t TransitionState;
    ULONGLONG ullSize;
    ULONG ulFlags;
    uint32_t RecommendedFileSystemType;
    LPWSTR pwszName;
};
static_assert(offsetof(VDS_VOLUME_PROP, ullSize) == 32);
static_assert(offsetof(VDS_VOLUME_PROP, ulFlags) == 40);
static_assert(offsetof(VDS_VOLUME_PROP, pwszName) == 48);
static_assert(sizeof(VDS_VOLUME_PROP) == 56);

struct VDS_PARTITION_INFO_MBR {
    BYTE partitionType;
    BOOLEAN bootIndicator;
    BOOLEAN recognizedPartition;
    DWORD hiddenSectors;
};
static_assert(sizeof(VDS_PARTITION_INFO_MBR) == 8);

struct VDS_PARTITION_INFO_GPT {
    GUID partitionType;
    GUID partitionId;
    ULONGLONG attributes;
    WCHAR name[36];
};
static_assert(offsetof(VDS_PARTITION_INFO_GPT, attributes) == 32);

struct VDS_PARTITION_PROP {
    VDS_PARTITION_STYLE PartitionStyle;
    ULONG ulFlags;
    ULONG ulPartitionNumber;
    ULONGLONG ullOffset;
    ULONGLONG ullSize;
    union {
        VDS_PARTITION_INFO_MBR Mbr;
        VDS_PARTITION_INFO_GPT Gpt;
    };
};
static_assert(offsetof(VDS_PARTITION_PROP, ullOffset) == 16);
static_assert(offsetof(VDS_PARTITION_PROP, ullSize) == 24);
static_assert(offsetof(VDS_PARTITION_PROP, Mbr) == 32);

struct VDS_FILE_SYSTEM_PROP {
    uint32_t type;
    GUID volumeId;
    ULONG ulFlags;
    ULONGLONG ullTotalAllocationUnits;
    ULONGLONG ullAvailableAllocationUnits;
    ULONG ulAllocationUnitSize;
    LPWSTR pwszLabel;
};
static_assert(offsetof(VDS_FILE_SYSTEM_PROP, ullTotalAllocationUnits) == 24);
static_assert(offsetof(VDS_FILE_SYSTEM_PROP, ulAllocationUnitSize) == 40);
static_assert(offsetof(VDS_FILE_SYSTEM_PROP, pwszLabel) == 48);

struct CHANGE_ATTRIBUTES_PARAMETERS {
    VDS_PARTITION_STYLE style;
    union {
        struct {
            BOOLEAN bootIndicator;
        } MbrPartInfo;
        struct {
            ULONGLONG attributes;
        } GptPartInfo;
    };
};
static_assert(offsetof(CHANGE_ATTRIBUTES_PARAMETERS, GptPartInfo) == 8);

struct CHANGE_PARTITION_TYPE_PARAMETERS {
    VDS_PARTITION_STYLE style;
    union {
        struct {
            BYTE partitionType;
        } MbrPartInfo;
        struct {
            GUID partitionType;
        } GptPartInfo;
    };
};
static_assert(offsetof(CHANGE_PARTITION_TYPE_PARAMETERS, GptPartInfo) == 4);

enum VDS_ASYNC_OUTPUT_TYPE : uint32_t {
    VDS_ASYNCOUT_UNKNOWN = 0,
    VDS_ASYNCOUT_SHRINKVOLUME = 13,
    VDS_ASYNCOUT_CLEAN = 16,
};

struct VDS_ASYNC_OUTPUT {
    VDS_ASYNC_OUTPUT_TYPE type;
    union {
        struct {
            ULONGLONG ullReclaimedBytes;
        } sv;
        BYTE raw[24];
    };
};
static_assert(offsetof(VDS_ASYNC_OUTPUT, sv) == 8);

// ---- interfaces ----

class IVdsAsync : public IUnknown {
public:
    // Blocks until the operation ends; hrResult is the operation's own result.
    virtual HRESULT Wait(HRESULT* hrResult, VDS_ASYNC_OUTPUT* output) = 0;

protected:
    ~IVdsAsync() = default;
};

class IEnumVdsObject : public IUnknown {
public:
    // S_OK with count objects, S_FALSE (1) when fewer were left.
    virtual HRESULT Next(ULONG count, IUnknown** objects, ULONG* fetched) = 0;

protected:
    ~IEnumVdsObject() = default;
};

class IVdsService : public IUnknown {
public:
    virtual HRESULT WaitForServiceReady() = 0;
    virtual HRESULT QueryProviders(DWORD queryFlags, IEnumVdsObject** providers) = 0;
    virtual HRESULT GetObject(GUID id, VDS_OBJECT_TYPE type, IUnknown** object) = 0;
    virtual HRESULT Refresh() = 0;

protected:
    ~IVdsService() = default;
};

class IVdsServiceLoader : public IUnknown {
public:
    // machineName null or empty: the local machine.
    virtual HRESULT LoadService(LPWSTR machineName, IVdsService** service) = 0;

protected:
    ~IVdsServiceLoader() = default;
};

class IVdsProvider : public IUnknown {
protected:
    ~IVdsProvider() = default;
};

class IVdsSwProvider : public IUnknown {
public:
    virtual HRESULT QueryPacks(IEnumVdsObject** packs) = 0;

protected:
    ~IVdsSwProvider() = default;
};

class IVdsPack : public IUnknown {
public:
    virtual HRESULT QueryDisks(IEnumVdsObject** disks) = 0;
    virtual HRESULT QueryVolumes(IEnumVdsObject** volumes) = 0;

protected:
    ~IVdsPack() = default;
};

class IVdsDisk : public IUnknown {
public:
    virtual HRESULT GetProperties(VDS_DISK_PROP* properties) = 0;
    // The extents in disk order, in an array the caller frees with CoTaskMemFree.
    virtual HRESULT QueryExtents(VDS_DISK_EXTENT** extents, LONG* count) = 0;

protected:
    ~IVdsDisk() = default;
};

class IVdsAdvancedDisk : public IUnknown {
public:
    virtual HRESULT GetPartitionProperties(ULONGLONG offset, VDS_PARTITION_PROP* properties) = 0;
    virtual HRESULT ChangeAttributes(ULONGLONG offset, CHANGE_ATTRIBUTES_PARAMETERS* parameters) = 0;
    virtual HRESULT Clean(BOOL force, BOOL forceOem, BOOL fullClean, IVdsAsync** async) = 0;

protected:
    ~IVdsAdvancedDisk() = default;
};

class IVdsAdvancedDisk2 : public IUnknown {
public:
    virtual HRESULT ChangePartitionType(ULONGLONG offset, BOOL force,
                                        CHANGE_PARTITION_TYPE_PARAMETERS* parameters) = 0;

protected:
    ~IVdsAdvancedDisk2() = default;
};

class IVdsDiskPartitionMF : public IUnknown {
public:
    virtual HRESULT GetPartitionFileSystemProperties(ULONGLONG offset, VDS_FILE_SYSTEM_PROP* properties) = 0;

protected:
    ~IVdsDiskPartitionMF() = default;
};

class IVdsVolume : public IUnknown {
public:
    virtual HRESULT GetProperties(VDS_VOLUME_PROP* properties) = 0;

protected:
    ~IVdsVolume() = default;
};

class IVdsVolumeShrink : public IUnknown {
public:
    virtual HRESULT Shrink(ULONGLONG desiredBytes, ULONGLONG minBytes, IVdsAsync** async) = 0;

protected:
    ~IVdsVolumeShrink() = default;
};

// The class that loads the service, and the interface ids of the narrowed surface.
inline constexpr CLSID CLSID_VdsLoader = {
    0x9C38ED61, 0xD565, 0x4728, {0xAE, 0xEE, 0xC8, 0x09, 0x52, 0xF0, 0xEC, 0xDE}};
inline constexpr IID IID_IVdsServiceLoader = {
    0xE0393303, 0x90D4, 0x4A97, {0xAB, 0x71, 0xE9, 0xB6, 0x71, 0xEE, 0x27, 0x29}};
inline constexpr IID IID_IVdsService = {
    0x0818A8EF, 0x9BA9, 0x40D8, {0xA6, 0xF9, 0xE2, 0x28, 0x33, 0xCC, 0x77, 0x1E}};
inline constexpr IID IID_IEnumVdsObject = {
    0x118610B7, 0x8D94, 0x4030, {0xB5, 0xB8, 0x50, 0x08, 0x89, 0x78, 0x8E, 0x4E}};
inline constexpr IID IID_IVdsProvider = {
    0x10C5E575, 0x7984, 0x4E81, {0xA5, 0x6B, 0x43, 0x1F, 0x5F, 0x92, 0xAE, 0x42}};
inline constexpr IID IID_IVdsSwProvider = {
    0x9AA58360, 0xCE33, 0x4F92, {0xB6, 0x58, 0xED, 0x24, 0xB1, 0x44, 0x25, 0xB8}};
inline constexpr IID IID_IVdsPack = {
    0x3B69D7F5, 0x9D94, 0x4648, {0x91, 0xCA, 0x79, 0x93, 0x9B, 0xA2, 0x63, 0xBF}};
inline constexpr IID IID_IVdsDisk = {
    0x07E5C822, 0xF00C, 0x47A1, {0x8F, 0xCE, 0xB2, 0x44, 0xDA, 0x56, 0xFD, 0x06}};
inline constexpr IID IID_IVdsAdvancedDisk = {
    0x6E6F6B40, 0x977C, 0x4069, {0xBD, 0xDD, 0xAC, 0x71, 0x00, 0x59, 0xF8, 0xC0}};
inline constexpr IID IID_IVdsAdvancedDisk2 = {
    0x9723F420, 0x9355, 0x42DE, {0xAB, 0x66, 0xE3, 0x1B, 0xB1, 0x5B, 0xEE, 0xAC}};
inline constexpr IID IID_IVdsDiskPartitionMF = {
    0x538684E0, 0xBA3D, 0x4BC0, {0xAC, 0xA9, 0x16, 0x4A, 0xFF, 0x85, 0xC2, 0xA9}};
inline constexpr IID IID_IVdsVolume = {
    0x88306BB2, 0xE71F, 0x478C, {0x86, 0xA2, 0x79, 0xDA, 0x20, 0x0A, 0x0F, 0x11}};
inline constexpr IID IID_IVdsVolumeShrink = {
    0xD68168C9, 0x82A2, 0x4F85, {0xB6, 0xE9, 0x74, 0x70, 0x7C, 0x49, 0xA5, 0x8F}};
inline constexpr IID IID_IVdsAsync = {
    0xD5D23B6D, 0x5A55, 0x4492, {0x98, 0x89, 0x39, 0x7A, 0x3C, 0x2D, 0x2D, 0xBC}};
