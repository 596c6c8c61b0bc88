#pragma once
// Records of the Windows storage requests (SCSI address, geometry, storage properties, ATA
// pass-through, capacity, device number, disk cache, drive layout) and of the miniport request
// header, in the layout of 64-bit Windows. Sixteen-bit characters are char16_t.
#include <cstddef>
#include <cstdint>

#include "platform/win/WinTypes.h"

// ---- IOCTL_SCSI_MINIPORT ----

struct SRB_IO_CONTROL {
    ULONG HeaderLength;
    UCHAR Signature[8];
    ULONG Timeout;
    ULONG ControlCode;
    ULONG ReturnCode;
    ULONG Length;
};
static_assert(sizeof(SRB_IO_CONTROL) == 28);
static_assert(offsetof(SRB_IO_CONTROL, Signature) == 4);
static_assert(offsetof(SRB_IO_CONTROL, Timeout) == 12);
static_assert(offsetof(SRB_IO_CONTROL, ControlCode) == 16);
static_assert(offsetof(SRB_IO_CONTROL, ReturnCode) == 20);
static_assert(offsetof(SRB_IO_CONTROL, Length) == 24);

// ---- IOCTL_SCSI_GET_ADDRESS ----

struct SCSI_ADDRESS {
    ULONG Length;
    UCHAR PortNumber;
    UCHAR PathId;
    UCHAR TargetId;
    UCHAR Lun;
};
static_assert(sizeof(SCSI_ADDRESS) == 8);
static_assert(offsetof(SCSI_ADDRESS, PortNumber) == 4);
static_assert(offsetof(SCSI_ADDRESS, Lun) == 7);

// ---- IOCTL_DISK_GET_DRIVE_GEOMETRY_EX ----

enum MEDIA_TYPE : uint32_t {
    RemovableMedia = 11,
    FixedMedia = 12,
};

struct DISK_GEOMETRY {
    LARGE_INTEGER Cylinders;
    MEDIA_TYPE MediaType;
    DWORD TracksPerCylinder;
    DWORD SectorsPerTrack;
    DWORD BytesPerSector;
};
static_assert(sizeof(DISK_GEOMETRY) == 24);
static_assert(offsetof(DISK_GEOMETRY, MediaType) == 8);
static_assert(offsetof(DISK_GEOMETRY, BytesPerSector) == 20);

struct DISK_GEOMETRY_EX {
    DISK_GEOMETRY Geometry;
    LARGE_INTEGER DiskSize;
    BYTE Data[1];
};
static_assert(sizeof(DISK_GEOMETRY_EX) == 40);
static_assert(offsetof(DISK_GEOMETRY_EX, DiskSize) == 24);
static_assert(offsetof(DISK_GEOMETRY_EX, Data) == 32);

// The geometry answer's Data area: the partition information, then the detection information at
// Data + SizeOfPartitionInfo.
struct DISK_PARTITION_INFO {
    DWORD SizeOfPartitionInfo;
    DWORD PartitionStyle; // PARTITION_STYLE
    union {
        struct {
            DWORD Signature;
            DWORD CheckSum;
        } Mbr;
        struct {
            GUID DiskId;
        } Gpt;
    };
};
static_assert(sizeof(DISK_PARTITION_INFO) == 24);
static_assert(offsetof(DISK_PARTITION_INFO, Mbr) == 8);

struct DISK_INT13_INFO {
    WORD DriveSelect;
    DWORD MaxCylinders;
    WORD SectorsPerTrack;
    WORD MaxHeads;
    WORD NumberDrives;
};
static_assert(sizeof(DISK_INT13_INFO) == 16);

struct DISK_EX_INT13_INFO {
    WORD ExBufferSize;
    WORD ExFlags;
    DWORD ExCylinders;
    DWORD ExHeads;
    DWORD ExSectorsPerTrack;
    uint64_t ExSectorsPerDrive;
    WORD ExSectorSize;
    WORD ExReserved;
};
static_assert(sizeof(DISK_EX_INT13_INFO) == 32);
static_assert(offsetof(DISK_EX_INT13_INFO, ExSectorsPerDrive) == 16);

