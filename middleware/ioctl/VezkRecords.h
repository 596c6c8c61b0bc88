#pragma once
// The request records of the driver's volume port ("OrvexVlp"): each is the SRB_IO_CONTROL header
// followed by the payload of one operation. A disk id is the 32-bit SCSI address word (path,
// target and LUN; the driver does not need the port byte).
#include <cstddef>
#include <cstdint>

#include "platform/win/WinStorage.h"

inline constexpr const char kVolumePortSignature[] = "OrvexVlp";

enum VolumePortControlCode : uint32_t {
    IOCTL_VOLPORT_CONCATENATE = 0x80000D01,
    IOCTL_VOLPORT_MIGRATION_STATUS = 0x80000D02,
    IOCTL_VOLPORT_SEPARATE = 0x80000D04,
    IOCTL_VOLPORT_GET_VEZK_INFO = 0x80000D06,
    IOCTL_VOLPORT_RESET_PERFORMANCE_COUNTERS = 0x80000D07,
    IOCTL_VOLPORT_GET_PERFORMANCE_COUNTERS = 0x80000D08,
    IOCTL_VOLPORT_VALID_FOR_CONCATENATE = 0x80000D09,
    IOCTL_VOLPORT_CLEAR_METADATA = 0x80000D0A,
    IOCTL_VOLPORT_GET_DISKS_INFO = 0x80000D0B,
    IOCTL_VOLPORT_PLATFORM_IS_SUPPORTED = 0x80000D12,
    IOCTL_VOLPORT_REGISTER_SHARED_EVENT = 0x80000D13,
    IOCTL_VOLPORT_GET_AEN_STATUS = 0x80000D14,
    IOCTL_VOLPORT_DISK_VALID_FOR_CONCATENATE = 0x80000D16,
    IOCTL_VOLPORT_GET_VEZK_INFO_EXT = 0x80000D18,
    IOCTL_VOLPORT_IS_FILE_CACHE_SUPPORTED = 0x80000D20,
};

struct VOLPORT_IOCTL_CONCATENATE {
    static constexpr const char* kRuntimeClassName = "struct VOLPORT_IOCTL_CONCATENATE";
    SRB_IO_CONTROL Header;
    uint32_t FastDiskId;
    uint32_t SlowDiskId;
    uint32_t Reserved;
    uint64_t FileCacheOffset;
    uint64_t FileCacheSize;
    // 2 when the caller's option is set, else 1.
    uint32_t Mode;
    // 0 unknown, 1 data on the fast disk, 2 data on the slow disk, 3 no data drive.
    uint32_t DataLocation;
};
static_assert(sizeof(VOLPORT_IOCTL_CONCATENATE) == 64);
static_assert(offsetof(VOLPORT_IOCTL_CONCATENATE, FastDiskId) == 28);
static_assert(offsetof(VOLPORT_IOCTL_CONCATENATE, SlowDiskId) == 32);
static_assert(offsetof(VOLPORT_IOCTL_CONCATENATE, FileCacheOffset) == 40);
static_assert(offsetof(VOLPORT_IOCTL_CONCATENATE, FileCacheSize) == 48);
static_assert(offsetof(VOLPORT_IOCTL_CONCATENATE, Mode) == 56);
static_assert(offsetof(VOLPORT_IOCTL_CONCATENATE, DataLocation) == 60);

struct VOLPORT_IOCTL_MIGRATION_STATUS {
    static constexpr const char* kRuntimeClassName = "struct VOLPORT_IOCTL_MIGRATION_STATUS";
    SRB_IO_CONTROL Header;
    int32_t Progress; // percent
};
static_assert(sizeof(VOLPORT_IOCTL_MIGRATION_STATUS) == 32);
static_assert(offsetof(VOLPORT_IOCTL_MIGRATION_STATUS, Progress) == 28);

struct VOLPORT_IOCTL_SEPARATE {
    static constexpr const char* kRuntimeClassName = "struct VOLPORT_IOCTL_SEPARATE";
    SRB_IO_CONTROL Header;
};
static_assert(sizeof(VOLPORT_IOCTL_SEPARATE) == 28);

// The whole answer, header included, is the pairing information; its words at 88 and 152 are the
// members' disk ids.
struct VOLPORT_IOCTL_GET_VEZK_INFO {
    static constexpr const char* kRuntimeClassName = "struct VOLPORT_IOCTL_GET_VEZK_INFO";
    SRB_IO_CONTROL Header;
    uint8_t Data[196];
};
static_assert(sizeof(VOLPORT_IOCTL_GET_VEZK_INFO) == 224);

struct VOLPORT_IOCTL_RESET_PERFORMANCE_COUNTERS {
    static constexpr const char* kRuntimeClassName = "struct VOLPORT_IOCTL_RESET_PERFORMANCE_COUNTERS";
    SRB_IO_CONTROL Header;
};
static_assert(sizeof(VOLPORT_IOCTL_RESET_PERFORMANCE_COUNTERS) == 28);

struct VOLPORT_IOCTL_GET_PERFORMANCE_COUNTERS {
    static constexpr const char* kRuntimeClassName = "struct VOLPORT_IOCTL_GET_PERFORMANCE_COUNTERS";
    SRB_IO_CONTROL Header;
    uint32_t Reserved;
    uint8_t Counters[144];
};
static_assert(sizeof(VOLPORT_IOCTL_GET_PERFORMANCE_COUNTERS) == 176);
static_assert(offsetof(VOLPORT_IOCTL_GET_PERFORMANCE_COUNTERS, Counters) == 32);

