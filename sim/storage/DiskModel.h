#pragma once
// The one model of the Windows disks' partitions and volumes behind every request that reads them:
// the storage requests (drive layout, geometry), sector 0 of a disk, the Virtual Disk Service and
// the free-space query. It reads the "layout" of a "disks" entry; its changes (shrink, partition type
// and attributes, clean) are written back there, so every reader and every later process agrees.
//
// A partition of a data type holds a volume: its size is the partition's length, its GUID the
// partition's id. What the volume's file system holds comes from its "volumes" entry (matched by
// `disk` and `partition` number): `free` bytes (default: all of it), `allocation_unit` (4096) and
// `flags` ("system", "boot", "pagefile", "hibernation", "crashdump"), which also mark its disk.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace sim::storage {

// In the byte order of the Windows GUID record.
using Guid = std::array<uint8_t, 16>;

// "{C12A7328-F81F-11D2-BA4B-00A0C93EC93B}", braces optional.
std::optional<Guid> ParseGuid(const std::string& text);
// Upper case, with braces.
std::string GuidText(const Guid& guid);
bool IsZero(const Guid& guid);

constexpr uint32_t kStyleMbr = 0;
constexpr uint32_t kStyleGpt = 1;
constexpr uint32_t kStyleRaw = 2;

// Extent kinds of the disk service.
constexpr uint32_t kExtentUnknown = 0;
constexpr uint32_t kExtentFree = 1;
constexpr uint32_t kExtentData = 2;
constexpr uint32_t kExtentOem = 3;
constexpr uint32_t kExtentEsp = 4;
constexpr uint32_t kExtentMsr = 5;
constexpr uint32_t kExtentLdm = 6;

// Volume flags of the disk service, and the disk flags they give their disk.
constexpr uint32_t kVolumeSystem = 0x1;
constexpr uint32_t kVolumeBoot = 0x2;
constexpr uint32_t kVolumeHidden = 0x10;
constexpr uint32_t kVolumePageFile = 0x80;
constexpr uint32_t kVolumeHibernation = 0x100;
constexpr uint32_t kVolumeCrashDump = 0x200;
constexpr uint32_t kDiskSystem = 0x80;
constexpr uint32_t kDiskBoot = 0x100;
constexpr uint32_t kDiskPageFile = 0x200;
constexpr uint32_t kDiskHibernation = 0x400;
constexpr uint32_t kDiskCrashDump = 0x800;
constexpr uint32_t kDiskDynamic = 0x2000;
constexpr uint32_t kDiskBootFromDisk = 0x4000;

struct Partition {
    size_t index = 0;    // position in the layout's "partitions"
    uint32_t number = 0; // the partition number Windows gives it
    uint64_t offset = 0;
    uint64_t length = 0;
    Guid type{}; // GPT
    Guid id{};   // GPT: the partition's own id
    uint64_t attributes = 0;
    std::string name;
    uint8_t mbrType = 0; // MBR
    bool active = false;
    uint32_t extent = kExtentUnknown;
    bool hasVolume = false;
    uint64_t freeBytes = 0;
    uint32_t allocationUnit = 4096;
    uint32_t volumeFlags = 0; // kVolume*
};

struct Disk {
    int deviceNumber = -1;
    uint32_t sectorSize = 512;
    uint64_t sectors = 0;
    uint32_t style = kStyleRaw;
    uint32_t signature = 0;
    Guid diskId{};
    // Where partitions may lie, in bytes.
    uint64_t usableStart = 0;
    uint64_t usableEnd = 0;
    // In layout order; for MBR the unused table entries (type 0) too.
    std::vector<Partition> partitions;
    uint32_t flags = 0; // kDisk*

    uint64_t Bytes() const { return sectors * sectorSize; }
    const Partition* AtOffset(uint64_t offset) const;
};

Disk ReadDisk(const nlohmann::json& state, const nlohmann::json& diskEntry);
// The layout alone, without what the volumes' entries add (sector reads, geometry).
Disk ReadDisk(const nlohmann::json& diskEntry);
uint32_t LogicalSectorSize(const nlohmann::json& diskEntry);

// DRIVE_LAYOUT_INFORMATION_EX with its entries (an MBR table in groups of four).
std::vector<uint8_t> DriveLayout(const Disk& disk);
// Sector `lba` as a read returns it: the master boot record (protective for GPT) in sector 0, zeros
// elsewhere.
std::vector<uint8_t> Sector(const Disk& disk, uint64_t lba);

struct Extent {
    uint32_t type = kExtentUnknown;
    uint64_t offset = 0;
    uint64_t size = 0;
    Guid volumeId{};
};
// The disk's extents in disk order, free space between and after the partitions included.
std::vector<Extent> Extents(const Disk& disk);

struct VolumeRef {
    int deviceNumber = -1;
    size_t index = 0; // of its partition
};
// The volume with this GUID on any disk.
std::optional<VolumeRef> FindVolume(const nlohmann::json& state, const Guid& id);
// Every volume of the machine, disk by disk.
std::vector<VolumeRef> Volumes(const nlohmann::json& state);
const nlohmann::json* FindDiskEntry(const nlohmann::json& state, int deviceNumber);

// Changes, applied to the machine state. Each answers false when the object is gone.
// Reclaims `bytes` (whole sectors) at the end of the volume's partition; its file system loses them.
bool ShrinkVolume(nlohmann::json& state, const VolumeRef& volume, uint64_t bytes);
bool SetPartitionType(nlohmann::json& state, int deviceNumber, size_t index, const Guid& type);
bool SetPartitionAttributes(nlohmann::json& state, int deviceNumber, size_t index, uint64_t attributes);
// Removes every partition and the volumes on them; the disk is left without partition table.
bool CleanDisk(nlohmann::json& state, int deviceNumber);

} // namespace sim::storage