enum DETECTION_TYPE : uint32_t {
    DetectNone = 0,
    DetectInt13 = 1,
    DetectExInt13 = 2,
};

struct DISK_DETECTION_INFO {
    DWORD SizeOfDetectInfo;
    DETECTION_TYPE DetectionType;
    union {
        struct {
            DISK_INT13_INFO Int13;
            DISK_EX_INT13_INFO ExInt13;
        };
    };
};
static_assert(sizeof(DISK_DETECTION_INFO) == 56);
static_assert(offsetof(DISK_DETECTION_INFO, Int13) == 8);
static_assert(offsetof(DISK_DETECTION_INFO, ExInt13) == 24);

// The whole answer of IOCTL_DISK_GET_DRIVE_GEOMETRY_EX.
constexpr size_t kDiskGeometryExAnswerSize =
    offsetof(DISK_GEOMETRY_EX, Data) + sizeof(DISK_PARTITION_INFO) + sizeof(DISK_DETECTION_INFO);
static_assert(kDiskGeometryExAnswerSize == 112);

// ---- IOCTL_STORAGE_QUERY_PROPERTY ----

enum STORAGE_PROPERTY_ID : uint32_t {
    StorageDeviceProperty = 0,
    StorageAdapterProperty = 1,
    StorageDeviceIdProperty = 2,
    StorageDeviceUniqueIdProperty = 3,
    StorageDeviceWriteCacheProperty = 4,
    StorageMiniportProperty = 5,
    StorageAccessAlignmentProperty = 6,
    StorageDeviceSeekPenaltyProperty = 7,
    StorageDeviceTrimProperty = 8,
    StorageAdapterProtocolSpecificProperty = 49,
    StorageDeviceProtocolSpecificProperty = 50,
    StorageAdapterTemperatureProperty = 51,
    StorageDeviceTemperatureProperty = 52,
    StorageAdapterPhysicalTopologyProperty = 53,
    StorageDevicePhysicalTopologyProperty = 54,
};

enum STORAGE_QUERY_TYPE : uint32_t {
    PropertyStandardQuery = 0,
    PropertyExistsQuery = 1,
};

struct STORAGE_PROPERTY_QUERY {
    STORAGE_PROPERTY_ID PropertyId;
    STORAGE_QUERY_TYPE QueryType;
    BYTE AdditionalParameters[1];
};
static_assert(sizeof(STORAGE_PROPERTY_QUERY) == 12);
static_assert(offsetof(STORAGE_PROPERTY_QUERY, QueryType) == 4);
static_assert(offsetof(STORAGE_PROPERTY_QUERY, AdditionalParameters) == 8);

struct STORAGE_DESCRIPTOR_HEADER {
    DWORD Version;
    DWORD Size;
};
static_assert(sizeof(STORAGE_DESCRIPTOR_HEADER) == 8);

enum STORAGE_BUS_TYPE : uint32_t {
    BusTypeUnknown = 0,
    BusTypeScsi = 1,
    BusTypeAtapi = 2,
    BusTypeAta = 3,
    BusType1394 = 4,
    BusTypeSsa = 5,
    BusTypeFibre = 6,
    BusTypeUsb = 7,
    BusTypeRAID = 8,
    BusTypeiScsi = 9,
    BusTypeSas = 10,
    BusTypeSata = 11,
    BusTypeSd = 12,
    BusTypeMmc = 13,
    BusTypeVirtual = 14,
    BusTypeFileBackedVirtual = 15,
    BusTypeSpaces = 16,
    BusTypeNvme = 17,
    BusTypeSCM = 18,
    BusTypeUfs = 19,
};

struct STORAGE_DEVICE_DESCRIPTOR {
    DWORD Version;
    DWORD Size;
    BYTE DeviceType;
    BYTE DeviceTypeModifier;
    BOOLEAN RemovableMedia;
    BOOLEAN CommandQueueing;
    DWORD VendorIdOffset;
    DWORD ProductIdOffset;
    DWORD ProductRevisionOffset;
    DWORD SerialNumberOffset;
    STORAGE_BUS_TYPE BusType;
    DWORD RawPropertiesLength;
    BYTE RawDeviceProperties[1];
};
static_assert(sizeof(STORAGE_DEVICE_DESCRIPTOR) == 40);
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, DeviceType) == 8);
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, RemovableMedia) == 10);
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, VendorIdOffset) == 12);
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, SerialNumberOffset) == 24);
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType) == 28);
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, RawPropertiesLength) == 32);
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, RawDeviceProperties) == 36);