struct VOLPORT_IOCTL_VALID_FOR_CONCATENATE {
    static constexpr const char* kRuntimeClassName = "struct VOLPORT_IOCTL_VALID_FOR_CONCATENATE";
    SRB_IO_CONTROL Header;
    uint32_t FastDiskId;
    uint32_t SlowDiskId;
};
static_assert(sizeof(VOLPORT_IOCTL_VALID_FOR_CONCATENATE) == 36);
static_assert(offsetof(VOLPORT_IOCTL_VALID_FOR_CONCATENATE, SlowDiskId) == 32);

struct VOLPORT_IOCTL_CLEAR_METADATA {
    static constexpr const char* kRuntimeClassName = "struct VOLPORT_IOCTL_CLEAR_METADATA";
    SRB_IO_CONTROL Header;
    uint32_t DiskId;
};
static_assert(sizeof(VOLPORT_IOCTL_CLEAR_METADATA) == 32);
static_assert(offsetof(VOLPORT_IOCTL_CLEAR_METADATA, DiskId) == 28);

// Followed by the 64-byte disk records the buffer has room for.
struct VOLPORT_IOCTL_DISKS_INFO {
    static constexpr const char* kRuntimeClassName = "struct VOLPORT_IOCTL_DISKS_INFO";
    SRB_IO_CONTROL Header;
    // In: the records the buffer holds; out, with ReturnCode 1: the records needed.
    uint8_t NumberOfDisks;
    uint8_t Reserved[3];
};
static_assert(sizeof(VOLPORT_IOCTL_DISKS_INFO) == 32);
static_assert(offsetof(VOLPORT_IOCTL_DISKS_INFO, NumberOfDisks) == 28);

// One disk record of the disk list; its first word is the disk id.
struct VOLPORT_DISK_RECORD {
    uint8_t Bytes[64];
};
static_assert(sizeof(VOLPORT_DISK_RECORD) == 64);

struct VOLPORT_IOCTL_PLATFORM_IS_SUPPORTED {
    static constexpr const char* kRuntimeClassName = "struct VOLPORT_IOCTL_PLATFORM_IS_SUPPORTED";
    SRB_IO_CONTROL Header;
    uint32_t PlatformSupport;
};
static_assert(sizeof(VOLPORT_IOCTL_PLATFORM_IS_SUPPORTED) == 32);

struct VOLPORT_IOCTL_DISK_VALID_FOR_CONCATENATE {
    static constexpr const char* kRuntimeClassName = "struct VOLPORT_IOCTL_DISK_VALID_FOR_CONCATENATE";
    SRB_IO_CONTROL Header;
    uint32_t DiskId;
    // 0 the fast member, any other value the slow one.
    uint32_t Member;
};
static_assert(sizeof(VOLPORT_IOCTL_DISK_VALID_FOR_CONCATENATE) == 36);
static_assert(offsetof(VOLPORT_IOCTL_DISK_VALID_FOR_CONCATENATE, Member) == 32);

struct VOLPORT_IOCTL_GET_VEZK_INFO_EXT_PTL {
    static constexpr const char* kRuntimeClassName = "struct VOLPORT_IOCTL_GET_VEZK_INFO_EXT_PTL";
    SRB_IO_CONTROL Header;
    // In: 1. Out: the kind of answer (1 or 2).
    uint32_t Kind;
    uint32_t Value;
};
static_assert(sizeof(VOLPORT_IOCTL_GET_VEZK_INFO_EXT_PTL) == 36);

struct VOLPORT_IOCTL_IS_FILE_CACHE_SUPPORTED {
    static constexpr const char* kRuntimeClassName = "struct VOLPORT_IOCTL_IS_FILE_CACHE_SUPPORTED";
    SRB_IO_CONTROL Header;
    uint32_t FastDiskId;
    uint32_t SlowDiskId;
    uint32_t Result;
};
static_assert(sizeof(VOLPORT_IOCTL_IS_FILE_CACHE_SUPPORTED) == 40);
static_assert(offsetof(VOLPORT_IOCTL_IS_FILE_CACHE_SUPPORTED, Result) == 36);

// The shared event requests: 80-byte buffers, answers of at least the header.
struct VOLPORT_IOCTL_REGISTER_SHARED_EVENT {
    SRB_IO_CONTROL Header;
    uint32_t Reserved;
    // The event name, zero-padded, and a zero byte after it.
    uint8_t Name[32];
    uint8_t Terminator;
    uint8_t Reserved2[7];
    uint64_t Value; // all ones
};
static_assert(sizeof(VOLPORT_IOCTL_REGISTER_SHARED_EVENT) == 80);
static_assert(offsetof(VOLPORT_IOCTL_REGISTER_SHARED_EVENT, Name) == 32);
static_assert(offsetof(VOLPORT_IOCTL_REGISTER_SHARED_EVENT, Terminator) == 64);
static_assert(offsetof(VOLPORT_IOCTL_REGISTER_SHARED_EVENT, Value) == 72);

struct VOLPORT_IOCTL_AEN_STATUS {
    SRB_IO_CONTROL Header;
    uint32_t Reserved;
    // The event data; its first 8 bytes are the driver's event counter.
    uint8_t EventData[16];
    uint8_t Reserved2[8];
    uint64_t Value; // passed on with the event
    uint8_t Reserved3[16];
};
static_assert(sizeof(VOLPORT_IOCTL_AEN_STATUS) == 80);
static_assert(offsetof(VOLPORT_IOCTL_AEN_STATUS, EventData) == 32);
static_assert(offsetof(VOLPORT_IOCTL_AEN_STATUS, Value) == 56);
