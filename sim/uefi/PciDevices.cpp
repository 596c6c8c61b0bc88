// The machine's PCI functions as the firmware sees them: every present device node of the "devices"
// section that the PCI bus enumerated (an instance id of the "PCI" enumerator with an Address) gets a
// handle named "PCI <bus>:<device>.<function>" with a PCI I/O protocol. Its configuration header
// holds what the node says of the device (vendor, device, subsystem and revision from the id, the
// class codes from its properties); the rest of its configuration space reads as zero. Attributes
// start cleared, with I/O, memory decoding and bus mastering supported. Each handle carries the
// function's device path too.
//
// Calls pass the seam as "PciIo.<name>" with the selector `location` ("0:14.0"), and for
// configuration access `offset`, `width` and `count`, for attributes `operation` ("get", "set",
// "enable", "disable", "supported"). {"efi_error": n} makes a call return that error;
// {"attributes": n} makes the get or supported operation answer n.
#include <cstring>
#include <regex>
#include <tuple>

#include "platform/uefi/protocol/DevicePath.h"
#include "sim/DescriptionValues.h"
#include "sim/Schema.h"
#include "sim/uefi/FirmwareState.h"

namespace sim::uefi {
namespace {

using nlohmann::json;
namespace schema = sim::schema;

const schema::FaultKind kConfig({"PciIo.Pci.Read", "PciIo.Pci.Write"},
                                {"location", "offset", "width", "count"},
                                schema::Object({{"efi_error", schema::Uint(0xFFFFFFFFu)}}));
const schema::FaultKind
    kAttributes({"PciIo.Attributes"}, {"location", "operation"},
                schema::Object({{"efi_error", schema::Uint(0xFFFFFFFFu)}, {"attributes", schema::Uint64()}}));
const schema::FaultKind kOthers({"PciIo.GetLocation", "PciIo.PollMem", "PciIo.PollIo", "PciIo.Mem.Read",
                                 "PciIo.Mem.Write", "PciIo.Io.Read", "PciIo.Io.Write", "PciIo.CopyMem",
                                 "PciIo.Map", "PciIo.Unmap", "PciIo.AllocateBuffer", "PciIo.FreeBuffer",
                                 "PciIo.Flush", "PciIo.GetBarAttributes", "PciIo.SetBarAttributes"},
                                {"location"}, schema::Object({{"efi_error", schema::Uint(0xFFFFFFFFu)}}));

constexpr size_t kConfigSize = 4096;
constexpr uint64_t kSupported =
    EFI_PCI_IO_ATTRIBUTE_IO | EFI_PCI_IO_ATTRIBUTE_MEMORY | EFI_PCI_IO_ATTRIBUTE_BUS_MASTER;

PciFunction* Function(EFI_PCI_IO_PROTOCOL* self) {
    for (PciFunction& f : Active().pci)
        if (&f.protocol == self)
            return &f;
    return nullptr;
}

// What a call passes to the seam first: its location, or nothing for a protocol the firmware did not
// hand out.
std::optional<EFI_STATUS> Enter(const char* kind, PciFunction* f, json selectors = json::object()) {
    selectors["location"] = f ? json(f->location) : json(nullptr);
    if (auto status = Injected(kind, selectors))
        return status;
    if (!f)
        return EFI_INVALID_PARAMETER;
    return std::nullopt;
}

// The command register follows the decoding and bus mastering attributes.
void SyncCommand(PciFunction& f) {
    uint16_t command = 0;
    std::memcpy(&command, &f.config[4], 2);
    command &= static_cast<uint16_t>(~0x7u);
    if (f.attributes & EFI_PCI_IO_ATTRIBUTE_IO)
        command |= 0x1;
    if (f.attributes & EFI_PCI_IO_ATTRIBUTE_MEMORY)
        command |= 0x2;
    if (f.attributes & EFI_PCI_IO_ATTRIBUTE_BUS_MASTER)
        command |= 0x4;
    std::memcpy(&f.config[4], &command, 2);
}

EFI_STATUS ConfigAccess(const char* kind, EFI_PCI_IO_PROTOCOL* self, EFI_PCI_IO_PROTOCOL_WIDTH width,
                        UINT32 offset, UINTN count, VOID* buffer, bool write) {
    return Guarded(kind, [&]() -> EFI_STATUS {
        PciFunction* f = Function(self);
        if (auto status = Enter(kind, f, {{"offset", offset}, {"width", width}, {"count", count}}))
            return *status;
        if (!buffer || width < EfiPciIoWidthUint8 || width >= EfiPciIoWidthMaximum)
            return EFI_INVALID_PARAMETER;
        // FIFO and fill forms of configuration access are not modelled.
        if (width > EfiPciIoWidthUint64)
            return EFI_UNSUPPORTED;
        const size_t unit = size_t{1} << width;
        if (offset % unit != 0 || count > kConfigSize || offset + unit * count > kConfigSize)
            return EFI_UNSUPPORTED;
        if (write) {
            std::memcpy(&f->config[offset], buffer, unit * count);
        } else {
            std::memcpy(buffer, &f->config[offset], unit * count);
        }
        return EFI_SUCCESS;
    });
}

EFI_STATUS EFIAPI PciRead(EFI_PCI_IO_PROTOCOL* self, EFI_PCI_IO_PROTOCOL_WIDTH width, UINT32 offset,
                          UINTN count, VOID* buffer) {
    return ConfigAccess("PciIo.Pci.Read", self, width, offset, count, buffer, false);
}

EFI_STATUS EFIAPI PciWrite(EFI_PCI_IO_PROTOCOL* self, EFI_PCI_IO_PROTOCOL_WIDTH width, UINT32 offset,
                           UINTN count, VOID* buffer) {
    return ConfigAccess("PciIo.Pci.Write", self, width, offset, count, buffer, true);
}

EFI_STATUS EFIAPI GetLocation(EFI_PCI_IO_PROTOCOL* self, UINTN* segment, UINTN* bus, UINTN* device,
                              UINTN* function) {
    return Guarded("PciIo.GetLocation", [&]() -> EFI_STATUS {
        PciFunction* f = Function(self);
        if (auto status = Enter("PciIo.GetLocation", f))
            return *status;
        if (!segment || !bus || !device || !function)
            return EFI_INVALID_PARAMETER;
        *segment = f->segment;
        *bus = f->bus;
        *device = f->device;
        *function = f->function;
        return EFI_SUCCESS;
    });
}

const char* OperationName(EFI_PCI_IO_PROTOCOL_ATTRIBUTE_OPERATION operation) {
    switch (operation) {
    case EfiPciIoAttributeOperationGet:
        return "get";
    case EfiPciIoAttributeOperationSet:
        return "set";
    case EfiPciIoAttributeOperationEnable:
        return "enable";
    case EfiPciIoAttributeOperationDisable:
        return "disable";
    case EfiPciIoAttributeOperationSupported:
        return "supported";
    default:
        return "unknown";
    }
}

EFI_STATUS EFIAPI Attributes(EFI_PCI_IO_PROTOCOL* self, EFI_PCI_IO_PROTOCOL_ATTRIBUTE_OPERATION operation,
                             UINT64 attributes, UINT64* result) {
    return Guarded("PciIo.Attributes", [&]() -> EFI_STATUS {
        PciFunction* f = Function(self);
        auto outcome = Seam("PciIo.Attributes", {{"location", f ? json(f->location) : json(nullptr)},
                                                 {"operation", OperationName(operation)}});
        if (auto status = InjectedStatus(outcome))
            return *status;
        if (!f)
            return EFI_INVALID_PARAMETER;
        switch (operation) {
        case EfiPciIoAttributeOperationGet:
        case EfiPciIoAttributeOperationSupported:
            if (!result)
                return EFI_INVALID_PARAMETER;
            *result = operation == EfiPciIoAttributeOperationGet ? f->attributes : f->supported;
            if (outcome && outcome->contains("attributes"))
                *result = DescValue((*outcome)["attributes"]);
            return EFI_SUCCESS;
        case EfiPciIoAttributeOperationSet:
        case EfiPciIoAttributeOperationEnable:
            if (attributes & ~f->supported)
                return EFI_UNSUPPORTED;
            f->attributes =
                operation == EfiPciIoAttributeOperationSet ? attributes : f->attributes | attributes;
            SyncCommand(*f);
            return EFI_SUCCESS;
        case EfiPciIoAttributeOperationDisable:
            if (attributes & ~f->supported)
                return EFI_UNSUPPORTED;
            f->attributes &= ~attributes;
            SyncCommand(*f);
            return EFI_SUCCESS;
        default:
            return EFI_INVALID_PARAMETER;
        }
    });
}

// The parts of PCI I/O a firmware program of this system does not use.
EFI_STATUS NotModelled(const char* kind, EFI_PCI_IO_PROTOCOL* self) {
    return Guarded(kind, [&]() -> EFI_STATUS {
        if (auto status = Enter(kind, Function(self)))
            return *status;
        Problem(std::string(kind) + ": a service the simulated firmware does not provide");
        return EFI_UNSUPPORTED;
    });
}

EFI_STATUS EFIAPI PollMem(EFI_PCI_IO_PROTOCOL* self, EFI_PCI_IO_PROTOCOL_WIDTH, UINT8, UINT64, UINT64, UINT64,
                          UINT64, UINT64*) {
    return NotModelled("PciIo.PollMem", self);
}
EFI_STATUS EFIAPI PollIo(EFI_PCI_IO_PROTOCOL* self, EFI_PCI_IO_PROTOCOL_WIDTH, UINT8, UINT64, UINT64, UINT64,
                         UINT64, UINT64*) {
    return NotModelled("PciIo.PollIo", self);
}
EFI_STATUS EFIAPI MemRead(EFI_PCI_IO_PROTOCOL* self, EFI_PCI_IO_PROTOCOL_WIDTH, UINT8, UINT64, UINTN, VOID*) {
    return NotModelled("PciIo.Mem.Read", self);
}
EFI_STATUS EFIAPI MemWrite(EFI_PCI_IO_PROTOCOL* self, EFI_PCI_IO_PROTOCOL_WIDTH, UINT8, UINT64, UINTN,
                           VOID*) {
    return NotModelled("PciIo.Mem.Write", self);
}
EFI_STATUS EFIAPI IoRead(EFI_PCI_IO_PROTOCOL* self, EFI_PCI_IO_PROTOCOL_WIDTH, UINT8, UINT64, UINTN, VOID*) {
    return NotModelled("PciIo.Io.Read", self);
}
EFI_STATUS EFIAPI IoWrite(EFI_PCI_IO_PROTOCOL* self, EFI_PCI_IO_PROTOCOL_WIDTH, UINT8, UINT64, UINTN, VOID*) {
    return NotModelled("PciIo.Io.Write", self);
}
EFI_STATUS EFIAPI CopyMem(EFI_PCI_IO_PROTOCOL* self, EFI_PCI_IO_PROTOCOL_WIDTH, UINT8, UINT64, UINT8, UINT64,
                          UINTN) {
    return NotModelled("PciIo.CopyMem", self);
}
EFI_STATUS EFIAPI Map(EFI_PCI_IO_PROTOCOL* self, EFI_PCI_IO_PROTOCOL_OPERATION, VOID*, UINTN*,
                      EFI_PHYSICAL_ADDRESS*, VOID**) {
    return NotModelled("PciIo.Map", self);
}
EFI_STATUS EFIAPI Unmap(EFI_PCI_IO_PROTOCOL* self, VOID*) {
    return NotModelled("PciIo.Unmap", self);
}
EFI_STATUS EFIAPI AllocateBuffer(EFI_PCI_IO_PROTOCOL* self, EFI_ALLOCATE_TYPE, EFI_MEMORY_TYPE, UINTN, VOID**,
                                 UINT64) {
    return NotModelled("PciIo.AllocateBuffer", self);
}
EFI_STATUS EFIAPI FreeBuffer(EFI_PCI_IO_PROTOCOL* self, UINTN, VOID*) {
    return NotModelled("PciIo.FreeBuffer", self);
}
EFI_STATUS EFIAPI Flush(EFI_PCI_IO_PROTOCOL* self) {
    return NotModelled("PciIo.Flush", self);
}
EFI_STATUS EFIAPI GetBarAttributes(EFI_PCI_IO_PROTOCOL* self, UINT8, UINT64*, VOID**) {
    return NotModelled("PciIo.GetBarAttributes", self);
}
EFI_STATUS EFIAPI SetBarAttributes(EFI_PCI_IO_PROTOCOL* self, UINT64, UINT8, UINT64*, UINT64*) {
    return NotModelled("PciIo.SetBarAttributes", self);
}

// The hexadecimal number after `key` in an instance id ("VEN_1F4A" -> 0x1F4A), or -1.
int64_t IdNumber(const std::string& id, const std::string& key) {
    std::smatch m;
    if (!std::regex_search(id, m, std::regex(key + "_([0-9A-Fa-f]+)")))
        return -1;
    return std::stoll(m[1].str(), nullptr, 16);
}

void Put16(std::vector<uint8_t>& config, size_t offset, uint16_t value) {
    std::memcpy(&config[offset], &value, 2);
}

// The root bridge's ACPI node (PNP0A03, UID 0), the function's PCI node and the end node.
std::vector<uint8_t> PciPath(uint32_t device, uint32_t function) {
    return {0x02,
            0x01,
            12,
            0,
            0xD0,
            0x41,
            0x03,
            0x0A,
            0,
            0,
            0,
            0,
            0x01,
            0x01,
            6,
            0,
            static_cast<uint8_t>(function),
            static_cast<uint8_t>(device),
            0x7F,
            0xFF,
            4,
            0};
}

} // namespace

void SetUpPci(Firmware::State& state, const json& machine) {
    auto devices = machine.find("devices");
    if (devices == machine.end() || !devices->is_object() || !devices->contains("nodes"))
        return;
    for (const json& node : (*devices)["nodes"]) {
        const std::string id = DescText(node, "id");
        if (id.size() < 4 || (id.compare(0, 4, "PCI\\") != 0 && id.compare(0, 4, "pci\\") != 0))
            continue;
        if (!DescFlag(node, "present", true) || DescFlag(node, "pending", false))
            continue;
        const json none = json::object();
        const json& properties = node.contains("properties") ? node["properties"] : none;
        if (!properties.contains("Address"))
            continue;
        const uint64_t address = DescNumber(properties, "Address");
        PciFunction& f = state.pci.emplace_back();
        f.bus = static_cast<uint32_t>(DescNumber(properties, "BusNumber"));
        f.device = static_cast<uint32_t>(address >> 16);
        f.function = static_cast<uint32_t>(address & 0xFFFF);
        f.location =
            std::to_string(f.bus) + ":" + std::to_string(f.device) + "." + std::to_string(f.function);
        f.config.assign(kConfigSize, 0);
        const int64_t vendor = IdNumber(id, "VEN"), device = IdNumber(id, "DEV"),
                      subsys = IdNumber(id, "SUBSYS"), revision = IdNumber(id, "REV");
        Put16(f.config, 0x00, static_cast<uint16_t>(vendor < 0 ? 0xFFFF : vendor));
        Put16(f.config, 0x02, static_cast<uint16_t>(device < 0 ? 0xFFFF : device));
        f.config[0x08] = static_cast<uint8_t>(revision < 0 ? 0 : revision);
        f.config[0x09] = static_cast<uint8_t>(DescNumber(properties, "PciProgIf"));
        f.config[0x0A] = static_cast<uint8_t>(DescNumber(properties, "PciSubClass"));
        f.config[0x0B] = static_cast<uint8_t>(DescNumber(properties, "PciBaseClass"));
        if (subsys >= 0) {
            // SUBSYS_ssssvvvv: the subsystem id, then its vendor.
            Put16(f.config, 0x2C, static_cast<uint16_t>(subsys & 0xFFFF));
            Put16(f.config, 0x2E, static_cast<uint16_t>(subsys >> 16));
        }
        f.supported = kSupported;
        EFI_PCI_IO_PROTOCOL& p = f.protocol;
        p.PollMem = PollMem;
        p.PollIo = PollIo;
        p.Mem = {MemRead, MemWrite};
        p.Io = {IoRead, IoWrite};
        p.Pci = {PciRead, PciWrite};
        p.CopyMem = CopyMem;
        p.Map = Map;
        p.Unmap = Unmap;
        p.AllocateBuffer = AllocateBuffer;
        p.FreeBuffer = FreeBuffer;
        p.Flush = Flush;
        p.GetLocation = GetLocation;
        p.Attributes = Attributes;
        p.GetBarAttributes = GetBarAttributes;
        p.SetBarAttributes = SetBarAttributes;
    }
    // The bus driver enumerates in bus, device and function order.
    state.pci.sort([](const PciFunction& a, const PciFunction& b) {
        return std::tie(a.segment, a.bus, a.device, a.function) <
               std::tie(b.segment, b.bus, b.device, b.function);
    });
    for (PciFunction& f : state.pci) {
        f.handle = state.handles.Create("PCI " + f.location);
        state.handles.Install(&f.handle, gEfiPciIoProtocolGuid, &f.protocol);
        f.path = PciPath(f.device, f.function);
        state.handles.Install(&f.handle, gEfiDevicePathProtocolGuid, f.path.data());
    }
}

PciFunction* FindPciFunction(Firmware::State& state, const std::string& location) {
    for (PciFunction& f : state.pci)
        if (f.location == location)
            return &f;
    return nullptr;
}

} // namespace sim::uefi