struct STORAGE_ADAPTER_DESCRIPTOR {
    DWORD Version;
    DWORD Size;
    DWORD MaximumTransferLength;
    DWORD MaximumPhysicalPages;
    DWORD AlignmentMask;
    BOOLEAN AdapterUsesPio;
    BOOLEAN AdapterScansDown;
    BOOLEAN CommandQueueing;
    BOOLEAN AcceleratedTransfer;
    BYTE BusType;
    WORD BusMajorVersion;
    WORD BusMinorVersion;
    BYTE SrbType;
    BYTE AddressType;
};
static_assert(sizeof(STORAGE_ADAPTER_DESCRIPTOR) == 32);
static_assert(offsetof(STORAGE_ADAPTER_DESCRIPTOR, AdapterUsesPio) == 20);
static_assert(offsetof(STORAGE_ADAPTER_DESCRIPTOR, BusType) == 24);
static_assert(offsetof(STORAGE_ADAPTER_DESCRIPTOR, BusMajorVersion) == 26);
static_assert(offsetof(STORAGE_ADAPTER_DESCRIPTOR, BusMinorVersion) == 28);
static_assert(offsetof(STORAGE_ADAPTER_DESCRIPTOR, SrbType) == 30);
static_assert(offsetof(STORAGE_ADAPTER_DESCRIPTOR, AddressType) == 31);

struct DEVICE_SEEK_PENALTY_DESCRIPTOR {
    DWORD Version;
    DWORD Size;
    BOOLEAN IncursSeekPenalty;
};
static_assert(sizeof(DEVICE_SEEK_PENALTY_DESCRIPTOR) == 12);
static_assert(offsetof(DEVICE_SEEK_PENALTY_DESCRIPTOR, IncursSeekPenalty) == 8);

struct STORAGE_ACCESS_ALIGNMENT_DESCRIPTOR {
    DWORD Version;
    DWORD Size;
    DWORD BytesPerCacheLine;
    DWORD BytesOffsetForCacheAlignment;
    DWORD BytesPerLogicalSector;
    DWORD BytesPerPhysicalSector;
    DWORD BytesOffsetForSectorAlignment;
};
static_assert(sizeof(STORAGE_ACCESS_ALIGNMENT_DESCRIPTOR) == 28);
static_assert(offsetof(STORAGE_ACCESS_ALIGNMENT_DESCRIPTOR, BytesPerLogicalSector) == 16);
static_assert(offsetof(STORAGE_ACCESS_ALIGNMENT_DESCRIPTOR, BytesPerPhysicalSector) == 20);

enum STORAGE_PROTOCOL_TYPE : uint32_t {
    ProtocolTypeUnknown = 0,
    ProtocolTypeScsi = 1,
    ProtocolTypeAta = 2,
    ProtocolTypeNvme = 3,
    ProtocolTypeSd = 4,
    ProtocolTypeUfs = 5,
};

enum STORAGE_PROTOCOL_NVME_DATA_TYPE : uint32_t {
    NVMeDataTypeUnknown = 0,
    NVMeDataTypeIdentify = 1,
    NVMeDataTypeLogPage = 2,
    NVMeDataTypeFeature = 3,
};

constexpr DWORD NVME_IDENTIFY_CNS_CONTROLLER = 1;

struct STORAGE_PROTOCOL_SPECIFIC_DATA {
    STORAGE_PROTOCOL_TYPE ProtocolType;
    DWORD DataType;
    DWORD ProtocolDataRequestValue;
    DWORD ProtocolDataRequestSubValue;
    DWORD ProtocolDataOffset;
    DWORD ProtocolDataLength;
    DWORD FixedProtocolReturnData;
    DWORD ProtocolDataRequestSubValue2;
    DWORD ProtocolDataRequestSubValue3;
    DWORD ProtocolDataRequestSubValue4;
};
static_assert(sizeof(STORAGE_PROTOCOL_SPECIFIC_DATA) == 40);
static_assert(offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataOffset) == 16);
static_assert(offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataLength) == 20);

