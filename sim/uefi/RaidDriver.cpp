// The platform vendor's UEFI RAID driver as the firmware runs it ("uefi.raid_drivers"): an outside
// component whose protocols the programs look at. Each instance gets a handle "RAID driver <name>"
// with its configuration protocol (the name at the interface's second field), driver binding
// (`version`), both component name protocols (`driver_name`; the controller name of a child is its
// disk's model), the supported EFI version, a device path and HII configuration access; `without`
// leaves protocols out. The instance's `controller` (a PCI function) is opened by the driver, gets
// the ATA and NVM Express pass-through protocols (`pass_thru` puts them elsewhere or leaves one out),
// and each disk of "disks" whose `uefi` place names that controller (at a SATA `port` or an NVMe
// `namespace`) is a child: a handle "<name> child <n>" with Block I/O and a device path ending in a
// SATA or NVMe node, its controller's PCI I/O opened for it by the driver. With `fast_enum` (default on) the
// instance publishes the fast-enumeration "UEFI" ACPI table of its children.
//
// Calls pass the seam: "ComponentName2.GetDriverName" (`handle`, `language`),
// "ComponentName2.GetControllerName" (`handle`, `controller`, `child`, `language`), "BlockIo.<name>"
// (`handle`), "DriverBinding.<name>" and "HiiConfigAccess.<name>" (`handle`); {"efi_error": n}.
#include <cstring>

#include "platform/uefi/protocol/AtaPassThru.h"
#include "platform/uefi/protocol/ComponentName.h"
#include "platform/uefi/protocol/DevicePath.h"
#include "platform/uefi/protocol/NvmExpressPassThru.h"
#include "sim/DescriptionValues.h"
#include "sim/Schema.h"
#include "sim/uefi/FirmwareState.h"

