// What the firmware set up on the platform besides the PCI functions' identity: the registers it
// programmed ("uefi.pci_config": bytes written at an offset of a function's configuration space, the
// remapping controller's window base and size among them), the PCI root bridge (configuration access
// by address, the extended registers from 256 up included), the remapping controller's configuration
// window ("uefi.remap_window": the functions it shows, decoded at the base and size the controller's
// registers 10h and 4Ch hold) behind the base I/O library's memory reads, and the processor's
// identification behind CPUID ("uefi.cpu"). The functions a remap request in the variable store lists
// ("OrvexZrcOsVariable", as moxcli writes it) appear in the window too: the firmware remaps them at
// boot.
//
// Calls pass the seam: "PciRootBridgeIo.Pci.Read" (`address`, `width`, `count`; {"efi_error": n}),
// the other root bridge functions (none, for the log); "Mmio.Read" (`address`, `width`) and "Cpuid"
// (`leaf`) for the log only. A memory read of an address nothing decodes answers all ones and is
// recorded as a problem.
#include <algorithm>
#include <cstring>

#include "platform/uefi/BaseCpuId.h"
#include "platform/uefi/BaseIoLib.h"
#include "sim/DescriptionNumbers.h"
#include "sim/DescriptionValues.h"
#include "sim/FirmwareVariables.h"
#include "sim/Schema.h"
#include "sim/uefi/FirmwareState.h"

