// The dictionaries of the simulated RAID driver (signature "OrvexRdp", SRB control codes 0x90000A02
// to 0x90000A04): which kinds it publishes, the field list of a kind, and per instance the typed
// values. The controller dictionary describes the adapter (PCI identity from its device node, the
// driver version, the RAID limits and capabilities of "raid.controller"); the end-device dictionary
// has one instance per present disk of the RAID disk table, as the table and the Windows disks it
// names describe them.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "platform/win/WinError.h"
#include "sim/DeviceTree.h"
#include "sim/DeviceTreeState.h"
#include "sim/devio/Bytes.h"
#include "sim/driver/DictionaryLayout.h"
#include "sim/driver/RaidState.h"

namespace sim::driver {
namespace {

using devio::ByteReader;
using devio::ByteWriter;
using devio::DriverAnswer;
using devio::DriverRequest;
using namespace dictionary;

constexpr uint32_t kSupportedCode = 0x90000A02;
constexpr uint32_t kFieldsCode = 0x90000A03;
constexpr uint32_t kValuesCode = 0x90000A04;
constexpr size_t kHeader = devio::kSrbHeaderSize;

constexpr uint32_t kController = 1;
constexpr uint32_t kEndDevice = 8;

struct FieldType {
    uint32_t id;
    uint32_t type;
};

// Value sizes of the type codes.
uint32_t TypeSize(uint32_t type) {
    switch (type) {
    case 0:
    case 4:
        return 1;
    case 1:
    case 5:
        return 2;
    case 2:
    case 6:
        return 4;
    case 3:
    case 7:
        return 8;
    case 8:
        return 16;
    case 9:
        return 32;
    case 10:
        return 64;
    case 11:
        return 128;
    case 13:
        return 512;
    }
    return 0;
}

const std::vector<FieldType>& FieldsOf(uint32_t kind) {
    static const std::map<uint32_t, std::vector<FieldType>> fields = {
        {1,
         {{0x434F0000, 10},
          {0x434F0001, 10},
          {0x434F0002, 10},
          {0x434F000A, 10},
          {0x434F0008, 13},
          {0x434F0003, 2},
          {0x434F0004, 0},
          {0x434F0005, 0},
          {0x434F0006, 2},
          {0x434F0007, 2},
          {0x434F0009, 0},
          {0x504F0000, 2}}},
        {2, {{0x504F0000, 2}, {0x504F0001, 3}, {0x504F0002, 2}}},
        {4,
         {{0x50480000, 2},
          {0x50480001, 2},
          {0x50480002, 1},
          {0x50480003, 2},
          {0x50480004, 2},
          {0x50480005, 2},
          {0x50480006, 2},
          {0x50480007, 2},
          {0x50480008, 2},
          {0x50480009, 2},
          {0x5048000A, 2},
          {0x5048000B, 2},
          {0x5048000C, 2},
          {0x5048000D, 2}}},
        {8,
         {{0x45440000, 3},
          {0x45440001, 3},
          {0x45440002, 2},
          {0x45440003, 2},
          {0x45440004, 10},
          {0x45440005, 2},
          {0x45440006, 2},
          {0x45440007, 2},
          {0x45440008, 3},
          {0x45440009, 2},
          {0x4544000A, 2},
          {0x4544000B, 8},
          {0x4544000C, 2},
          {0x4544000D, 2},
          {0x4544000E, 2},
          {0x4544000F, 2},
          {0x45440010, 0}}},
        {16, {{0x52440000, 3}, {0x52440001, 3}, {0x52440002, 2}, {0x52440003, 2}}},
    };
    static const std::vector<FieldType> none;
    auto it = fields.find(kind);
    return it == fields.end() ? none : it->second;
}

using Values = std::map<uint32_t, std::vector<uint8_t>>;

std::vector<uint8_t> Bytes(size_t size) {
    return std::vector<uint8_t>(size, 0);
}

std::vector<uint8_t> Number(uint64_t value, size_t size) {
    std::vector<uint8_t> out = Bytes(size);
    ByteWriter(out).U64(0, value);
    return out;
}

// The hexadecimal number after `key` in a device instance id ("VEN_1F4A" -> 0x1F4A), or -1.
int64_t IdPart(const std::string& id, const std::string& key, size_t digits) {
    size_t at = id.find(key);
    if (at == std::string::npos || at + key.size() + digits > id.size())
        return -1;
    return static_cast<int64_t>(std::strtoull(id.substr(at + key.size(), digits).c_str(), nullptr, 16));
}

// The four parts of a version text "a.b.c.d"; zeros when it has fewer.
std::vector<uint64_t> VersionParts(const std::string& text) {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (std::sscanf(text.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d) != 4)
        return {0, 0, 0, 0};
    return {a, b, c, d};
}

// One 64-byte capability block: version words at 6 to 12, the RAID level bits at 16 (0 RAID 0, 1
// RAID 1, 2 RAID 10, 3 a further layout, 4 RAID 5), the strip-size word at 18, the disk and
// volume limits at 20 to 25, the capability words A (26), B (30) and C (34).
std::vector<uint8_t> CapabilityBlock(const json& controller, const std::string& version) {
    std::vector<uint8_t> block = Bytes(64);
    ByteWriter w(block);
    const auto parts = VersionParts(version);
    for (size_t i = 0; i < 4; ++i)
        w.U16(6 + 2 * i, parts[i]);
    w.U8(16, static_cast<uint64_t>(Num(controller, "raid_levels", 0x17)));
    w.U16(18, static_cast<uint64_t>(Num(controller, "strip_mask", 0x7E)));
    w.U16(20, static_cast<uint64_t>(Num(controller, "disks_per_array", 8)));
    w.U16(22, static_cast<uint64_t>(Num(controller, "disks_total", 8)));
    w.U8(24, static_cast<uint64_t>(Num(controller, "volumes_per_array", 2)));
    w.U8(25, static_cast<uint64_t>(Num(controller, "volumes_per_controller", 4)));
    w.U32(26, static_cast<uint64_t>(Num(controller, "capability_a", 0x2600000F)));
    w.U16(30, static_cast<uint64_t>(Num(controller, "capability_b", 0)));
    w.U32(34, static_cast<uint64_t>(Num(controller, "capability_c", 0)));
    return block;
}

Values ControllerValues(const json& state, const json& adapter) {
    const json& raid = RaidOf(adapter);
    const json controller = raid.value("controller", json::object());
    const std::string id = adapter.value("instance_id", std::string());
    const json* node = devices::FindNode(state, id);
    const json properties = node ? node->value("properties", json::object()) : json::object();

    std::vector<uint8_t> pci = Bytes(64);
    ByteWriter w(pci);
    w.U16(0x00, static_cast<uint64_t>(Num(controller, "vendor_id", IdPart(id, "VEN_", 4))));
    w.U16(0x02, static_cast<uint64_t>(Num(controller, "device_id", IdPart(id, "DEV_", 4))));
    w.U16(0x04, 0x0007);
    w.U16(0x06, 0x0010);
    w.U8(0x08, static_cast<uint64_t>(Num(controller, "revision", IdPart(id, "REV_", 2))));
    w.U8(0x09, static_cast<uint64_t>(Num(properties, "PciProgIf", 0)));
    w.U8(0x0A, static_cast<uint64_t>(Num(properties, "PciSubClass", 4)));
    w.U8(0x0B, static_cast<uint64_t>(Num(properties, "PciBaseClass", 1)));
    w.U8(0x0E, 0);
    // SUBSYS_ssssvvvv: the subsystem id, then the subsystem vendor id.
    const int64_t subsys = IdPart(id, "SUBSYS_", 8);
    w.U16(0x2C,
          static_cast<uint64_t>(Num(controller, "subsystem_vendor_id", subsys < 0 ? 0 : subsys & 0xFFFF)));
    w.U16(0x2E, static_cast<uint64_t>(Num(controller, "subsystem_id", subsys < 0 ? 0 : subsys >> 16)));

    const std::string driverVersion =
        controller.value("driver_version", properties.value("DriverVersion", std::string("0.0.0.0")));
    const std::string oromVersion = controller.value("orom_version", driverVersion);
    const int64_t type = Num(raid, "controller_type", Num(adapter, "bus_type", 8) == 17 ? 3 : 1);

    Values v;
    v[0x434F0000] = pci;
    v[0x434F0001] = CapabilityBlock(controller.value("orom", controller), oromVersion);
    v[0x434F0002] = CapabilityBlock(controller, driverVersion);
    v[0x434F000A] = CapabilityBlock(controller.value("features", controller), driverVersion);
    v[0x434F0003] = Number(static_cast<uint64_t>(Num(controller, "max_phys_per_port", 1)), 4);
    v[0x434F0004] = Number(static_cast<uint64_t>(type), 1);
    v[0x434F0005] = Number(static_cast<uint64_t>(Num(controller, "build_type", 0)), 1);
    v[0x434F0006] = Number(static_cast<uint64_t>(Num(controller, "hw_xor_type", 0)), 4);
    v[0x434F0007] = Number(static_cast<uint64_t>(Num(controller, "fua_enabled", 1)), 4);
    v[0x434F0009] = Number(static_cast<uint64_t>(Num(controller, "preboot_driver_type", 1)), 1);
    return v;
}

Values EndDeviceValues(int port, const json& disk) {
    const auto path = static_cast<uint64_t>(Num(disk, "path", 0));
    const auto target = static_cast<uint64_t>(Num(disk, "target", 0));
    const auto lun = static_cast<uint64_t>(Num(disk, "lun", 0));
    const std::string serial = disk.value("serial", std::string()).substr(0, 64);
    const std::string model = disk.value("model", std::string());
    const std::string firmware = disk.value("firmware", std::string());
    const uint32_t sectorSize = DiskSectorSize(disk);

    Values v;
    v[0x45440000] = Number(
        0x5000000000000000ull | static_cast<uint64_t>(port & 0xFF) << 24 | path << 16 | target << 8 | lun, 8);
    v[0x45440001] = Number(0, 8);
    v[0x45440002] = Number(static_cast<uint64_t>(Num(disk, "protocols", 0x02)), 4);
    v[0x45440003] = Number(static_cast<uint64_t>(Num(disk, "peripheral_type", 0)), 4);
    // The serial number travels in ATA string order (each pair of characters swapped).
    std::vector<uint8_t> ataSerial = Bytes(64);
    for (size_t i = 0; i < serial.size(); ++i)
        ataSerial[i ^ 1] = static_cast<uint8_t>(serial[i]);
    v[0x45440004] = ataSerial;
    v[0x45440005] = Number(serial.size(), 4);
    v[0x45440006] = Number(path, 4);
    v[0x45440007] = Number(target, 4);
    v[0x45440008] = Number(DiskSectors(disk), 8);
    v[0x45440009] = Number(sectorSize, 4);
    v[0x4544000A] = Number(static_cast<uint64_t>(Num(disk, "queue_depth", 32)), 4);
    std::vector<uint8_t> modelBytes = Bytes(16);
    ByteWriter(modelBytes).Text(0, model.substr(0, 16), 16, '\0');
    v[0x4544000B] = modelBytes;
    std::vector<uint8_t> firmwareBytes = Bytes(4);
    ByteWriter(firmwareBytes).Text(0, firmware.substr(0, 4), 4, '\0');
    v[0x4544000C] = firmwareBytes;
    v[0x4544000D] = Number(path, 4);
    v[0x4544000E] = Number(1, 4);
    v[0x4544000F] = Number(static_cast<uint64_t>(Num(disk, "physical_sector_size", sectorSize)), 4);
    v[0x45440010] = Number(1, 1);
    return v;
}

// Whether a disk of the RAID disk table is an end device: present and not missing.
bool EndDevice(const json& disk) {
    const auto flags = static_cast<uint32_t>(Num(disk, "state_flags", 0x10));
    return (flags & 0x10) && !(flags & 0x2000000);
}

// The instances of a kind, each as its field values.
std::vector<Values> Instances(const json& state, const json& adapter, int port, uint32_t kind) {
    std::vector<Values> out;
    if (kind == kController) {
        out.push_back(ControllerValues(state, adapter));
    } else if (kind == kEndDevice) {
        const RaidView view(state, RaidOf(adapter));
        const json& raid = *view;
        for (const auto& d : Table(raid, "disks"))
            if (EndDevice(d))
                out.push_back(EndDeviceValues(port, d));
    }
    return out;
}

// The field lists are the driver's, shared by all its controllers (a caller may read them once for
// all), so the instance count they state is the driver's maximum, the same for every controller:
// one controller record, and end-device slots enough for the largest controller of the driver.
constexpr size_t kEndDeviceSlots = 32;

size_t MaxInstances(const json& state, const json& adapter, uint32_t kind) {
    if (kind == kController)
        return 1;
    if (kind != kEndDevice)
        return 0;
    // Counted in the disk tables themselves: a count asked of every controller reads each once.
    size_t most = kEndDeviceSlots;
    const std::string driver = DescText(adapter, "driver");
    for (const auto& other : Table(state, "adapters"))
        if (DescText(other, "driver") == driver && other.contains("raid")) {
            const json& disks = Table(RaidOf(other), "disks");
            most = std::max<size_t>(
                most, static_cast<size_t>(std::count_if(disks.begin(), disks.end(), EndDevice)));
        }
    return most;
}

// An unused end-device slot: path and target id -1 ("not found"), so a reader that looks past the
// instance count finds no disk in it.
Values UnusedSlot(uint32_t kind) {
    Values v;
    if (kind == kEndDevice) {
        v[0x45440006] = Number(0xFFFFFFFF, 4);
        v[0x45440007] = Number(0xFFFFFFFF, 4);
    }
    return v;
}

uint32_t SupportedMask(const json& adapter) {
    const json& dictionary = RaidOf(adapter).value("dictionary", json::object());
    return static_cast<uint32_t>(Num(dictionary, "mask", kController | kEndDevice));
}

DriverAnswer Supported(DriverRequest& r) {
    return RunOnController(r.port, false, [&](const json&, json& adapter, uint64_t, Announcements&) {
        ByteWriter w(r.buffer);
        const uint32_t mask = SupportedMask(adapter);
        size_t most = 0;
        for (uint32_t kind = 1; kind <= 16; kind <<= 1)
            if (mask & kind)
                most = std::max(most, FieldsOf(kind).size());
        w.U32(supported::kSupportedMask, mask);
        w.U32(supported::kMaxFields, most);
        r.SetReturnCode(0);
        return DriverAnswer{};
    });
}

DriverAnswer Fields(DriverRequest& r) {
    return RunOnController(r.port, false, [&](const json& state, json& adapter, uint64_t, Announcements&) {
        ByteReader in(r.buffer);
        ByteWriter w(r.buffer);
        const uint32_t kind = in.U32(fields::kDictionaryId);
        // The header's Length tells how many descriptors the caller made room for.
        const uint32_t room = r.srb->length >= fields::kLengthBeforeList
                                  ? (r.srb->length - fields::kLengthBeforeList) / descriptor::kSize
                                  : 0;
        if (!(SupportedMask(adapter) & kind) || !in.Has(fields::kFieldList, 0)) {
            r.SetReturnCode(1);
            return DriverAnswer{};
        }
        const auto& list = FieldsOf(kind);
        const size_t count = std::min<size_t>(list.size(), room);
        w.U32(fields::kNumberOfInstances, MaxInstances(state, adapter, kind));
        w.U32(fields::kFieldListOffset, fields::kFieldList);
        w.U32(fields::kNumberOfFields, count);
        for (size_t i = 0; i < count; ++i) {
            const size_t at = fields::kFieldList + descriptor::kSize * i;
            w.U32(at + descriptor::kFieldId, list[i].id);
            w.U32(at + descriptor::kTypeCode, list[i].type);
        }
        r.SetReturnCode(0);
        return DriverAnswer{};
    });
}

DriverAnswer ValuesOf(DriverRequest& r) {
    return RunOnController(r.port, false, [&](const json& state, json& adapter, uint64_t, Announcements&) {
        ByteReader in(r.buffer);
        ByteWriter w(r.buffer);
        const uint32_t kind = in.U32(values::kDictionaryId);
        const uint64_t n = in.U32(values::kNumberOfFields);
        const uint64_t valuesAt = values::kFieldList + descriptor::kSize * n;
        if (!(SupportedMask(adapter) & kind) || valuesAt > r.buffer.size()) {
            r.SetReturnCode(1);
            return DriverAnswer{};
        }
        std::vector<FieldType> asked;
        uint64_t blockSize = 0;
        for (uint64_t i = 0; i < n; ++i) {
            const size_t at = values::kFieldList + descriptor::kSize * i;
            asked.push_back({in.U32(at + descriptor::kFieldId), in.U32(at + descriptor::kTypeCode)});
            blockSize += descriptor::kSize + TypeSize(asked.back().type);
        }
        const auto instances = Instances(state, adapter, r.port, kind);
        const Values unused = UnusedSlot(kind);
        size_t written = 0;
        uint64_t at = valuesAt;
        // The instances first, then every further slot the buffer holds marked unused.
        for (size_t slot = 0; at + blockSize <= r.buffer.size() && blockSize != 0; ++slot) {
            const bool used = slot < instances.size();
            const Values& slotValues = used ? instances[slot] : unused;
            for (const auto& f : asked) {
                w.U32(at + descriptor::kFieldId, f.id);
                w.U32(at + descriptor::kTypeCode, f.type);
                auto it = slotValues.find(f.id);
                const uint32_t size = TypeSize(f.type);
                if (it != slotValues.end())
                    w.Bytes(at + descriptor::kSize, it->second.data(),
                            std::min<size_t>(size, it->second.size()));
                at += descriptor::kSize + size;
            }
            if (used)
                ++written;
        }
        w.U32(values::kFieldListOffset, values::kFieldList);
        w.U32(values::kValuesOffset, valuesAt);
        w.U32(values::kNumberOfInstances, written);
        r.SetReturnCode(0);
        return DriverAnswer{};
    });
}

} // namespace

void RegisterDictionaryFamily(devio::DriverDispatch& dispatch) {
    dispatch.AddMiniport(devio::kRaidDriver, kRaidSignature, kSupportedCode, Supported);
    dispatch.AddMiniport(devio::kRaidDriver, kRaidSignature, kFieldsCode, Fields);
    dispatch.AddMiniport(devio::kRaidDriver, kRaidSignature, kValuesCode, ValuesOf);
}

} // namespace sim::driver
