#include "sim/storage/DiskModel.h"
#include "sim/devio/Lookup.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "sim/DescriptionValues.h"
#include "sim/Schema.h"
#include "sim/devio/Bytes.h"
#include "sim/storage/DiskEntries.h"

namespace sim::storage {
namespace {

using devio::ByteWriter;
using nlohmann::json;

const std::pair<const char*, const char*> kNamedTypes[] = {
    {"efi", "{C12A7328-F81F-11D2-BA4B-00A0C93EC93B}"},
    {"system", "{C12A7328-F81F-11D2-BA4B-00A0C93EC93B}"},
    {"basic", "{EBD0A0A2-B9E5-4433-87C0-68B6B72699C7}"},
    {"msr", "{E3C9E316-0B5C-4DB8-817D-F92DF00215AE}"},
    {"recovery", "{DE94BBA4-06D1-4D40-A16A-BFD50179D6AC}"},
    {"ldm_metadata", "{5808C8AA-7E8F-42E0-85D2-E1E90434CFB3}"},
    {"ldm_data", "{AF9B60A0-1431-4F62-BC68-3311714A69AD}"},
};

Guid Named(const char* name) {
    for (const auto& [n, guid] : kNamedTypes)
        if (std::string(n) == name)
            return *ParseGuid(guid);
    return Guid{};
}

Guid PartitionType(const json& partition) {
    const std::string type = DescText(partition, "type");
    for (const auto& [name, guid] : kNamedTypes)
        if (type == name)
            return *ParseGuid(guid);
    return ParseGuid(type).value_or(Named("basic"));
}

// A partition's own id: the description's, or one made from the disk and entry numbers. An MBR
// volume gets one the same way (Windows makes one up for it too).
Guid MadeUpId(int disk, size_t index, uint8_t marker) {
    Guid g{};
    g[0] = static_cast<uint8_t>(index + 1);
    g[4] = static_cast<uint8_t>(disk);
    g[8] = 0x80;
    g[15] = marker;
    return g;
}

uint32_t ExtentOfGpt(const Guid& type) {
    if (type == Named("efi"))
        return kExtentEsp;
    if (type == Named("msr"))
        return kExtentMsr;
    if (type == Named("ldm_metadata") || type == Named("ldm_data"))
        return kExtentLdm;
    if (type == Named("basic") || type == Named("recovery"))
        return kExtentData;
    return kExtentOem;
}

uint32_t ExtentOfMbr(uint8_t type) {
    switch (type) {
    case 0xEF:
        return kExtentEsp;
    case 0x42:
        return kExtentLdm;
    case 0x05:
    case 0x0F:
    case 0x27:
        return kExtentOem;
    default:
        return kExtentData;
    }
}

uint32_t VolumeFlags(const json& volume) {
    static const std::pair<const char*, uint32_t> kFlags[] = {
        {"system", kVolumeSystem},           {"boot", kVolumeBoot},           {"pagefile", kVolumePageFile},
        {"hibernation", kVolumeHibernation}, {"crashdump", kVolumeCrashDump}, {"hidden", kVolumeHidden},
    };
    uint32_t flags = 0;
    if (volume.contains("flags") && volume.at("flags").is_array())
        for (const auto& f : volume.at("flags"))
            for (const auto& [name, bit] : kFlags)
                if (f.is_string() && f.get<std::string>() == name)
                    flags |= bit;
    return flags;
}

uint32_t DiskFlagsOf(uint32_t volumeFlags) {
    uint32_t flags = 0;
    if (volumeFlags & kVolumeSystem)
        flags |= kDiskSystem;
    if (volumeFlags & kVolumeBoot)
        flags |= kDiskBoot;
    if (volumeFlags & kVolumePageFile)
        flags |= kDiskPageFile;
    if (volumeFlags & kVolumeHibernation)
        flags |= kDiskHibernation;
    if (volumeFlags & kVolumeCrashDump)
        flags |= kDiskCrashDump;
    return flags;
}

json* MutableDisk(json& state, int deviceNumber) {
    if (!state.contains("disks") || !state.at("disks").is_array())
        return nullptr;
    for (auto& d : state["disks"])
        if (d.value("device_number", -1) == deviceNumber)
            return &d;
    return nullptr;
}

json* MutablePartition(json& state, int deviceNumber, size_t index) {
    json* disk = MutableDisk(state, deviceNumber);
    if (!disk || !disk->contains("layout") || !disk->at("layout").contains("partitions"))
        return nullptr;
    json& partitions = (*disk)["layout"]["partitions"];
    return index < partitions.size() ? &partitions[index] : nullptr;
}

// The name a type is written under in a description, when it has one.
json TypeValue(const Guid& type) {
    for (const auto& [name, guid] : kNamedTypes)
        if (std::string(name) != "system" && *ParseGuid(guid) == type)
            return name;
    return GuidText(type);
}

} // namespace

std::optional<Guid> ParseGuid(const std::string& text) {
    std::string hex;
    for (char c : text)
        if (std::isxdigit(static_cast<unsigned char>(c)))
            hex += c;
        else if (c != '{' && c != '}' && c != '-')
            return std::nullopt;
    if (hex.size() != 32)
        return std::nullopt;
    auto byte = [&](size_t i) {
        return static_cast<uint8_t>(std::strtoul(hex.substr(2 * i, 2).c_str(), nullptr, 16));
    };
    Guid g{};
    for (size_t i = 0; i < 4; ++i)
        g[i] = byte(3 - i);
    g[4] = byte(5), g[5] = byte(4), g[6] = byte(7), g[7] = byte(6);
    for (size_t i = 8; i < 16; ++i)
        g[i] = byte(i);
    return g;
}

std::string GuidText(const Guid& g) {
    char text[40];
    std::snprintf(text, sizeof(text),
                  "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g[3], g[2], g[1],
                  g[0], g[5], g[4], g[7], g[6], g[8], g[9], g[10], g[11], g[12], g[13], g[14], g[15]);
    return text;
}

bool IsZero(const Guid& guid) {
    return std::all_of(guid.begin(), guid.end(), [](uint8_t b) { return b == 0; });
}

uint32_t LogicalSectorSize(const json& disk) {
    const uint64_t size = DescNumber(disk, "logical_sector_size", 512);
    return size == 0 ? 512 : static_cast<uint32_t>(size);
}

const Partition* Disk::AtOffset(uint64_t offset) const {
    for (const Partition& p : partitions)
        if (p.offset == offset && (style != kStyleMbr || p.mbrType != 0))
            return &p;
    return nullptr;
}

namespace {

// The "volumes" entry that keeps the facts of a partition's volume, if any.
const json* VolumeEntry(const json& state, int deviceNumber, uint32_t partitionNumber) {
    if (!state.contains("volumes") || !state.at("volumes").is_array())
        return nullptr;
    for (const auto& v : state.at("volumes"))
        if (v.value("disk", -1) == deviceNumber && DescNumber(v, "partition", 0) == partitionNumber)
            return &v;
    return nullptr;
}

} // namespace

Disk ReadDisk(const json& state, const json& entry) {
    Disk disk;
    disk.deviceNumber = static_cast<int>(DescNumber(entry, "device_number", 0));
    disk.sectorSize = LogicalSectorSize(entry);
    disk.sectors = DescNumber(entry, "sectors", 0);
    static const json kRaw = json::object();
    const json& layout =
        entry.contains("layout") && entry.at("layout").is_object() ? entry.at("layout") : kRaw;
    const std::string style = DescText(layout, "style");
    disk.style = style == "mbr" ? kStyleMbr : style == "gpt" ? kStyleGpt : kStyleRaw;
    const uint64_t bytes = disk.Bytes();
    if (disk.style == kStyleGpt) {
        disk.diskId = ParseGuid(DescText(layout, "disk_id")).value_or(Guid{});
        disk.usableStart = 34 * uint64_t{disk.sectorSize};
        disk.usableEnd = bytes > disk.usableStart ? bytes - disk.usableStart : 0;
    } else if (disk.style == kStyleMbr) {
        disk.signature = static_cast<uint32_t>(DescNumber(layout, "signature", 0));
        disk.usableStart = disk.sectorSize;
        disk.usableEnd = bytes;
    }
    if (DescFlag(layout, "boot_from_disk", false))
        disk.flags |= kDiskBootFromDisk;
    if (disk.style == kStyleRaw || !layout.contains("partitions") || !layout.at("partitions").is_array())
        return disk;
    const json& partitions = layout.at("partitions");
    for (size_t i = 0; i < partitions.size(); ++i) {
        const json& p = partitions[i];
        Partition part;
        part.index = i;
        part.number = static_cast<uint32_t>(i + 1);
        part.offset = DescNumber(p, "offset", 0);
        part.length = DescNumber(p, "length", 0);
        part.name = DescText(p, "name");
        if (disk.style == kStyleGpt) {
            part.type = PartitionType(p);
            part.id = ParseGuid(DescText(p, "id")).value_or(MadeUpId(disk.deviceNumber, i, 0x5A));
            part.attributes = DescNumber(p, "attributes", 0);
            part.extent = ExtentOfGpt(part.type);
            if (part.type == Named("ldm_metadata") || part.type == Named("ldm_data"))
                disk.flags |= kDiskDynamic;
        } else {
            part.mbrType = static_cast<uint8_t>(DescNumber(p, "type", 7));
            part.active = DescFlag(p, "active", false);
            part.id = ParseGuid(DescText(p, "id")).value_or(MadeUpId(disk.deviceNumber, i, 0x4D));
            part.extent = ExtentOfMbr(part.mbrType);
            if (part.mbrType == 0x42)
                disk.flags |= kDiskDynamic;
        }
        part.hasVolume = part.extent == kExtentData && (disk.style == kStyleGpt || part.mbrType != 0);
        static const json kNoVolume = json::object();
        const json* facts = VolumeEntry(state, disk.deviceNumber, part.number);
        const json& volume = facts ? *facts : kNoVolume;
        part.freeBytes = std::min(DescNumber(volume, "free", part.length), part.length);
        part.allocationUnit = static_cast<uint32_t>(DescNumber(volume, "allocation_unit", 4096));
        if (part.allocationUnit == 0)
            part.allocationUnit = 4096;
        part.volumeFlags = VolumeFlags(volume);
        if (disk.style == kStyleGpt && part.type == Named("recovery"))
            part.volumeFlags |= kVolumeHidden;
        disk.flags |= DiskFlagsOf(part.volumeFlags);
        disk.partitions.push_back(std::move(part));
    }
    return disk;
}

Disk ReadDisk(const json& entry) {
    static const json kNoVolumes = json::object();
    return ReadDisk(kNoVolumes, entry);
}

std::vector<uint8_t> DriveLayout(const Disk& disk) {
    const uint32_t style = disk.style;
    const auto used = static_cast<uint32_t>(disk.partitions.size());
    // Windows lists an MBR disk's table in groups of four entries, the unused ones empty.
    const uint32_t count = style == kStyleMbr ? (used + 3) / 4 * 4 : style == kStyleGpt ? used : 0;
    std::vector<uint8_t> out(48 + size_t{count} * 144);
    ByteWriter w(out);
    w.U32(0, style);
    w.U32(4, count);
    if (style == kStyleMbr) {
        w.U32(8, disk.signature);
    } else if (style == kStyleGpt) {
        w.Bytes(8, disk.diskId.data(), 16);
        w.U64(24, disk.usableStart);
        w.U64(32, disk.usableEnd - disk.usableStart);
        w.U32(40, 128);
    }
    for (size_t i = 0; i < disk.partitions.size() && i < count; ++i) {
        const Partition& p = disk.partitions[i];
        const size_t e = 48 + i * 144;
        w.U32(e + 0, style);
        w.U64(e + 8, p.offset);
        w.U64(e + 16, p.length);
        w.U32(e + 24, p.number);
        if (style == kStyleMbr) {
            w.U8(e + 32, p.mbrType);
            w.U8(e + 33, p.active);
            w.U8(e + 34, p.mbrType != 0 && p.mbrType != 0x05 && p.mbrType != 0x0F);
            w.U32(e + 36, p.offset / disk.sectorSize);
            w.Bytes(e + 40, p.id.data(), 16);
        } else {
            w.Bytes(e + 32, p.type.data(), 16);
            w.Bytes(e + 48, p.id.data(), 16);
            w.U64(e + 64, p.attributes);
            w.Utf16(e + 72, p.name, 36);
        }
    }
    return out;
}

std::vector<uint8_t> Sector(const Disk& disk, uint64_t lba) {
    std::vector<uint8_t> sector(disk.sectorSize);
    if (lba != 0 || disk.style == kStyleRaw || sector.size() < 512)
        return sector;
    ByteWriter w(sector);
    if (disk.style == kStyleMbr) {
        w.U32(440, disk.signature);
        for (size_t i = 0; i < disk.partitions.size() && i < 4; ++i) {
            const Partition& p = disk.partitions[i];
            const size_t e = 446 + 16 * i;
            w.U8(e, p.active ? 0x80 : 0);
            w.U8(e + 4, p.mbrType);
            w.U32(e + 8, p.offset / disk.sectorSize);
            w.U32(e + 12, p.length / disk.sectorSize);
        }
    } else {
        // The protective entry of a GPT disk.
        w.U8(446 + 4, 0xEE);
        w.U32(446 + 8, 1);
        w.U32(446 + 12, std::min<uint64_t>(disk.sectors - (disk.sectors ? 1 : 0), 0xFFFFFFFF));
    }
    w.U8(510, 0x55);
    w.U8(511, 0xAA);
    return sector;
}

std::vector<Extent> Extents(const Disk& disk) {
    std::vector<const Partition*> used;
    for (const Partition& p : disk.partitions)
        if (p.length != 0 && (disk.style != kStyleMbr || p.mbrType != 0))
            used.push_back(&p);
    std::sort(used.begin(), used.end(),
              [](const Partition* a, const Partition* b) { return a->offset < b->offset; });
    std::vector<Extent> extents;
    uint64_t at = disk.usableStart;
    for (const Partition* p : used) {
        if (p->offset > at)
            extents.push_back({kExtentFree, at, p->offset - at, {}});
        extents.push_back({p->extent, p->offset, p->length, p->hasVolume ? p->id : Guid{}});
        at = std::max(at, p->offset + p->length);
    }
    if (disk.usableEnd > at)
        extents.push_back({kExtentFree, at, disk.usableEnd - at, {}});
    return extents;
}

const json* FindDiskEntry(const json& state, int deviceNumber) {
    if (!state.contains("disks") || !state.at("disks").is_array())
        return nullptr;
    for (const auto& d : state.at("disks"))
        if (d.value("device_number", -1) == deviceNumber)
            return &Resolved(state, d);
    return nullptr;
}

std::vector<VolumeRef> Volumes(const json& state) {
    std::vector<VolumeRef> volumes;
    if (!state.contains("disks") || !state.at("disks").is_array())
        return volumes;
    for (const auto& entry : state.at("disks")) {
        if (!SeenByWindows(entry))
            continue;
        const Disk disk = ReadDisk(state, Resolved(state, entry));
        for (const Partition& p : disk.partitions)
            if (p.hasVolume)
                volumes.push_back({disk.deviceNumber, p.index});
    }
    return volumes;
}

std::optional<VolumeRef> FindVolume(const json& state, const Guid& id) {
    if (IsZero(id) || !state.contains("disks") || !state.at("disks").is_array())
        return std::nullopt;
    for (const auto& entry : state.at("disks")) {
        if (!SeenByWindows(entry))
            continue;
        const Disk disk = ReadDisk(state, Resolved(state, entry));
        for (const Partition& p : disk.partitions)
            if (p.hasVolume && p.id == id)
                return VolumeRef{disk.deviceNumber, p.index};
    }
    return std::nullopt;
}

bool ShrinkVolume(json& state, const VolumeRef& volume, uint64_t bytes) {
    const json* entry = FindDiskEntry(state, volume.deviceNumber);
    if (!entry)
        return false;
    const Disk disk = ReadDisk(state, *entry);
    if (volume.index >= disk.partitions.size())
        return false;
    const Partition& p = disk.partitions[volume.index];
    const uint64_t reclaimed = std::min(bytes - bytes % disk.sectorSize, p.length);
    (*MutablePartition(state, volume.deviceNumber, volume.index))["length"] = p.length - reclaimed;
    // The file system gives up free space only; without facts of its own the volume stays all free.
    if (state.contains("volumes") && state["volumes"].is_array())
        for (auto& v : state["volumes"])
            if (v.value("disk", -1) == volume.deviceNumber && DescNumber(v, "partition", 0) == p.number &&
                v.contains("free"))
                v["free"] = p.freeBytes - std::min(p.freeBytes, reclaimed);
    return true;
}

bool SetPartitionType(json& state, int deviceNumber, size_t index, const Guid& type) {
    json* partition = MutablePartition(state, deviceNumber, index);
    if (!partition)
        return false;
    (*partition)["type"] = TypeValue(type);
    return true;
}

bool SetPartitionAttributes(json& state, int deviceNumber, size_t index, uint64_t attributes) {
    json* partition = MutablePartition(state, deviceNumber, index);
    if (!partition)
        return false;
    (*partition)["attributes"] = attributes;
    return true;
}

bool CleanDisk(json& state, int deviceNumber) {
    json* disk = MutableDisk(state, deviceNumber);
    if (!disk)
        return false;
    (*disk)["layout"] = json{{"style", "raw"}};
    if (state.contains("volumes") && state.at("volumes").is_array()) {
        json kept = json::array();
        for (const auto& v : state.at("volumes"))
            if (v.value("disk", -1) != deviceNumber)
                kept.push_back(v);
        state["volumes"] = kept;
    }
    return true;
}

} // namespace sim::storage