struct STORAGE_PROTOCOL_DATA_DESCRIPTOR {
    DWORD Version;
    DWORD Size;
    STORAGE_PROTOCOL_SPECIFIC_DATA ProtocolSpecificData;
};
static_assert(sizeof(STORAGE_PROTOCOL_DATA_DESCRIPTOR) == 48);
static_assert(offsetof(STORAGE_PROTOCOL_DATA_DESCRIPTOR, ProtocolSpecificData) == 8);

// Physical topology (StorageAdapterPhysicalTopologyProperty, StorageDevicePhysicalTopologyProperty):
// a node's adapter and device data offsets count from the start of the node.
struct STORAGE_PHYSICAL_NODE_DATA {
    DWORD NodeId;
    DWORD AdapterCount;
    DWORD AdapterDataLength;
    DWORD AdapterDataOffset;
    DWORD DeviceCount;
    DWORD DeviceDataLength;
    DWORD DeviceDataOffset;
    DWORD Reserved[3];
};
static_assert(sizeof(STORAGE_PHYSICAL_NODE_DATA) == 40);
static_assert(offsetof(STORAGE_PHYSICAL_NODE_DATA, DeviceCount) == 16);
static_assert(offsetof(STORAGE_PHYSICAL_NODE_DATA, DeviceDataOffset) == 24);

struct STORAGE_PHYSICAL_TOPOLOGY_DESCRIPTOR {
    DWORD Version;
    DWORD Size;
    DWORD NodeCount;
    DWORD Reserved;
    STORAGE_PHYSICAL_NODE_DATA Node[1];
};
static_assert(sizeof(STORAGE_PHYSICAL_TOPOLOGY_DESCRIPTOR) == 56);
static_assert(offsetof(STORAGE_PHYSICAL_TOPOLOGY_DESCRIPTOR, NodeCount) == 8);
static_assert(offsetof(STORAGE_PHYSICAL_TOPOLOGY_DESCRIPTOR, Node) == 16);

struct STORAGE_PHYSICAL_ADAPTER_DATA {
    DWORD AdapterId;
    DWORD HealthStatus;
    STORAGE_PROTOCOL_TYPE CommandProtocol;
    DWORD SpecVersion;
    BYTE Vendor[8];
    BYTE Model[40];
    BYTE FirmwareRevision[16];
    BYTE PhysicalLocation[32];
    BOOLEAN ExpanderConnected;
    BYTE Reserved0[3];
    DWORD Reserved1[3];
};
static_assert(sizeof(STORAGE_PHYSICAL_ADAPTER_DATA) == 128);
static_assert(offsetof(STORAGE_PHYSICAL_ADAPTER_DATA, Vendor) == 16);
static_assert(offsetof(STORAGE_PHYSICAL_ADAPTER_DATA, Model) == 24);
static_assert(offsetof(STORAGE_PHYSICAL_ADAPTER_DATA, FirmwareRevision) == 64);
static_assert(offsetof(STORAGE_PHYSICAL_ADAPTER_DATA, PhysicalLocation) == 80);

struct STORAGE_PHYSICAL_DEVICE_DATA {
    DWORD DeviceId;
    DWORD Role;
    DWORD HealthStatus;
    STORAGE_PROTOCOL_TYPE CommandProtocol;
    DWORD SpecVersion;
    DWORD FormFactor;
    BYTE Vendor[8];
    BYTE Model[40];
    BYTE FirmwareRevision[16];
    ULONGLONG Capacity; // in KiB
    BYTE PhysicalLocation[32];
    DWORD Reserved[2];
};
static_assert(sizeof(STORAGE_PHYSICAL_DEVICE_DATA) == 136);
static_assert(offsetof(STORAGE_PHYSICAL_DEVICE_DATA, Vendor) == 24);
static_assert(offsetof(STORAGE_PHYSICAL_DEVICE_DATA, Model) == 32);
static_assert(offsetof(STORAGE_PHYSICAL_DEVICE_DATA, FirmwareRevision) == 72);
static_assert(offsetof(STORAGE_PHYSICAL_DEVICE_DATA, Capacity) == 88);

