// The ACPI tables the firmware built, in memory below 4 GB so that the 32-bit root table can hold
// their addresses, and the hand-off block list, both reached through the configuration table
// ("uefi.acpi", "uefi.hob_list"). The root pointer (revision 2 by default; `rsdp_revision` 0 gives the
// 20-byte ACPI 1.0 pointer) leads to an XSDT and an RSDT (`xsdt`, `rsdt`: false leaves one out;
// `xsdt_signature` gives a broken one), both listing every "UEFI" table: those of `tables` (identifier
// and data; `length` overrides the header's length, `data_offset` the data offset field) and those the
// RAID drivers publish. The ACPI table
// protocol is installed unless `table_protocol` is false.
//
// Calls pass the seam: "AcpiTable.InstallAcpiTable", "AcpiTable.UninstallAcpiTable" (none;
// {"efi_error": n}); they are not modelled further.
#include <sys/mman.h>

#include <cstring>

#include "platform/uefi/Acpi.h"
#include "sim/DescriptionNumbers.h"
#include "sim/DescriptionValues.h"
#include "sim/Schema.h"
#include "sim/uefi/FirmwareState.h"

namespace sim::uefi {
namespace {

using nlohmann::json;
namespace schema = sim::schema;

const schema::FaultKind kAcpiTable({"AcpiTable.InstallAcpiTable", "AcpiTable.UninstallAcpiTable"}, {},
                                   schema::Object({{"efi_error", schema::Uint(0xFFFFFFFFu)}}));

EFI_STATUS EFIAPI InstallAcpiTable(EFI_ACPI_TABLE_PROTOCOL*, VOID*, UINTN, UINTN*) {
    return NotProvided("AcpiTable.InstallAcpiTable");
}

EFI_STATUS EFIAPI UninstallAcpiTable(EFI_ACPI_TABLE_PROTOCOL*, UINTN) {
    return NotProvided("AcpiTable.UninstallAcpiTable");
}

uint8_t Checksum(const uint8_t* bytes, size_t size) {
    uint8_t sum = 0;
    for (size_t i = 0; i < size; ++i)
        sum = static_cast<uint8_t>(sum + bytes[i]);
    return static_cast<uint8_t>(0 - sum);
}

void Header(uint8_t* at, const char* signature, uint32_t length) {
    ACPI_DESCRIPTION_HEADER h{};
    std::memcpy(h.Signature, signature, 4);
    h.Length = length;
    h.Revision = 1;
    std::memcpy(h.OemId, "MOXSIM", 6);
    std::memcpy(h.OemTableId, "MOXSIMPC", 8);
    h.OemRevision = 1;
    std::memcpy(&h.CreatorId, "MOXS", 4);
    h.CreatorRevision = 1;
    std::memcpy(at, &h, sizeof(h));
}

struct UefiTable {
    EFI_GUID guid;
    std::vector<uint8_t> data;
    std::optional<uint32_t> length;
    uint16_t dataOffset = sizeof(ACPI_UEFI_TABLE);
};

} // namespace

LowMemory::~LowMemory() {
    if (base_)
        munmap(base_, size_);
}

uint8_t* LowMemory::Reserve(size_t size) {
    if (base_)
        munmap(base_, size_);
    base_ = nullptr;
    size_ = (size + 4095) / 4096 * 4096;
    void* p = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
    if (p == MAP_FAILED)
        return nullptr;
    base_ = p;
    return static_cast<uint8_t*>(p);
}

void SetUpAcpi(Firmware::State& s, const json& machine) {
    const json& acpi = UefiPart(machine, "acpi");
    std::vector<UefiTable> tables;
    if (acpi.contains("tables")) {
        for (const json& t : acpi["tables"]) {
            auto guid = GuidFromText(DescText(t, "guid"));
            auto data = ParseDescHex(DescText(t, "hex"));
            if (!guid || !data)
                throw std::runtime_error("uefi.acpi.tables: a table needs a GUID and hex data");
            std::optional<uint32_t> length;
            if (t.contains("length"))
                length = static_cast<uint32_t>(DescNumber(t, "length"));
            tables.push_back({*guid, *data, length,
                              static_cast<uint16_t>(DescNumber(t, "data_offset", sizeof(ACPI_UEFI_TABLE)))});
        }
    }
    for (const auto& [guid, data] : s.driverTables)
        tables.push_back({guid, data, std::nullopt, sizeof(ACPI_UEFI_TABLE)});

    const unsigned revision = static_cast<unsigned>(DescNumber(acpi, "rsdp_revision", 2));
    const bool xsdt = revision >= 2 && DescFlag(acpi, "xsdt", true);
    const bool rsdt = DescFlag(acpi, "rsdt", true);
    const size_t rsdpSize = revision >= 2 ? sizeof(ACPI_RSDP) : ACPI_RSDP_10_LENGTH;
    size_t total = 64 + sizeof(ACPI_DESCRIPTION_HEADER) * 2 + tables.size() * 12;
    for (const UefiTable& t : tables)
        total += sizeof(ACPI_UEFI_TABLE) + t.data.size() + 8;
    uint8_t* memory = s.acpiMemory.Reserve(total);
    if (!memory)
        throw std::runtime_error("no memory below 4 GB for the ACPI tables");

    size_t used = 64; // the root pointer first
    std::vector<uint64_t> addresses;
    for (const UefiTable& t : tables) {
        uint8_t* at = memory + used;
        const uint32_t length = static_cast<uint32_t>(sizeof(ACPI_UEFI_TABLE) + t.data.size());
        Header(at, ACPI_UEFI_SIGNATURE, t.length.value_or(length));
        std::memcpy(at + offsetof(ACPI_UEFI_TABLE, Identifier), &t.guid, sizeof(EFI_GUID));
        std::memcpy(at + offsetof(ACPI_UEFI_TABLE, DataOffset), &t.dataOffset, 2);
        if (!t.data.empty())
            std::memcpy(at + sizeof(ACPI_UEFI_TABLE), t.data.data(), t.data.size());
        at[offsetof(ACPI_DESCRIPTION_HEADER, Checksum)] = Checksum(at, length);
        addresses.push_back(reinterpret_cast<uintptr_t>(at));
        used += (length + 7) / 8 * 8;
    }
    ACPI_RSDP rsdp{};
    std::memcpy(rsdp.Signature, ACPI_RSDP_SIGNATURE, 8);
    std::memcpy(rsdp.OemId, "MOXSIM", 6);
    rsdp.Revision = static_cast<UINT8>(revision);
    if (rsdt) {
        uint8_t* at = memory + used;
        const uint32_t length = static_cast<uint32_t>(sizeof(ACPI_DESCRIPTION_HEADER) + 4 * addresses.size());
        Header(at, ACPI_RSDT_SIGNATURE, length);
        for (size_t i = 0; i < addresses.size(); ++i) {
            const uint32_t a = static_cast<uint32_t>(addresses[i]);
            std::memcpy(at + sizeof(ACPI_DESCRIPTION_HEADER) + 4 * i, &a, 4);
        }
        at[offsetof(ACPI_DESCRIPTION_HEADER, Checksum)] = Checksum(at, length);
        rsdp.RsdtAddress = static_cast<UINT32>(reinterpret_cast<uintptr_t>(at));
        used += (length + 7) / 8 * 8;
    }
    if (xsdt) {
        uint8_t* at = memory + used;
        const uint32_t length = static_cast<uint32_t>(sizeof(ACPI_DESCRIPTION_HEADER) + 8 * addresses.size());
        const std::string signature = DescText(acpi, "xsdt_signature", ACPI_XSDT_SIGNATURE) + "    ";
        Header(at, signature.c_str(), length);
        for (size_t i = 0; i < addresses.size(); ++i)
            std::memcpy(at + sizeof(ACPI_DESCRIPTION_HEADER) + 8 * i, &addresses[i], 8);
        at[offsetof(ACPI_DESCRIPTION_HEADER, Checksum)] = Checksum(at, length);
        rsdp.XsdtAddress = reinterpret_cast<uintptr_t>(at);
        used += (length + 7) / 8 * 8;
    }
    if (revision >= 2)
        rsdp.Length = sizeof(ACPI_RSDP);
    rsdp.Checksum = Checksum(reinterpret_cast<const uint8_t*>(&rsdp), ACPI_RSDP_10_LENGTH);
    if (revision >= 2)
        rsdp.ExtendedChecksum = Checksum(reinterpret_cast<const uint8_t*>(&rsdp), sizeof(rsdp));
    std::memcpy(memory, &rsdp, rsdpSize);
    s.configuration.push_back(EFI_CONFIGURATION_TABLE{gEfiAcpi20TableGuid, memory});

    if (DescFlag(acpi, "table_protocol", true)) {
        s.acpiTableProtocol = {InstallAcpiTable, UninstallAcpiTable};
        EFI_HANDLE handle = s.handles.Create("ACPI tables");
        s.handles.Install(&handle, gEfiAcpiTableProtocolGuid, &s.acpiTableProtocol);
    }

    auto uefi = machine.find("uefi");
    const bool hobs = uefi == machine.end() || !uefi->is_object() || DescFlag(*uefi, "hob_list", true);
    if (hobs) {
        // The list holds its end record only: type 0xFFFF, length 8.
        s.hobList.assign(1, 0x0008FFFFull);
        s.configuration.push_back(EFI_CONFIGURATION_TABLE{gEfiHobListGuid, s.hobList.data()});
    }
}

} // namespace sim::uefi
