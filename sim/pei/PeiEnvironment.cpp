#include "sim/pei/PeiEnvironment.h"

#include <cstring>
#include <stdexcept>

#include "platform/uefi/pi/BaseCpu.h"
#include "sim/Schema.h"
#include "sim/pei/PeiCall.h"

namespace sim::pei {
namespace {

using namespace sim::schema;

Environment* g_current = nullptr;

const FaultKind kBootMode("PeiGetBootMode", {}, Object({{"error", Uint16()}}));
const FaultKind kPages({"PeiAllocatePages", "PeiFreePages"}, {"memory_type", "pages"},
                       Object({{"error", Uint16()}}));
const FaultKind kPool("PeiAllocatePool", {"size"}, Object({{"error", Uint16()}}));

Environment& Env() {
    return Environment::Current();
}

// The memory types a PEI module may ask pages of.
bool PageType(EFI_MEMORY_TYPE type) {
    return type == EfiLoaderCode || type == EfiLoaderData || type == EfiRuntimeServicesCode ||
           type == EfiRuntimeServicesData || type == EfiBootServicesCode || type == EfiBootServicesData ||
           type == EfiACPIReclaimMemory || type == EfiReservedMemoryType || type == EfiACPIMemoryNVS;
}

// --- PEI services

EFI_STATUS EFIAPI ServicesInstallPpi(CONST EFI_PEI_SERVICES**, CONST EFI_PEI_PPI_DESCRIPTOR* PpiList) {
    return Entered("PeiServices.InstallPpi", [&] { return Env().ppis().Install(PpiList); });
}

EFI_STATUS EFIAPI ServicesReInstallPpi(CONST EFI_PEI_SERVICES**, CONST EFI_PEI_PPI_DESCRIPTOR* OldPpi,
                                       CONST EFI_PEI_PPI_DESCRIPTOR* NewPpi) {
    return Entered("PeiServices.ReInstallPpi", [&] { return Env().ppis().Reinstall(OldPpi, NewPpi); });
}

EFI_STATUS EFIAPI ServicesLocatePpi(CONST EFI_PEI_SERVICES**, CONST EFI_GUID* Guid, UINTN Instance,
                                    EFI_PEI_PPI_DESCRIPTOR** PpiDescriptor, VOID** Ppi) {
    return Entered("PeiServices.LocatePpi",
                   [&] { return Env().ppis().Locate(Guid, Instance, PpiDescriptor, Ppi); });
}

EFI_STATUS EFIAPI ServicesNotifyPpi(CONST EFI_PEI_SERVICES**, CONST EFI_PEI_NOTIFY_DESCRIPTOR* NotifyList) {
    return Entered("PeiServices.NotifyPpi", [&] { return Env().ppis().Notify(NotifyList); });
}

EFI_STATUS EFIAPI ServicesGetBootMode(CONST EFI_PEI_SERVICES**, EFI_BOOT_MODE* BootMode) {
    return Entered("PeiServices.GetBootMode", [&]() -> EFI_STATUS {
        if (auto status = PeiFault("PeiGetBootMode", nlohmann::json::object()))
            return *status;
        if (!BootMode)
            return EFI_INVALID_PARAMETER;
        *BootMode = Env().BootMode();
        return EFI_SUCCESS;
    });
}

EFI_STATUS EFIAPI ServicesSetBootMode(CONST EFI_PEI_SERVICES**, EFI_BOOT_MODE BootMode) {
    return Entered("PeiServices.SetBootMode", [&] {
        PeiCall("PeiSetBootMode", {{"boot_mode", BootMode}});
        Env().SetBootMode(BootMode);
        return EFI_SUCCESS;
    });
}

EFI_STATUS EFIAPI ServicesAllocatePages(CONST EFI_PEI_SERVICES**, EFI_MEMORY_TYPE MemoryType, UINTN Pages,
                                        EFI_PHYSICAL_ADDRESS* Memory) {
    return Entered("PeiServices.AllocatePages", [&]() -> EFI_STATUS {
        if (auto status = PeiFault("PeiAllocatePages", {{"memory_type", MemoryType}, {"pages", Pages}}))
            return *status;
        if (!Memory || !PageType(MemoryType) || Pages == 0)
            return EFI_INVALID_PARAMETER;
        auto address = Env().pages().Allocate(Pages, MemoryType, PageArena::Owner::PeiServices);
        if (!address)
            return EFI_OUT_OF_RESOURCES;
        *Memory = *address;
        return EFI_SUCCESS;
    });
}

EFI_STATUS EFIAPI ServicesFreePages(CONST EFI_PEI_SERVICES**, EFI_PHYSICAL_ADDRESS Memory, UINTN Pages) {
    return Entered("PeiServices.FreePages", [&]() -> EFI_STATUS {
        if (auto status = PeiFault("PeiFreePages", {{"memory_type", nullptr}, {"pages", Pages}}))
            return *status;
        if (Memory > UINTPTR_MAX ||
            !Env().pages().Free(static_cast<uintptr_t>(Memory), Pages, PageArena::Owner::PeiServices))
            return EFI_INVALID_PARAMETER;
        return EFI_SUCCESS;
    });
}

// Pool memory comes from pages of its own: a module that writes past its pool is caught.
EFI_STATUS EFIAPI ServicesAllocatePool(CONST EFI_PEI_SERVICES**, UINTN Size, VOID** Buffer) {
    return Entered("PeiServices.AllocatePool", [&]() -> EFI_STATUS {
        if (auto status = PeiFault("PeiAllocatePool", {{"size", Size}}))
            return *status;
        if (!Buffer)
            return EFI_INVALID_PARAMETER;
        auto address =
            Env().pages().Allocate((Size + PageArena::kPageSize - 1) / PageArena::kPageSize + (Size == 0),
                                   EfiBootServicesData, PageArena::Owner::PeiServices);
        if (!address)
            return EFI_OUT_OF_RESOURCES;
        *Buffer = reinterpret_cast<VOID*>(*address);
        return EFI_SUCCESS;
    });
}

VOID EFIAPI ServicesCopyMem(VOID* Destination, VOID* Source, UINTN Length) {
    std::memmove(Destination, Source, Length);
}

VOID EFIAPI ServicesSetMem(VOID* Buffer, UINTN Size, UINT8 Value) {
    std::memset(Buffer, Value, Size);
}

// --- PCI configuration PPI

unsigned CfgBytes(EFI_PEI_PCI_CFG_PPI_WIDTH width) {
    return width <= EfiPeiPciCfgWidthUint32 ? 1u << width : 0;
}

EFI_STATUS EFIAPI PciCfgRead(CONST EFI_PEI_SERVICES**, CONST EFI_PEI_PCI_CFG2_PPI*,
                             EFI_PEI_PCI_CFG_PPI_WIDTH Width, UINT64 Address, VOID* Buffer) {
    return Entered("PciCfg.Read", [&]() -> EFI_STATUS {
        uint64_t value = 0;
        const unsigned bytes = CfgBytes(Width);
        if (!Buffer || !Env().pci().ConfigRead(Address, bytes, value))
            return EFI_INVALID_PARAMETER;
        std::memcpy(Buffer, &value, bytes);
        return EFI_SUCCESS;
    });
}

EFI_STATUS EFIAPI PciCfgWrite(CONST EFI_PEI_SERVICES**, CONST EFI_PEI_PCI_CFG2_PPI*,
                              EFI_PEI_PCI_CFG_PPI_WIDTH Width, UINT64 Address, VOID* Buffer) {
    return Entered("PciCfg.Write", [&]() -> EFI_STATUS {
        uint64_t value = 0;
        const unsigned bytes = CfgBytes(Width);
        if (!Buffer)
            return EFI_INVALID_PARAMETER;
        std::memcpy(&value, Buffer, bytes);
        return Env().pci().ConfigWrite(Address, bytes, value) ? EFI_SUCCESS : EFI_INVALID_PARAMETER;
    });
}

EFI_STATUS EFIAPI PciCfgModify(CONST EFI_PEI_SERVICES**, CONST EFI_PEI_PCI_CFG2_PPI*,
                               EFI_PEI_PCI_CFG_PPI_WIDTH Width, UINT64 Address, VOID* SetBits,
                               VOID* ClearBits) {
    return Entered("PciCfg.Modify", [&]() -> EFI_STATUS {
        uint64_t value = 0, set = 0, clear = 0;
        const unsigned bytes = CfgBytes(Width);
        if (!SetBits || !ClearBits || !Env().pci().ConfigRead(Address, bytes, value))
            return EFI_INVALID_PARAMETER;
        std::memcpy(&set, SetBits, bytes);
        std::memcpy(&clear, ClearBits, bytes);
        return Env().pci().ConfigWrite(Address, bytes, (value & ~clear) | set) ? EFI_SUCCESS
                                                                               : EFI_INVALID_PARAMETER;
    });
}

// --- CPU I/O PPI: memory goes to the bus; I/O ports have no device here.

unsigned CpuIoBytes(EFI_PEI_CPU_IO_PPI_WIDTH width) {
    return 1u << (width & 3);
}

EFI_STATUS MemAccess(EFI_PEI_CPU_IO_PPI_WIDTH Width, UINT64 Address, UINTN Count, VOID* Buffer, bool write) {
    if (!Buffer || Width >= EfiPeiCpuIoWidthMaximum)
        return EFI_INVALID_PARAMETER;
    const unsigned bytes = CpuIoBytes(Width);
    const bool fifo = Width >= EfiPeiCpuIoWidthFifoUint8 && Width <= EfiPeiCpuIoWidthFifoUint64;
    const bool fill = Width >= EfiPeiCpuIoWidthFillUint8;
    auto* data = static_cast<uint8_t*>(Buffer);
    for (UINTN i = 0; i < Count; ++i) {
        const uint64_t address = fifo ? Address : Address + uint64_t{i} * bytes;
        uint8_t* item = fill ? data : data + size_t{i} * bytes;
        uint64_t value = 0;
        if (write) {
            std::memcpy(&value, item, bytes);
            Env().pci().MemWrite(address, bytes, value);
        } else {
            value = Env().pci().MemRead(address, bytes);
            std::memcpy(item, &value, bytes);
        }
    }
    return EFI_SUCCESS;
}

EFI_STATUS EFIAPI MemRead(CONST EFI_PEI_SERVICES**, CONST EFI_PEI_CPU_IO_PPI*, EFI_PEI_CPU_IO_PPI_WIDTH Width,
                          UINT64 Address, UINTN Count, VOID* Buffer) {
    return Entered("CpuIo.Mem.Read", [&] { return MemAccess(Width, Address, Count, Buffer, false); });
}

EFI_STATUS EFIAPI MemWrite(CONST EFI_PEI_SERVICES**, CONST EFI_PEI_CPU_IO_PPI*,
                           EFI_PEI_CPU_IO_PPI_WIDTH Width, UINT64 Address, UINTN Count, VOID* Buffer) {
    return Entered("CpuIo.Mem.Write", [&] { return MemAccess(Width, Address, Count, Buffer, true); });
}

EFI_STATUS EFIAPI IoAccess(CONST EFI_PEI_SERVICES**, CONST EFI_PEI_CPU_IO_PPI*,
                           EFI_PEI_CPU_IO_PPI_WIDTH Width, UINT64 Address, UINTN Count, VOID*) {
    return Entered("CpuIo.Io", [&]() -> EFI_STATUS {
        PeiCall("PeiIo", {{"address", Address}, {"width", CpuIoBytes(Width)}, {"count", Count}});
        return EFI_UNSUPPORTED;
    });
}

template <class T> T EFIAPI MemReadN(CONST EFI_PEI_SERVICES**, CONST EFI_PEI_CPU_IO_PPI*, UINT64 Address) {
    return Entered("CpuIo.MemRead", [&] { return static_cast<T>(Env().pci().MemRead(Address, sizeof(T))); });
}

template <class T>
VOID EFIAPI MemWriteN(CONST EFI_PEI_SERVICES**, CONST EFI_PEI_CPU_IO_PPI*, UINT64 Address, T Data) {
    Entered("CpuIo.MemWrite", [&] { Env().pci().MemWrite(Address, sizeof(T), Data); });
}

template <class T> T EFIAPI IoReadN(CONST EFI_PEI_SERVICES**, CONST EFI_PEI_CPU_IO_PPI*, UINT64 Address) {
    return Entered("CpuIo.IoRead", [&] {
        PeiCall("PeiIo", {{"address", Address}, {"width", sizeof(T)}, {"count", 1}});
        return static_cast<T>(~T{0});
    });
}

template <class T>
VOID EFIAPI IoWriteN(CONST EFI_PEI_SERVICES**, CONST EFI_PEI_CPU_IO_PPI*, UINT64 Address, T Data) {
    Entered("CpuIo.IoWrite", [&] {
        PeiCall("PeiIo", {{"address", Address}, {"width", sizeof(T)}, {"count", 1}, {"value", Data}});
    });
}

// --- Stall PPI

EFI_STATUS EFIAPI Stall(CONST EFI_PEI_SERVICES**, CONST EFI_PEI_STALL_PPI*, UINTN Microseconds) {
    return Entered("Stall", [&] {
        PeiCall("PeiStall", {{"microseconds", Microseconds}});
        Env().tsc().AdvanceMicroseconds(Microseconds);
        return EFI_SUCCESS;
    });
}

} // namespace

Environment::Environment() {
    if (g_current)
        throw std::logic_error("a simulated PEI phase is running already");
    table_.Hdr.Signature = PEI_SERVICES_SIGNATURE;
    table_.Hdr.Revision = (1u << 16) | 80;
    table_.Hdr.HeaderSize = sizeof(table_);
    table_.InstallPpi = ServicesInstallPpi;
    table_.ReInstallPpi = ServicesReInstallPpi;
    table_.LocatePpi = ServicesLocatePpi;
    table_.NotifyPpi = ServicesNotifyPpi;
    table_.GetBootMode = ServicesGetBootMode;
    table_.SetBootMode = ServicesSetBootMode;
    table_.AllocatePages = ServicesAllocatePages;
    table_.AllocatePool = ServicesAllocatePool;
    table_.CopyMem = ServicesCopyMem;
    table_.SetMem = ServicesSetMem;
    table_.FreePages = ServicesFreePages;

    cpuIo_.Mem = {MemRead, MemWrite};
    cpuIo_.Io = {IoAccess, IoAccess};
    cpuIo_.IoRead8 = IoReadN<UINT8>;
    cpuIo_.IoRead16 = IoReadN<UINT16>;
    cpuIo_.IoRead32 = IoReadN<UINT32>;
    cpuIo_.IoRead64 = IoReadN<UINT64>;
    cpuIo_.IoWrite8 = IoWriteN<UINT8>;
    cpuIo_.IoWrite16 = IoWriteN<UINT16>;
    cpuIo_.IoWrite32 = IoWriteN<UINT32>;
    cpuIo_.IoWrite64 = IoWriteN<UINT64>;
    cpuIo_.MemRead8 = MemReadN<UINT8>;
    cpuIo_.MemRead16 = MemReadN<UINT16>;
    cpuIo_.MemRead32 = MemReadN<UINT32>;
    cpuIo_.MemRead64 = MemReadN<UINT64>;
    cpuIo_.MemWrite8 = MemWriteN<UINT8>;
    cpuIo_.MemWrite16 = MemWriteN<UINT16>;
    cpuIo_.MemWrite32 = MemWriteN<UINT32>;
    cpuIo_.MemWrite64 = MemWriteN<UINT64>;
    table_.CpuIo = &cpuIo_;

    pciCfg_.Read = PciCfgRead;
    pciCfg_.Write = PciCfgWrite;
    pciCfg_.Modify = PciCfgModify;
    pciCfg_.Segment = 0;
    table_.PciCfg = &pciCfg_;

    LoadPciFunctions(pci_);
    LoadStorageDevices(*this);
    pci_.OnMemWrite([this] { tsc_.Restart(); });
    iommu_ = std::make_unique<Iommu>(*this);
    smm_ = std::make_unique<SmmHandler>(*this);
    platform_ = std::make_unique<PlatformPpis>(*this);
    SetServicesBelowIdt(Services());
    g_current = this;

    stall_.Resolution = 1;
    stall_.Stall = Stall;
    stallDescriptor_.Flags = EFI_PEI_PPI_DESCRIPTOR_PPI | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST;
    stallDescriptor_.Guid = &gEfiPeiStallPpiGuid;
    stallDescriptor_.Ppi = &stall_;
    ppis_.Install(&stallDescriptor_);
}

Environment::~Environment() {
    g_current = nullptr;
}

void Environment::AddStorageModel(uint8_t bus, uint8_t device, uint8_t function,
                                  std::unique_ptr<MmioDevice> model) {
    storage_.push_back(StorageModel{bus, device, function, std::move(model)});
}

SataController* Environment::Sata(uint8_t bus, uint8_t device, uint8_t function) {
    return StorageModelAt<SataController>(bus, device, function);
}

NvmeController* Environment::Nvme(uint8_t bus, uint8_t device, uint8_t function) {
    return StorageModelAt<NvmeController>(bus, device, function);
}

Environment& Environment::Current() {
    if (!g_current)
        throw std::logic_error("no simulated PEI phase is running");
    return *g_current;
}

uintptr_t Environment::IdtBase() const {
    return reinterpret_cast<uintptr_t>(idt_ + 8);
}

void Environment::SetServicesBelowIdt(const EFI_PEI_SERVICES** services) {
    std::memcpy(idt_ + 8 - sizeof(services), &services, sizeof(services));
}

// Without an IOMMU a bus master reaches memory at its own address: the pages handed out, nothing else.
void* Environment::Reachable(uint64_t address, size_t length, const char* what) {
    if (pages_.Contains(address, length))
        return reinterpret_cast<void*>(static_cast<uintptr_t>(address));
    dmaRefusals_.push_back(std::string(what) + " of " + std::to_string(length) + " bytes at " +
                           std::to_string(address) + " outside the pages handed out");
    return nullptr;
}

bool Environment::DeviceRead(uint64_t address, void* data, size_t length) {
    if (iommu_->Installed())
        return iommu_->DeviceRead(address, data, length);
    void* memory = Reachable(address, length, "device read");
    if (memory)
        std::memcpy(data, memory, length);
    return memory != nullptr;
}

bool Environment::DeviceWrite(uint64_t address, const void* data, size_t length) {
    if (iommu_->Installed())
        return iommu_->DeviceWrite(address, data, length);
    void* memory = Reachable(address, length, "device write");
    if (memory)
        std::memcpy(memory, data, length);
    return memory != nullptr;
}

std::vector<std::string> Environment::DmaRefusals() const {
    std::vector<std::string> all = dmaRefusals_;
    all.insert(all.end(), iommu_->Refusals().begin(), iommu_->Refusals().end());
    return all;
}

void Environment::ReportAssertion(const std::string& file, uint64_t line, const std::string& description) {
    PeiCall("DebugAssert", {{"file", file}, {"line", line}, {"description", description}});
    assertions_.push_back(description);
}

} // namespace sim::pei

// The processor and base library services of platform/uefi/pi/BaseCpu.h.
UINT64 EFIAPI AsmReadTsc(VOID) {
    return sim::pei::Entered("AsmReadTsc", [] { return sim::pei::Environment::Current().tsc().Read(); });
}

VOID EFIAPI AsmReadIdtr(IA32_DESCRIPTOR* Idtr) {
    sim::pei::Entered("AsmReadIdtr", [&] {
        Idtr->Limit = 256 * 8 - 1;
        Idtr->Base = sim::pei::Environment::Current().IdtBase();
    });
}

VOID EFIAPI DebugAssert(CONST CHAR8* FileName, UINTN LineNumber, CONST CHAR8* Description) {
    sim::pei::Entered("DebugAssert", [&] {
        sim::pei::Environment::Current().ReportAssertion(FileName ? FileName : "", LineNumber,
                                                         Description ? Description : "");
    });
}