// ---- IOCTL_ATA_PASS_THROUGH ----

constexpr USHORT ATA_FLAGS_DRDY_REQUIRED = 0x01;
constexpr USHORT ATA_FLAGS_DATA_IN = 0x02;
constexpr USHORT ATA_FLAGS_DATA_OUT = 0x04;
constexpr USHORT ATA_FLAGS_48BIT_COMMAND = 0x08;
constexpr USHORT ATA_FLAGS_USE_DMA = 0x10;
constexpr USHORT ATA_FLAGS_NO_MULTIPLE = 0x20;

constexpr UCHAR ATA_COMMAND_IDENTIFY_DEVICE = 0xEC;

struct ATA_PASS_THROUGH_EX {
    USHORT Length;
    USHORT AtaFlags;
    UCHAR PathId;
    UCHAR TargetId;
    UCHAR Lun;
    UCHAR ReservedAsUchar;
    ULONG DataTransferLength;
    ULONG TimeOutValue;
    ULONG ReservedAsUlong;
    // ULONG_PTR on 64-bit Windows.
    uint64_t DataBufferOffset;
    UCHAR PreviousTaskFile[8];
    UCHAR CurrentTaskFile[8];
};
static_assert(sizeof(ATA_PASS_THROUGH_EX) == 48);
static_assert(offsetof(ATA_PASS_THROUGH_EX, AtaFlags) == 2);
static_assert(offsetof(ATA_PASS_THROUGH_EX, PathId) == 4);
static_assert(offsetof(ATA_PASS_THROUGH_EX, DataTransferLength) == 8);
static_assert(offsetof(ATA_PASS_THROUGH_EX, TimeOutValue) == 12);
static_assert(offsetof(ATA_PASS_THROUGH_EX, DataBufferOffset) == 24);
static_assert(offsetof(ATA_PASS_THROUGH_EX, PreviousTaskFile) == 32);
static_assert(offsetof(ATA_PASS_THROUGH_EX, CurrentTaskFile) == 40);

// ---- IOCTL_STORAGE_READ_CAPACITY ----

struct STORAGE_READ_CAPACITY {
    ULONG Version;
    ULONG Size;
    ULONG BlockLength;
    LARGE_INTEGER NumberOfBlocks;
    LARGE_INTEGER DiskLength;
};
static_assert(sizeof(STORAGE_READ_CAPACITY) == 32);
static_assert(offsetof(STORAGE_READ_CAPACITY, BlockLength) == 8);
static_assert(offsetof(STORAGE_READ_CAPACITY, NumberOfBlocks) == 16);
static_assert(offsetof(STORAGE_READ_CAPACITY, DiskLength) == 24);

// ---- IOCTL_STORAGE_GET_DEVICE_NUMBER ----

struct STORAGE_DEVICE_NUMBER {
    DWORD DeviceType;
    DWORD DeviceNumber;
    DWORD PartitionNumber;
};
static_assert(sizeof(STORAGE_DEVICE_NUMBER) == 12);
static_assert(offsetof(STORAGE_DEVICE_NUMBER, DeviceNumber) == 4);
static_assert(offsetof(STORAGE_DEVICE_NUMBER, PartitionNumber) == 8);

// ---- disk cache ----

enum DISK_CACHE_RETENTION_PRIORITY : uint32_t {
    EqualPriority = 0,
    KeepPrefetchedData = 1,
    KeepReadData = 2,
};

