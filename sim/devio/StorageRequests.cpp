#include "sim/devio/StorageRequests.h"
#include "sim/devio/Lookup.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/win/WinError.h"
#include "sim/DescriptionValues.h"
#include "sim/devio/Bytes.h"
#include "sim/devio/ScsiPassThrough.h"
#include "sim/storage/DiskIdentity.h"
#include "sim/storage/DiskModel.h"

namespace sim::devio {
namespace {

using nlohmann::json;
namespace storage = sim::storage;

// Windows device control codes (the values the Windows headers define through CTL_CODE).
constexpr uint32_t kScsiGetAddress = 0x41018;
constexpr uint32_t kAtaPassThrough = 0x4D02C;
constexpr uint32_t kDiskGetDriveLayoutEx = 0x70050;
constexpr uint32_t kDiskGetDriveGeometryEx = 0x700A0;
constexpr uint32_t kDiskUpdateProperties = 0x70140;
constexpr uint32_t kDiskGetLengthInfo = 0x7405C;
constexpr uint32_t kDiskGetCacheInformation = 0x740D4;
constexpr uint32_t kDiskSetCacheInformation = 0x7C0D8;
constexpr uint32_t kDiskGetCacheSetting = 0x740E0;
constexpr uint32_t kDiskSetCacheSetting = 0x7C0E4;
constexpr uint32_t kStorageGetDeviceNumber = 0x2D1080;
constexpr uint32_t kStorageQueryProperty = 0x2D1400;
constexpr uint32_t kStorageCheckVerify = 0x2D4800;
constexpr uint32_t kStorageReadCapacity = 0x2D5140;

// STORAGE_PROPERTY_ID values.
constexpr uint32_t kDeviceProperty = 0;
constexpr uint32_t kAdapterProperty = 1;
constexpr uint32_t kAccessAlignmentProperty = 6;
constexpr uint32_t kSeekPenaltyProperty = 7;
constexpr uint32_t kAdapterProtocolSpecificProperty = 49;
constexpr uint32_t kDeviceProtocolSpecificProperty = 50;
constexpr uint32_t kAdapterPhysicalTopologyProperty = 53;
constexpr uint32_t kDevicePhysicalTopologyProperty = 54;

constexpr uint32_t kBusTypeRaid = 8;
constexpr uint32_t kBusTypeSata = 11;
constexpr uint32_t kBusTypeNvme = 17;

using Bytes = std::vector<uint8_t>;

StorageAnswer Answer(uint32_t bytes) {
    StorageAnswer a;
    a.handled = true;
    a.bytes = bytes;
    return a;
}

StorageAnswer Fail(DWORD error) {
    StorageAnswer a;
    a.handled = true;
    a.error = error;
    return a;
}

bool IsNvme(const json& disk) {
    return DescText(disk, "protocol") == "nvme";
}

uint32_t DiskBusType(const json& disk) {
    return static_cast<uint32_t>(DescNumber(disk, "bus_type", IsNvme(disk) ? kBusTypeNvme : kBusTypeSata));
}

uint32_t AdapterBusType(const json& adapter) {
    return static_cast<uint32_t>(DescNumber(adapter, "bus_type", kBusTypeRaid));
}

uint32_t PhysicalSectorSize(const json& disk) {
    return static_cast<uint32_t>(DescNumber(disk, "physical_sector_size", LogicalSectorSize(disk)));
}

// ATA reports 1 for a non-rotating medium, 0 when it does not say.
uint32_t RotationRate(const json& disk) {
    return static_cast<uint32_t>(DescNumber(disk, "rotation_rate", 1));
}

bool IncursSeekPenalty(const json& disk) {
    return DescFlag(disk, "seek_penalty", !IsNvme(disk) && RotationRate(disk) != 1);
}

// ---- identity ----

// ---- descriptors of STORAGE_QUERY_PROPERTY ----

Bytes DeviceDescriptor(const json& disk) {
    Bytes out(40);
    size_t next = 40;
    auto addString = [&](size_t field, const std::string& text) {
        out.resize(next + text.size() + 1);
        ByteWriter(out).CString(next, text);
        ByteWriter(out).U32(field, next);
        next += text.size() + 1;
    };
    if (!DescText(disk, "vendor").empty())
        addString(12, DescText(disk, "vendor"));
    addString(16, DescText(disk, "model"));
    addString(20, DescText(disk, "firmware"));
    if (disk.contains("serial") && disk.at("serial").is_string())
        addString(24, DescText(disk, "serial"));
    ByteWriter w(out);
    w.U32(0, 40);
    w.U32(4, out.size());
    w.U8(8, 0); // direct-access device
    w.U8(10, DescFlag(disk, "removable", false));
    w.U8(11, 1);
    w.U32(28, DiskBusType(disk));
    w.U32(32, 0);
    return out;
}

Bytes AdapterDescriptor(const json& adapter) {
    Bytes out(32);
    ByteWriter w(out);
    w.U32(0, 32);
    w.U32(4, 32);
    w.U32(8, DescNumber(adapter, "max_transfer", 0x20000));
    w.U32(12, DescNumber(adapter, "max_physical_pages", 33));
    w.U32(16, DescNumber(adapter, "alignment_mask", 3));
    w.U8(22, 1); // command queueing
    w.U8(23, 1); // accelerated transfer
    w.U8(24, AdapterBusType(adapter));
    w.U16(26, DescNumber(adapter, "bus_major_version", 1));
    w.U16(28, DescNumber(adapter, "bus_minor_version", 0));
    w.U8(30, 1); // SRB_TYPE_STORAGE_REQUEST_BLOCK
    return out;
}

Bytes AccessAlignment(const json& disk) {
    Bytes out(28);
    ByteWriter w(out);
    w.U32(0, 28);
    w.U32(4, 28);
    w.U32(8, 64);
    w.U32(16, LogicalSectorSize(disk));
    w.U32(20, PhysicalSectorSize(disk));
    return out;
}

Bytes SeekPenalty(const json& disk) {
    Bytes out(12);
    ByteWriter w(out);
    w.U32(0, 12);
    w.U32(4, 12);
    w.U8(8, IncursSeekPenalty(disk));
    return out;
}

// STORAGE_PHYSICAL_TOPOLOGY_DESCRIPTOR with one node; the node's data offsets count from the node.
// `capacityKib` is the device's capacity in KiB, as the device record carries it.
Bytes Topology(bool adapterData, const json& entry, uint32_t protocol, uint64_t capacityKib) {
    const size_t node = 16;
    const size_t dataLength = adapterData ? 128 : 136;
    Bytes out(node + 40 + dataLength);
    ByteWriter w(out);
    w.U32(0, 56);
    w.U32(4, out.size());
    w.U32(8, 1);
    w.U32(node + (adapterData ? 4 : 16), 1);
    w.U32(node + (adapterData ? 8 : 20), dataLength);
    w.U32(node + (adapterData ? 12 : 24), 40);
    const size_t d = node + 40;
    if (adapterData) {
        w.U32(d + 4, 1); // healthy
        w.U32(d + 8, protocol);
        w.Text(d + 16, DescText(entry, "vendor"), 8);
        w.Text(d + 24, DescText(entry, "model"), 40);
        w.Text(d + 64, DescText(entry, "firmware"), 16);
        w.Text(d + 80, DescText(entry, "location"), 32, '\0');
    } else {
        w.U32(d + 8, 1); // healthy
        w.U32(d + 12, protocol);
        w.Text(d + 24, DescText(entry, "vendor"), 8);
        w.Text(d + 32, DescText(entry, "model"), 40);
        w.Text(d + 72, DescText(entry, "firmware"), 16);
        w.U64(d + 88, capacityKib);
        w.Text(d + 96, DescText(entry, "location"), 32, '\0');
    }
    return out;
}

// STORAGE_PROTOCOL_TYPE of an adapter or disk.
uint32_t ProtocolType(uint32_t busType) {
    return busType == kBusTypeNvme ? 3 : busType == kBusTypeSata ? 2 : 1;
}

// ---- requests ----

struct Target {
    const json& state;
    const OpenDevice& device;
    const json* adapter = nullptr;
    const json* disk = nullptr;
    std::span<uint8_t> buffer;
    uint32_t in = 0, out = 0;
};

StorageAnswer Put(Target& t, const Bytes& answer) {
    std::fill(t.buffer.begin(), t.buffer.end(), 0);
    ByteWriter(t.buffer).Bytes(0, answer);
    return Answer(static_cast<uint32_t>(std::min<size_t>(answer.size(), t.out)));
}

// A fixed-size answer: refused when the caller's buffer cannot hold the record.
StorageAnswer PutRecord(Target& t, const Bytes& answer, uint32_t minimum) {
    if (t.out < minimum)
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    return Put(t, answer);
}

// The NVMe identify data of the adapter's or disk's controller.
const json* NvmeIdentitySource(const Target& t) {
    if (t.disk)
        return IsNvme(*t.disk) ? t.disk : nullptr;
    if (!t.adapter || AdapterBusType(*t.adapter) != kBusTypeNvme)
        return nullptr;
    if (t.state.contains("disks"))
        for (const auto& d : t.state.at("disks"))
            if (d.value("port", -1) == t.device.port && IsNvme(d))
                return &d;
    return t.adapter;
}

StorageAnswer ProtocolSpecific(Target& t) {
    const json* source = NvmeIdentitySource(t);
    if (!source)
        return Fail(ERROR_NOT_SUPPORTED);
    ByteReader r(t.buffer.first(t.in));
    // STORAGE_PROTOCOL_SPECIFIC_DATA follows the 8-byte query at offset 8.
    if (!r.Has(8, 40))
        return Fail(ERROR_INVALID_PARAMETER);
    const uint32_t protocol = r.U32(8), dataType = r.U32(12), value = r.U32(16);
    const uint32_t offset = r.U32(24), length = r.U32(28);
    if (protocol != 3 || dataType != 1 || value != 1 || offset < 40 || length < 4096)
        return Fail(ERROR_INVALID_PARAMETER);
    const uint64_t size = 8 + uint64_t{offset} + 4096;
    if (size > t.out)
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    Bytes answer(size);
    ByteWriter w(answer);
    w.U32(0, 48);
    w.U32(4, 48);
    for (size_t i = 8; i < 48; ++i)
        w.U8(i, r.U8(i));
    w.U32(28, 4096); // ProtocolDataLength
    w.U32(32, 0);    // FixedProtocolReturnData
    w.Bytes(8 + offset, storage::NvmeIdentifyData(*source));
    return Put(t, answer);
}

StorageAnswer QueryProperty(Target& t) {
    if (t.in < 8)
        return Fail(ERROR_INVALID_PARAMETER);
    ByteReader r(t.buffer.first(t.in));
    const uint32_t id = r.U32(0), queryType = r.U32(4);
    const bool isDisk = t.disk != nullptr && t.device.kind == ObjectKind::Disk;
    const bool onDiskOrVolume = t.disk != nullptr;

    std::optional<Bytes> descriptor;
    bool protocolSpecific = false;
    switch (id) {
    case kDeviceProperty:
        if (onDiskOrVolume)
            descriptor = DeviceDescriptor(*t.disk);
        break;
    case kAdapterProperty:
        if (t.adapter)
            descriptor = AdapterDescriptor(*t.adapter);
        break;
    case kAccessAlignmentProperty:
        if (onDiskOrVolume)
            descriptor = AccessAlignment(*t.disk);
        break;
    case kSeekPenaltyProperty:
        if (isDisk)
            descriptor = SeekPenalty(*t.disk);
        break;
    case kAdapterProtocolSpecificProperty:
        protocolSpecific = t.device.kind != ObjectKind::Volume && NvmeIdentitySource(t);
        break;
    case kDeviceProtocolSpecificProperty:
        protocolSpecific = isDisk && IsNvme(*t.disk);
        break;
    case kAdapterPhysicalTopologyProperty:
        if (t.device.kind == ObjectKind::Adapter && t.adapter && DescFlag(*t.adapter, "topology", true))
            descriptor = Topology(true, *t.adapter, ProtocolType(AdapterBusType(*t.adapter)), 0);
        break;
    case kDevicePhysicalTopologyProperty:
        if (isDisk)
            descriptor = Topology(false, *t.disk, ProtocolType(DiskBusType(*t.disk)),
                                  DiskSectors(*t.disk) * LogicalSectorSize(*t.disk) / 1024);
        break;
    default:
        break;
    }
    const bool supported = descriptor.has_value() || protocolSpecific;
    if (queryType == 1) // PropertyExistsQuery
        return supported ? Answer(0) : Fail(ERROR_NOT_SUPPORTED);
    if (queryType != 0)
        return Fail(ERROR_INVALID_PARAMETER);
    if (!supported)
        return Fail(ERROR_NOT_SUPPORTED);
    if (protocolSpecific)
        return ProtocolSpecific(t);
    // A buffer smaller than the descriptor gets its beginning; the header's Size tells the whole.
    if (t.out < 8)
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    return Put(t, *descriptor);
}

StorageAnswer ScsiAddress(Target& t) {
    Bytes a(8);
    ByteWriter w(a);
    w.U32(0, 8);
    w.U8(4, t.device.port);
    if (t.disk) {
        w.U8(5, DescNumber(*t.disk, "path", 0));
        w.U8(6, DescNumber(*t.disk, "target", 0));
        w.U8(7, DescNumber(*t.disk, "lun", 0));
    } else if (!DescFlag(*t.adapter, "answers_scsi_address", true)) {
        return Fail(ERROR_INVALID_FUNCTION);
    }
    return PutRecord(t, a, 8);
}

StorageAnswer Geometry(Target& t) {
    const json& disk = *t.disk;
    const uint64_t sectors = DiskSectors(disk);
    const uint32_t sector = LogicalSectorSize(disk);
    // DISK_GEOMETRY_EX (32 bytes before its Data), then in Data the 24-byte DISK_PARTITION_INFO and
    // the 56-byte DISK_DETECTION_INFO (no BIOS detection: type 0, both drive records zero).
    Bytes a(112);
    ByteWriter w(a);
    w.U64(0, sectors / (255 * 63));
    w.U32(8, DescFlag(disk, "removable", false) ? 11 : 12);
    w.U32(12, 255);
    w.U32(16, 63);
    w.U32(20, sector);
    w.U64(24, sectors * sector);
    w.U32(32, 24);
    const storage::Disk layout = storage::ReadDisk(disk);
    w.U32(36, layout.style);
    if (layout.style == storage::kStyleMbr)
        w.U32(40, layout.signature);
    else if (layout.style == storage::kStyleGpt)
        w.Bytes(40, layout.diskId.data(), 16);
    w.U32(56, 56);
    return PutRecord(t, a, 32);
}

StorageAnswer Capacity(Target& t) {
    const uint32_t sector = LogicalSectorSize(*t.disk);
    const uint64_t sectors = DiskSectors(*t.disk);
    Bytes a(32);
    ByteWriter w(a);
    w.U32(0, 32);
    w.U32(4, 32);
    w.U32(8, sector);
    w.U64(16, sectors);
    w.U64(24, sectors * sector);
    return PutRecord(t, a, 32);
}

StorageAnswer DeviceNumber(Target& t) {
    Bytes a(12);
    ByteWriter w(a);
    w.U32(0, 7); // FILE_DEVICE_DISK
    w.U32(4, t.device.deviceNumber);
    if (t.device.kind == ObjectKind::Volume)
        if (const json* v = FindVolume(t.state, t.device.letter))
            w.U32(8, DescNumber(*v, "partition", 0));
    return PutRecord(t, a, 12);
}

const json& Cache(const json& disk) {
    static const json kNone = json::object();
    return disk.contains("cache") ? disk.at("cache") : kNone;
}

StorageAnswer CacheInformation(Target& t) {
    const json& c = Cache(*t.disk);
    Bytes a(24);
    ByteWriter w(a);
    w.U8(0, DescFlag(c, "savable", false));
    w.U8(1, DescFlag(c, "read", true));
    w.U8(2, DescFlag(c, "write", true));
    w.U32(4, DescNumber(c, "read_retention", 0));
    w.U32(8, DescNumber(c, "write_retention", 0));
    w.U16(12, DescNumber(c, "prefetch_disable_length", 0xFFFF));
    w.U8(14, DescFlag(c, "prefetch_scalar", false));
    w.U16(16, DescNumber(c, "prefetch_minimum", 0));
    w.U16(18, DescNumber(c, "prefetch_maximum", 0xFFFF));
    w.U16(20, DescNumber(c, "prefetch_maximum_blocks", 0xFFFF));
    return PutRecord(t, a, 24);
}

StorageAnswer CacheSetting(Target& t) {
    const json& c = Cache(*t.disk);
    Bytes a(12);
    ByteWriter w(a);
    w.U32(0, 12);
    w.U32(4, DescNumber(c, "state", 0));
    w.U8(8, DescFlag(c, "power_protected", false));
    return PutRecord(t, a, 12);
}

// Changes one disk's "cache" object when the request succeeds.
StorageAnswer ChangeCache(Target& t, json values) {
    StorageAnswer a = Answer(0);
    const int number = t.device.deviceNumber;
    a.change = [number, values](json& state) {
        for (auto& disk : state["disks"])
            if (disk.value("device_number", -1) == number)
                disk["cache"].update(values);
    };
    return a;
}

StorageAnswer SetCacheInformation(Target& t) {
    if (t.in < 24)
        return Fail(ERROR_INVALID_PARAMETER);
    ByteReader r(t.buffer.first(t.in));
    return ChangeCache(t, {{"savable", r.U8(0) != 0},
                           {"read", r.U8(1) != 0},
                           {"write", r.U8(2) != 0},
                           {"read_retention", r.U32(4)},
                           {"write_retention", r.U32(8)},
                           {"prefetch_disable_length", r.U16(12)},
                           {"prefetch_scalar", r.U8(14) != 0},
                           {"prefetch_minimum", r.U16(16)},
                           {"prefetch_maximum", r.U16(18)},
                           {"prefetch_maximum_blocks", r.U16(20)}});
}

StorageAnswer SetCacheSetting(Target& t) {
    if (t.in < 12)
        return Fail(ERROR_INVALID_PARAMETER);
    ByteReader r(t.buffer.first(t.in));
    return ChangeCache(t, {{"state", r.U32(4)}, {"power_protected", r.U8(8) != 0}});
}

StorageAnswer DriveLayoutRequest(Target& t) {
    if (t.out < 48)
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    Bytes layout = storage::DriveLayout(storage::ReadDisk(t.state, *t.disk));
    if (layout.size() > t.out)
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    return Put(t, layout);
}

// ATA_PASS_THROUGH_EX with its data area in the same buffer; only IDENTIFY DEVICE is answered, any
// other command ends with the device's abort status.
StorageAnswer AtaPassThrough(Target& t) {
    if (IsNvme(*t.disk))
        return Fail(ERROR_INVALID_FUNCTION);
    ByteReader r(t.buffer.first(t.in));
    if (!r.Has(0, 48) || r.U16(0) != 48)
        return Fail(ERROR_INVALID_PARAMETER);
    const uint16_t flags = r.U16(2);
    const uint32_t transfer = r.U32(8);
    const uint64_t dataOffset = r.U64(24);
    const uint8_t command = r.U8(46);
    const uint64_t room = std::max(t.in, t.out);
    if (transfer != 0 && (dataOffset < 48 || dataOffset > room || transfer > room - dataOffset))
        return Fail(ERROR_INVALID_PARAMETER);
    ByteWriter w(t.buffer);
    for (size_t i = 32; i < 48; ++i)
        w.U8(i, 0);
    if (command == 0xEC && (flags & 0x02) && transfer >= 512) {
        w.Bytes(dataOffset, storage::AtaIdentifyData(*t.disk));
        w.U8(46, 0x50); // status: ready, seek complete
        return Answer(static_cast<uint32_t>(std::min<uint64_t>(dataOffset + transfer, t.out)));
    }
    w.U8(40, 0x04); // error: aborted
    w.U8(46, 0x51); // status: ready, error
    return Answer(std::min<uint32_t>(48, t.out));
}

StorageAnswer DiskRequest(Target& t, uint32_t code) {
    switch (code) {
    case kScsiGetAddress:
        return ScsiAddress(t);
    case kStorageQueryProperty:
        return QueryProperty(t);
    case kDiskGetDriveGeometryEx:
        return Geometry(t);
    case kStorageGetDeviceNumber:
        return DeviceNumber(t);
    case kStorageReadCapacity:
        return Capacity(t);
    case kDiskGetDriveLayoutEx:
        return DriveLayoutRequest(t);
    case kDiskGetCacheInformation:
        return CacheInformation(t);
    case kDiskSetCacheInformation:
        return SetCacheInformation(t);
    case kDiskGetCacheSetting:
        return CacheSetting(t);
    case kDiskSetCacheSetting:
        return SetCacheSetting(t);
    case kDiskUpdateProperties:
    case kStorageCheckVerify:
        return Answer(0);
    case kDiskGetLengthInfo: {
        Bytes a(8);
        ByteWriter(a).U64(0, DiskSectors(*t.disk) * LogicalSectorSize(*t.disk));
        return PutRecord(t, a, 8);
    }
    case kAtaPassThrough:
        return AtaPassThrough(t);
    case kIoctlScsiPassThroughDirect:
        return AnswerScsiPassThroughDirect(*t.disk, t.buffer, t.in, t.out);
    default:
        return Fail(ERROR_INVALID_FUNCTION);
    }
}

// A volume answers for the disk it lives on what a basic disk's volume passes down to it.
StorageAnswer VolumeRequest(Target& t, uint32_t code) {
    switch (code) {
    case kScsiGetAddress:
    case kStorageQueryProperty:
    case kDiskGetDriveGeometryEx:
    case kStorageGetDeviceNumber:
    case kStorageCheckVerify:
    case kDiskGetLengthInfo:
        return DiskRequest(t, code);
    default:
        return Fail(ERROR_INVALID_FUNCTION);
    }
}

StorageAnswer AdapterRequest(Target& t, uint32_t code) {
    switch (code) {
    case kScsiGetAddress:
        return ScsiAddress(t);
    case kStorageQueryProperty:
        return QueryProperty(t);
    default:
        // Anything else belongs to the adapter's driver.
        return StorageAnswer{};
    }
}

} // namespace

uint32_t LogicalSectorSize(const json& disk) {
    return storage::LogicalSectorSize(disk);
}

uint64_t DiskSectors(const json& disk) {
    return DescNumber(disk, "sectors", 0);
}

std::vector<uint8_t> DiskSector(const json& disk, uint64_t lba) {
    return storage::Sector(storage::ReadDisk(disk), lba);
}

StorageAnswer AnswerStorageRequest(const json& state, const OpenDevice& device, uint32_t ioControlCode,
                                   std::span<uint8_t> buffer, uint32_t inputSize, uint32_t outputSize) {
    Target t{state, device, FindAdapter(state, device.port), nullptr, buffer, inputSize, outputSize};
    switch (device.kind) {
    case ObjectKind::Adapter:
        if (!t.adapter)
            return Fail(ERROR_DEVICE_NOT_CONNECTED);
        return AdapterRequest(t, ioControlCode);
    case ObjectKind::Disk:
    case ObjectKind::Volume:
        t.disk = FindDisk(state, device.deviceNumber);
        if (!t.disk)
            return Fail(ERROR_DEVICE_NOT_CONNECTED);
        return device.kind == ObjectKind::Disk ? DiskRequest(t, ioControlCode)
                                               : VolumeRequest(t, ioControlCode);
    }
    return Fail(ERROR_INVALID_FUNCTION);
}

} // namespace sim::devio