namespace sim::uefi {
namespace {

using nlohmann::json;
namespace schema = sim::schema;

const schema::FaultKind kRootBridgeRead({"PciRootBridgeIo.Pci.Read"}, {"address", "width", "count"},
                                        schema::Object({{"efi_error", schema::Uint(0xFFFFFFFFu)}}));
const schema::FaultKind kRootBridgeOthers({"PciRootBridgeIo.Pci.Write", "PciRootBridgeIo.Mem.Read",
                                           "PciRootBridgeIo.Mem.Write", "PciRootBridgeIo.Io.Read",
                                           "PciRootBridgeIo.Io.Write"},
                                          {}, schema::Object({{"efi_error", schema::Uint(0xFFFFFFFFu)}}));

constexpr size_t kConfigSize = 4096;
constexpr uint32_t kWindowBaseRegister = 0x10;
constexpr uint32_t kWindowSizeRegister = 0x4C;
constexpr size_t kHeaderSize = 64;

const char kRemapVariable[] = "OrvexZrcOsVariable";
const char kRemapGuid[] = "{61a14fe8-4dab-4a19-b1e3-97fb23d09212}";
constexpr size_t kRemapVariableSize = 64;
constexpr uint32_t kFirstRemappedSlot = 16;

std::string Hex64(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof(text), "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

EFI_STATUS EFIAPI RootBridgePciRead(EFI_PCI_ROOT_BRIDGE_IO_PROTOCOL*,
                                    EFI_PCI_ROOT_BRIDGE_IO_PROTOCOL_WIDTH width, UINT64 address, UINTN count,
                                    VOID* buffer) {
    return Guarded("PciRootBridgeIo.Pci.Read", [&]() -> EFI_STATUS {
        if (auto status = Injected("PciRootBridgeIo.Pci.Read",
                                   {{"address", Hex64(address)}, {"width", width}, {"count", count}}))
            return *status;
        if (!buffer || width < EfiPciIoWidthUint8 || width > EfiPciIoWidthUint64)
            return EFI_INVALID_PARAMETER;
        const uint32_t bus = (address >> 24) & 0xFF, device = (address >> 16) & 0xFF,
                       function = (address >> 8) & 0xFF;
        const uint32_t extended = static_cast<uint32_t>(address >> 32);
        const uint32_t offset = extended ? extended : static_cast<uint32_t>(address & 0xFF);
        const size_t bytes = (size_t{1} << width) * count;
        if (count > kConfigSize || offset + bytes > kConfigSize)
            return EFI_INVALID_PARAMETER;
        PciFunction* f = FindPciFunction(Active(), std::to_string(bus) + ":" + std::to_string(device) + "." +
                                                       std::to_string(function));
        // No function at the address: the read completes with all ones, as a master abort does.
        if (!f)
            std::memset(buffer, 0xFF, bytes);
        else
            std::memcpy(buffer, &f->config[offset], bytes);
        return EFI_SUCCESS;
    });
}

EFI_STATUS EFIAPI RootBridgePciWrite(EFI_PCI_ROOT_BRIDGE_IO_PROTOCOL*, EFI_PCI_ROOT_BRIDGE_IO_PROTOCOL_WIDTH,
                                     UINT64, UINTN, VOID*) {
    return NotProvided("PciRootBridgeIo.Pci.Write");
}
EFI_STATUS EFIAPI RootBridgeMemRead(EFI_PCI_ROOT_BRIDGE_IO_PROTOCOL*, EFI_PCI_ROOT_BRIDGE_IO_PROTOCOL_WIDTH,
                                    UINT64, UINTN, VOID*) {
    return NotProvided("PciRootBridgeIo.Mem.Read");
}
EFI_STATUS EFIAPI RootBridgeMemWrite(EFI_PCI_ROOT_BRIDGE_IO_PROTOCOL*, EFI_PCI_ROOT_BRIDGE_IO_PROTOCOL_WIDTH,
                                     UINT64, UINTN, VOID*) {
    return NotProvided("PciRootBridgeIo.Mem.Write");
}
EFI_STATUS EFIAPI RootBridgeIoRead(EFI_PCI_ROOT_BRIDGE_IO_PROTOCOL*, EFI_PCI_ROOT_BRIDGE_IO_PROTOCOL_WIDTH,
                                   UINT64, UINTN, VOID*) {
    return NotProvided("PciRootBridgeIo.Io.Read");
}
EFI_STATUS EFIAPI RootBridgeIoWrite(EFI_PCI_ROOT_BRIDGE_IO_PROTOCOL*, EFI_PCI_ROOT_BRIDGE_IO_PROTOCOL_WIDTH,
                                    UINT64, UINTN, VOID*) {
    return NotProvided("PciRootBridgeIo.Io.Write");
}

// The byte at a physical address as the platform decodes it, or nothing.
std::optional<uint8_t> DecodeByte(const Firmware::State& s, uint64_t address) {
    const PciFunction* zrc = s.windowController;
    if (!zrc)
        return std::nullopt;
    uint64_t base = 0;
    std::memcpy(&base, &zrc->config[kWindowBaseRegister], sizeof(base));
    base &= ~uint64_t{0xF};
    const unsigned exponent = zrc->config[kWindowSizeRegister] % 64;
    const uint64_t size = uint64_t{1} << exponent;
    if (address < base || address - base >= size)
        return std::nullopt;
    const uint64_t offset = address - base;
    const uint32_t key = static_cast<uint32_t>(offset >> 12) & 0xFFFF; // bus, device, function
    auto f = s.windowFunctions.find(key);
    if (f == s.windowFunctions.end())
        return uint8_t{0xFF};
    const size_t reg = offset & 0xFFF;
    return reg < f->second.size() ? f->second[reg] : uint8_t{0};
}

template <class T> T MmioRead(UINTN address) {
    T value = static_cast<T>(~T{0});
    GuardedVoid("Mmio.Read", [&] {
        Seam("Mmio.Read", {{"address", Hex64(address)}, {"width", sizeof(T)}});
        const Firmware::State& s = Active();
        uint8_t bytes[sizeof(T)];
        for (size_t i = 0; i < sizeof(T); ++i) {
            auto byte = DecodeByte(s, static_cast<uint64_t>(address) + i);
            if (!byte) {
                Problem("Mmio.Read: nothing decodes the address " + Hex64(address + i));
                return;
            }
            bytes[i] = *byte;
        }
        std::memcpy(&value, bytes, sizeof(T));
    });
    return value;
}

// The brand string as CPUID gives it: 48 bytes, zero-padded.
void BrandRegisters(const std::string& brand, UINT32 leaf, UINT32 out[4]) {
    char bytes[48] = {};
    std::memcpy(bytes, brand.data(), std::min(brand.size(), sizeof(bytes)));
    std::memcpy(out, bytes + (leaf - 0x80000002u) * 16, 16);
}

// The remap request moxcli schedules in the variable store: at boot the firmware moves each listed
// function behind the remapping controller, where the window shows its header on bus 0 from device
// 16 on, in the order of the request.
void MapRemapRequest(Firmware::State& s, const json& machine) {
    auto firmware = machine.find("firmware");
    if (firmware == machine.end() || !firmware->is_object() || !firmware->contains("variables"))
        return;
    for (const json& v : (*firmware)["variables"]) {
        if (DescText(v, "name") != kRemapVariable ||
            sim::firmware::NormalGuid(DescText(v, "guid")) != kRemapGuid)
            continue;
        const auto bytes = ParseDescHex(DescText(v, "hex"));
        if (!bytes || bytes->size() != kRemapVariableSize)
            return;
        // Bits 0-5 of the control word count the locations; 31 at most.
        const size_t count = std::min<size_t>((*bytes)[0] & 0x3F, 31);
        for (size_t i = 0; i < count; ++i) {
            const uint16_t word = static_cast<uint16_t>((*bytes)[2 + 2 * i] | (*bytes)[3 + 2 * i] << 8);
            const std::string location = std::to_string(word & 0xFF) + ":" +
                                         std::to_string((word >> 8) & 0x1F) + "." +
                                         std::to_string(word >> 13);
            const PciFunction* f = FindPciFunction(s, location);
            if (!f)
                continue;
            const uint32_t slot = kFirstRemappedSlot + static_cast<uint32_t>(i);
            s.windowFunctions[(slot / 32) << 8 | (slot % 32) << 3] =
                std::vector<uint8_t>(f->config.begin(), f->config.begin() + kHeaderSize);
        }
    }
}

} // namespace

const json& UefiPart(const json& machine, const char* key) {
    static const json empty = json::object();
    auto uefi = machine.find("uefi");
    if (uefi == machine.end() || !uefi->is_object())
        return empty;
    auto part = uefi->find(key);
    return part == uefi->end() ? empty : *part;
}

void SetUpPlatform(Firmware::State& s, const json& machine) {
    const json& programmed = UefiPart(machine, "pci_config");
    if (programmed.is_array()) {
        for (const json& entry : programmed) {
            PciFunction* f = FindPciFunction(s, DescText(entry, "location"));
            const auto bytes = ParseDescHex(DescText(entry, "hex"));
            const size_t offset = DescNumber(entry, "offset");
            if (!f || !bytes || offset + bytes->size() > f->config.size())
                throw std::runtime_error("uefi.pci_config: bytes beyond the configuration space of " +
                                         DescText(entry, "location"));
            std::memcpy(&f->config[offset], bytes->data(), bytes->size());
        }
    }

    EFI_PCI_ROOT_BRIDGE_IO_PROTOCOL& rb = s.rootBridge;
    rb.Pci = {RootBridgePciRead, RootBridgePciWrite};
    rb.Mem = {RootBridgeMemRead, RootBridgeMemWrite};
    rb.Io = {RootBridgeIoRead, RootBridgeIoWrite};
    rb.SegmentNumber = 0;
    EFI_HANDLE handle = s.handles.Create("PCI root bridge 0");
    rb.ParentHandle = handle;
    s.handles.Install(&handle, gEfiPciRootBridgeIoProtocolGuid, &rb);

    const json& window = UefiPart(machine, "remap_window");
    if (window.contains("controller")) {
        s.windowController = FindPciFunction(s, DescText(window, "controller"));
        if (window.contains("functions"))
            for (const json& fn : window["functions"]) {
                const uint32_t key = static_cast<uint32_t>(
                    DescNumber(fn, "bus") << 8 | DescNumber(fn, "device") << 3 | DescNumber(fn, "function"));
                auto bytes = ParseDescHex(DescText(fn, "hex"));
                if (bytes)
                    bytes->resize(std::min(bytes->size(), kConfigSize));
                s.windowFunctions[key] = bytes ? *bytes : std::vector<uint8_t>{};
            }
    }

    if (s.windowController)
        MapRemapRequest(s, machine);

    const json& cpu = UefiPart(machine, "cpu");
    s.cpuBrand = DescText(cpu, "brand");
    s.cpuSignature = static_cast<uint32_t>(DescNumber(cpu, "signature"));
}

} // namespace sim::uefi

UINT8 EFIAPI MmioRead8(UINTN Address) {
    return sim::uefi::MmioRead<UINT8>(Address);
}

UINT16 EFIAPI MmioRead16(UINTN Address) {
    return sim::uefi::MmioRead<UINT16>(Address);
}

UINT32 EFIAPI MmioRead32(UINTN Address) {
    return sim::uefi::MmioRead<UINT32>(Address);
}

VOID EFIAPI AsmCpuid(UINT32 Index, UINT32* Eax, UINT32* Ebx, UINT32* Ecx, UINT32* Edx) {
    UINT32 r[4] = {0, 0, 0, 0};
    sim::uefi::GuardedVoid("Cpuid", [&] {
        sim::uefi::Seam("Cpuid", {{"leaf", Index}});
        const auto& s = sim::uefi::Active();
        if (Index == 1)
            r[0] = s.cpuSignature;
        else if (Index == 0x80000000u)
            r[0] = 0x80000004u;
        else if (Index >= 0x80000002u && Index <= 0x80000004u)
            sim::uefi::BrandRegisters(s.cpuBrand, Index, r);
    });
    if (Eax)
        *Eax = r[0];
    if (Ebx)
        *Ebx = r[1];
    if (Ecx)
        *Ecx = r[2];
    if (Edx)
        *Edx = r[3];
}