struct DISK_CACHE_INFORMATION {
    BOOLEAN ParametersSavable;
    BOOLEAN ReadCacheEnabled;
    BOOLEAN WriteCacheEnabled;
    DISK_CACHE_RETENTION_PRIORITY ReadRetentionPriority;
    DISK_CACHE_RETENTION_PRIORITY WriteRetentionPriority;
    WORD DisablePrefetchTransferLength;
    BOOLEAN PrefetchScalar;
    union {
        struct {
            WORD Minimum;
            WORD Maximum;
            WORD MaximumBlocks;
        } ScalarPrefetch;
        struct {
            WORD Minimum;
            WORD Maximum;
        } BlockPrefetch;
    };
};
static_assert(sizeof(DISK_CACHE_INFORMATION) == 24);
static_assert(offsetof(DISK_CACHE_INFORMATION, WriteCacheEnabled) == 2);
static_assert(offsetof(DISK_CACHE_INFORMATION, ReadRetentionPriority) == 4);
static_assert(offsetof(DISK_CACHE_INFORMATION, WriteRetentionPriority) == 8);
static_assert(offsetof(DISK_CACHE_INFORMATION, DisablePrefetchTransferLength) == 12);
static_assert(offsetof(DISK_CACHE_INFORMATION, PrefetchScalar) == 14);
static_assert(offsetof(DISK_CACHE_INFORMATION, ScalarPrefetch) == 16);

enum DISK_CACHE_STATE : uint32_t {
    DiskCacheNormal = 0,
    DiskCacheWriteThroughNotSupported = 1,
    DiskCacheModifyUnsuccessful = 2,
};

struct DISK_CACHE_SETTING {
    DWORD Version;
    DISK_CACHE_STATE State;
    BOOLEAN IsPowerProtected;
};
static_assert(sizeof(DISK_CACHE_SETTING) == 12);
static_assert(offsetof(DISK_CACHE_SETTING, State) == 4);
static_assert(offsetof(DISK_CACHE_SETTING, IsPowerProtected) == 8);

// ---- IOCTL_DISK_GET_DRIVE_LAYOUT_EX ----

enum PARTITION_STYLE : uint32_t {
    PARTITION_STYLE_MBR = 0,
    PARTITION_STYLE_GPT = 1,
    PARTITION_STYLE_RAW = 2,
};

struct PARTITION_INFORMATION_MBR {
    BYTE PartitionType;
    BOOLEAN BootIndicator;
    BOOLEAN RecognizedPartition;
    DWORD HiddenSectors;
    GUID PartitionId;
};
static_assert(sizeof(PARTITION_INFORMATION_MBR) == 24);
static_assert(offsetof(PARTITION_INFORMATION_MBR, BootIndicator) == 1);
static_assert(offsetof(PARTITION_INFORMATION_MBR, HiddenSectors) == 4);
static_assert(offsetof(PARTITION_INFORMATION_MBR, PartitionId) == 8);

struct PARTITION_INFORMATION_GPT {
    GUID PartitionType;
    GUID PartitionId;
    DWORD64 Attributes;
    char16_t Name[36];
};
static_assert(sizeof(PARTITION_INFORMATION_GPT) == 112);
static_assert(offsetof(PARTITION_INFORMATION_GPT, PartitionId) == 16);
static_assert(offsetof(PARTITION_INFORMATION_GPT, Attributes) == 32);
static_assert(offsetof(PARTITION_INFORMATION_GPT, Name) == 40);

struct PARTITION_INFORMATION_EX {
    PARTITION_STYLE PartitionStyle;
    LARGE_INTEGER StartingOffset;
    LARGE_INTEGER PartitionLength;
    DWORD PartitionNumber;
    BOOLEAN RewritePartition;
    BOOLEAN IsServicePartition;
    union {
        PARTITION_INFORMATION_MBR Mbr;
        PARTITION_INFORMATION_GPT Gpt;
    };
};
static_assert(sizeof(PARTITION_INFORMATION_EX) == 144);
static_assert(offsetof(PARTITION_INFORMATION_EX, StartingOffset) == 8);
static_assert(offsetof(PARTITION_INFORMATION_EX, PartitionLength) == 16);
static_assert(offsetof(PARTITION_INFORMATION_EX, PartitionNumber) == 24);
static_assert(offsetof(PARTITION_INFORMATION_EX, RewritePartition) == 28);
static_assert(offsetof(PARTITION_INFORMATION_EX, Mbr) == 32);
static_assert(offsetof(PARTITION_INFORMATION_EX, Gpt) == 32);

struct DRIVE_LAYOUT_INFORMATION_MBR {
    DWORD Signature;
    DWORD CheckSum;
};
static_assert(sizeof(DRIVE_LAYOUT_INFORMATION_MBR) == 8);