namespace sim::uefi {
namespace {

using nlohmann::json;
namespace schema = sim::schema;

schema::Shape StatusOutcome() {
    return schema::Object({{"efi_error", schema::Uint(0xFFFFFFFFu)}});
}
const schema::FaultKind kDriverName({"ComponentName2.GetDriverName"}, {"handle", "language"},
                                    StatusOutcome());
const schema::FaultKind kControllerName({"ComponentName2.GetControllerName"},
                                        {"handle", "controller", "child", "language"}, StatusOutcome());
const schema::FaultKind kOthers({"BlockIo.Reset", "BlockIo.ReadBlocks", "BlockIo.WriteBlocks",
                                 "BlockIo.FlushBlocks", "DriverBinding.Supported", "DriverBinding.Start",
                                 "DriverBinding.Stop", "HiiConfigAccess.ExtractConfig",
                                 "HiiConfigAccess.RouteConfig", "HiiConfigAccess.Callback"},
                                {"handle"}, StatusOutcome());

// The fast-enumeration table's identifier and record size, as the driver publishes it.
const EFI_GUID kFastEnumGuid = {0xb73c1974, 0x784d, 0x4991, {0x96, 0x92, 0x67, 0x76, 0xe3, 0x8a, 0xaa, 0x82}};
constexpr size_t kFastEnumRecord = 513;

std::string HandleName(EFI_HANDLE handle) {
    return Active().handles.NameOf(handle);
}

RaidDriver* DriverOf(const EFI_COMPONENT_NAME2_PROTOCOL* self, bool* first) {
    for (RaidDriver& d : Active().drivers) {
        if (self == &d.componentName || self == &d.componentName2) {
            *first = self == &d.componentName;
            return &d;
        }
    }
    return nullptr;
}

// The language is one of the protocol's: "en-US" for component name 2, "eng" for the EFI 1.1 form.
bool Speaks(const RaidDriver& d, bool first, const CHAR8* language) {
    return language && (first ? d.languages1 : d.languages) == language;
}

EFI_STATUS EFIAPI GetDriverName(EFI_COMPONENT_NAME2_PROTOCOL* self, CHAR8* language, CHAR16** name) {
    return Guarded("ComponentName2.GetDriverName", [&]() -> EFI_STATUS {
        bool first = false;
        RaidDriver* d = DriverOf(self, &first);
        if (auto status = Injected("ComponentName2.GetDriverName",
                                   {{"handle", d ? json(HandleName(d->handle)) : json(nullptr)},
                                    {"language", language ? json(language) : json(nullptr)}}))
            return *status;
        if (!d || !language || !name)
            return EFI_INVALID_PARAMETER;
        if (!Speaks(*d, first, language))
            return EFI_UNSUPPORTED;
        *name = d->driverName.data();
        return EFI_SUCCESS;
    });
}

EFI_STATUS EFIAPI GetControllerName(EFI_COMPONENT_NAME2_PROTOCOL* self, EFI_HANDLE controller,
                                    EFI_HANDLE child, CHAR8* language, CHAR16** name) {
    return Guarded("ComponentName2.GetControllerName", [&]() -> EFI_STATUS {
        bool first = false;
        RaidDriver* d = DriverOf(self, &first);
        if (auto status = Injected("ComponentName2.GetControllerName",
                                   {{"handle", d ? json(HandleName(d->handle)) : json(nullptr)},
                                    {"controller", HandleName(controller)},
                                    {"child", child ? json(HandleName(child)) : json(nullptr)},
                                    {"language", language ? json(language) : json(nullptr)}}))
            return *status;
        if (!d || !controller || !language || !name)
            return EFI_INVALID_PARAMETER;
        if (!d->controller || controller != d->controller->handle || !Speaks(*d, first, language))
            return EFI_UNSUPPORTED;
        for (RaidChild& c : d->children) {
            if (c.handle == child) {
                *name = c.model.data();
                return EFI_SUCCESS;
            }
        }
        return EFI_UNSUPPORTED;
    });
}

// The functions of the driver's protocols that no program of this system calls.
EFI_STATUS NotModelled(const char* kind, const std::string& handle) {
    return Guarded(kind, [&]() -> EFI_STATUS {
        if (auto status = Injected(kind, {{"handle", handle}}))
            return *status;
        Problem(std::string(kind) + ": a service the simulated firmware does not provide");
        return EFI_UNSUPPORTED;
    });
}

std::string ChildName(EFI_BLOCK_IO_PROTOCOL* self) {
    for (RaidDriver& d : Active().drivers)
        for (RaidChild& c : d.children)
            if (&c.blockIo == self)
                return HandleName(c.handle);
    return "unknown";
}

EFI_STATUS EFIAPI BlockReset(EFI_BLOCK_IO_PROTOCOL* self, BOOLEAN) {
    return NotModelled("BlockIo.Reset", ChildName(self));
}
EFI_STATUS EFIAPI BlockRead(EFI_BLOCK_IO_PROTOCOL* self, UINT32, EFI_LBA, UINTN, VOID*) {
    return NotModelled("BlockIo.ReadBlocks", ChildName(self));
}
EFI_STATUS EFIAPI BlockWrite(EFI_BLOCK_IO_PROTOCOL* self, UINT32, EFI_LBA, UINTN, VOID*) {
    return NotModelled("BlockIo.WriteBlocks", ChildName(self));
}
EFI_STATUS EFIAPI BlockFlush(EFI_BLOCK_IO_PROTOCOL* self) {
    return NotModelled("BlockIo.FlushBlocks", ChildName(self));
}

std::string BindingName(EFI_DRIVER_BINDING_PROTOCOL* self) {
    return self ? HandleName(self->DriverBindingHandle) : "unknown";
}
EFI_STATUS EFIAPI BindingSupported(EFI_DRIVER_BINDING_PROTOCOL* self, EFI_HANDLE, EFI_DEVICE_PATH_PROTOCOL*) {
    return NotModelled("DriverBinding.Supported", BindingName(self));
}
EFI_STATUS EFIAPI BindingStart(EFI_DRIVER_BINDING_PROTOCOL* self, EFI_HANDLE, EFI_DEVICE_PATH_PROTOCOL*) {
    return NotModelled("DriverBinding.Start", BindingName(self));
}
EFI_STATUS EFIAPI BindingStop(EFI_DRIVER_BINDING_PROTOCOL* self, EFI_HANDLE, UINTN, EFI_HANDLE*) {
    return NotModelled("DriverBinding.Stop", BindingName(self));
}

EFI_STATUS EFIAPI HiiExtract(const EFI_HII_CONFIG_ACCESS_PROTOCOL*, const CHAR16*, CHAR16**, CHAR16**) {
    return NotModelled("HiiConfigAccess.ExtractConfig", "driver");
}
EFI_STATUS EFIAPI HiiRoute(const EFI_HII_CONFIG_ACCESS_PROTOCOL*, const CHAR16*, CHAR16**) {
    return NotModelled("HiiConfigAccess.RouteConfig", "driver");
}
EFI_STATUS EFIAPI HiiCallback(const EFI_HII_CONFIG_ACCESS_PROTOCOL*, UINTN, UINT16, UINT8, VOID*, UINTN*) {
    return NotModelled("HiiConfigAccess.Callback", "driver");
}

void Append16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void Append32(std::vector<uint8_t>& out, uint32_t v) {
    Append16(out, static_cast<uint16_t>(v));
    Append16(out, static_cast<uint16_t>(v >> 16));
}

// A child's path: its controller's path without the end node, then a SATA node (port, no port
// multiplier, LUN 0) or an NVMe namespace node (namespace, no EUI-64), then the end node.
std::vector<uint8_t> ChildPath(const PciFunction& controller, const json& child) {
    std::vector<uint8_t> path(controller.path.begin(), controller.path.end() - 4);
    if (child.contains("port")) {
        path.insert(path.end(), {0x03, 0x12, 10, 0});
        Append16(path, static_cast<uint16_t>(DescNumber(child, "port")));
        Append16(path, 0xFFFF);
        Append16(path, 0);
    } else {
        path.insert(path.end(), {0x03, 0x17, 16, 0});
        Append32(path, static_cast<uint32_t>(DescNumber(child, "namespace")));
        path.insert(path.end(), 8, 0);
    }
    path.insert(path.end(), {0x7F, 0xFF, 4, 0});
    return path;
}

// The disks the firmware finds behind a controller, in the order of "disks".
std::vector<const json*> DisksBehind(const json& machine, const std::string& controller) {
    std::vector<const json*> out;
    if (auto disks = machine.find("disks"); disks != machine.end() && disks->is_array())
        for (const json& d : *disks)
            if (d.is_object() && d.contains("uefi") && DescText(d["uefi"], "controller") == controller)
                out.push_back(&d);
    return out;
}

bool Has(const json& entry, const char* protocol) {
    if (!entry.contains("without"))
        return true;
    for (const json& p : entry["without"])
        if (p == protocol)
            return false;
    return true;
}

void Open(Firmware::State& s, PciFunction& controller, EFI_HANDLE agent, EFI_HANDLE by, uint32_t attributes) {
    void* interface = nullptr;
    if (s.handles.Open(controller.handle, gEfiPciIoProtocolGuid, &interface, agent, by, attributes) !=
        EFI_SUCCESS)
        throw std::runtime_error("uefi.raid_drivers: the driver cannot open PCI " + controller.location);
}

void SetUpDriver(Firmware::State& s, RaidDriver& d, const json& entry, const json& machine, size_t index) {
    d.name = DescText(entry, "name");
    d.driverName = Ucs2FromUtf8(DescText(entry, "driver_name", "Orvex(R) RAID Driver"));
    d.languages = "en-US";
    d.languages1 = "eng";
    d.handle = s.handles.Create("RAID driver " + std::to_string(index));
    d.raidConfig.Name = d.name.data();
    d.binding = {BindingSupported, BindingStart,
                 BindingStop,      static_cast<UINT32>(DescNumber(entry, "version", 0x10)),
                 d.handle,         d.handle};
    d.componentName = {GetDriverName, GetControllerName, d.languages1.data()};
    d.componentName2 = {GetDriverName, GetControllerName, d.languages.data()};
    d.supportedVersion = {sizeof(EFI_DRIVER_SUPPORTED_EFI_VERSION_PROTOCOL), EFI_2_70_SYSTEM_TABLE_REVISION};
    d.hii = {HiiExtract, HiiRoute, HiiCallback};
    // The driver image's file, named by its configuration protocol's GUID.
    d.path = {0x04, 0x06, 20, 0};
    d.path.insert(d.path.end(), reinterpret_cast<const uint8_t*>(&gRaidConfigProtocolGuid),
                  reinterpret_cast<const uint8_t*>(&gRaidConfigProtocolGuid) + 16);
    d.path.insert(d.path.end(), {0x7F, 0xFF, 4, 0});

    const struct {
        const char* key;
        EFI_GUID* guid;
        void* interface;
    } protocols[] = {
        {"raid_config", &gRaidConfigProtocolGuid, &d.raidConfig},
        {"driver_binding", &gEfiDriverBindingProtocolGuid, &d.binding},
        {"component_name", &gEfiComponentNameProtocolGuid, &d.componentName},
        {"component_name2", &gEfiComponentName2ProtocolGuid, &d.componentName2},
        {"supported_efi_version", &gEfiDriverSupportedEfiVersionProtocolGuid, &d.supportedVersion},
        {"device_path", &gEfiDevicePathProtocolGuid, d.path.data()},
        {"hii_config_access", &gEfiHiiConfigAccessProtocolGuid, &d.hii},
    };
    for (const auto& p : protocols)
        if (Has(entry, p.key))
            s.handles.Install(&d.handle, *p.guid, p.interface);

    if (!entry.contains("controller"))
        return;
    d.controller = FindPciFunction(s, DescText(entry, "controller"));
    if (!d.controller)
        return;
    Open(s, *d.controller, d.handle, d.controller->handle, EFI_OPEN_PROTOCOL_BY_DRIVER);

    const json both = json::array({{{"protocol", "ata"}}, {{"protocol", "nvme"}}});
    for (const json& p : entry.contains("pass_thru") ? entry["pass_thru"] : both) {
        PciFunction* on = p.contains("location") ? FindPciFunction(s, DescText(p, "location")) : d.controller;
        const bool ata = DescText(p, "protocol") == "ata";
        if (on && !s.handles.FindProtocol(on->handle, ata ? gEfiAtaPassThruProtocolGuid
                                                          : gEfiNvmExpressPassThruProtocolGuid))
            s.handles.Install(&on->handle,
                              ata ? gEfiAtaPassThruProtocolGuid : gEfiNvmExpressPassThruProtocolGuid,
                              ata ? s.ataPassThru : s.nvmePassThru);
    }

    std::vector<uint8_t> fastEnum{0};
    size_t n = 0;
    {
        for (const json* disk : DisksBehind(machine, d.controller->location)) {
            const json& child = (*disk)["uefi"];
            RaidChild& c = d.children.emplace_back();
            c.model = Ucs2FromUtf8(DescText(*disk, "model"));
            c.media.MediaId = static_cast<UINT32>(DescNumber(child, "media_id"));
            c.media.MediaPresent = TRUE;
            c.media.BlockSize = static_cast<UINT32>(DescNumber(*disk, "logical_sector_size", 512));
            c.media.IoAlign = 4;
            c.media.LastBlock = DescNumber(*disk, "sectors") - 1;
            c.media.LogicalBlocksPerPhysicalBlock = 1;
            c.blockIo = {DescNumber(child, "block_io_revision", EFI_BLOCK_IO_PROTOCOL_REVISION3),
                         &c.media,
                         BlockReset,
                         BlockRead,
                         BlockWrite,
                         BlockFlush};
            c.path = ChildPath(*d.controller, child);
            c.handle = s.handles.Create(d.name + " child " + std::to_string(n++));
            s.handles.Install(&c.handle, gEfiDevicePathProtocolGuid, c.path.data());
            s.handles.Install(&c.handle, gEfiBlockIoProtocolGuid, &c.blockIo);
            Open(s, *d.controller, d.handle, c.handle, EFI_OPEN_PROTOCOL_BY_CHILD_CONTROLLER);
            std::vector<uint8_t> record(kFastEnumRecord, 0);
            record[0] =
                static_cast<uint8_t>(DescNumber(child, child.contains("port") ? "port" : "namespace"));
            fastEnum.insert(fastEnum.end(), record.begin(), record.end());
        }
    }
    fastEnum[0] = static_cast<uint8_t>(d.children.size());
    if (DescFlag(entry, "fast_enum", true))
        s.driverTables.emplace_back(kFastEnumGuid, fastEnum);
}

} // namespace

void SetUpRaidDrivers(Firmware::State& s, const json& machine) {
    const json& drivers = UefiPart(machine, "raid_drivers");
    if (!drivers.is_array())
        return;
    size_t index = 0;
    for (const json& entry : drivers)
        SetUpDriver(s, s.drivers.emplace_back(), entry, machine, index++);
}

} // namespace sim::uefi