struct DRIVE_LAYOUT_INFORMATION_GPT {
    GUID DiskId;
    LARGE_INTEGER StartingUsableOffset;
    LARGE_INTEGER UsableLength;
    DWORD MaxPartitionCount;
};
static_assert(sizeof(DRIVE_LAYOUT_INFORMATION_GPT) == 40);
static_assert(offsetof(DRIVE_LAYOUT_INFORMATION_GPT, StartingUsableOffset) == 16);
static_assert(offsetof(DRIVE_LAYOUT_INFORMATION_GPT, MaxPartitionCount) == 32);

struct DRIVE_LAYOUT_INFORMATION_EX {
    DWORD PartitionStyle;
    DWORD PartitionCount;
    union {
        DRIVE_LAYOUT_INFORMATION_MBR Mbr;
        DRIVE_LAYOUT_INFORMATION_GPT Gpt;
    };
    PARTITION_INFORMATION_EX PartitionEntry[1];
};
static_assert(sizeof(DRIVE_LAYOUT_INFORMATION_EX) == 192);
static_assert(offsetof(DRIVE_LAYOUT_INFORMATION_EX, PartitionCount) == 4);
static_assert(offsetof(DRIVE_LAYOUT_INFORMATION_EX, Mbr) == 8);
static_assert(offsetof(DRIVE_LAYOUT_INFORMATION_EX, Gpt) == 8);
static_assert(offsetof(DRIVE_LAYOUT_INFORMATION_EX, PartitionEntry) == 48);

// Partition types the product looks for in a GPT layout.
inline constexpr GUID PARTITION_SYSTEM_GUID = {
    0xC12A7328, 0xF81F, 0x11D2, {0xBA, 0x4B, 0x00, 0xA0, 0xC9, 0x3E, 0xC9, 0x3B}};
inline constexpr GUID PARTITION_BASIC_DATA_GUID = {
    0xEBD0A0A2, 0xB9E5, 0x4433, {0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7}};
inline constexpr GUID PARTITION_MSFT_RESERVED_GUID = {
    0xE3C9E316, 0x0B5C, 0x4DB8, {0x81, 0x7D, 0xF9, 0x2D, 0xF0, 0x02, 0x15, 0xAE}};
inline constexpr GUID PARTITION_MSFT_RECOVERY_GUID = {
    0xDE94BBA4, 0x06D1, 0x4D40, {0xA1, 0x6A, 0xBF, 0xD5, 0x01, 0x79, 0xD6, 0xAC}};
inline constexpr GUID PARTITION_LDM_METADATA_GUID = {
    0x5808C8AA, 0x7E8F, 0x42E0, {0x85, 0xD2, 0xE1, 0xE9, 0x04, 0x34, 0xCF, 0xB3}};
inline constexpr GUID PARTITION_LDM_DATA_GUID = {
    0xAF9B60A0, 0x1431, 0x4F62, {0xBC, 0x68, 0x33, 0x11, 0x71, 0x4A, 0x69, 0xAD}};

// The Windows storage record, in its 64-bit layout; the sense data follow it in the same buffer.
struct SCSI_PASS_THROUGH_DIRECT {
    USHORT Length;
    UCHAR ScsiStatus;
    UCHAR PathId;
    UCHAR TargetId;
    UCHAR Lun;
    UCHAR CdbLength;
    UCHAR SenseInfoLength;
    UCHAR DataIn;
    ULONG DataTransferLength;
    ULONG TimeOutValue;
    PVOID DataBuffer;
    ULONG SenseInfoOffset;
    UCHAR Cdb[16];
};
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == 56);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, ScsiStatus) == 2);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, CdbLength) == 6);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataIn) == 8);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataTransferLength) == 12);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, TimeOutValue) == 16);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataBuffer) == 24);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, SenseInfoOffset) == 32);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, Cdb) == 36);

constexpr UCHAR SCSI_IOCTL_DATA_OUT = 0;
constexpr UCHAR SCSI_IOCTL_DATA_IN = 1;
constexpr UCHAR SCSI_IOCTL_DATA_UNSPECIFIED = 2;
