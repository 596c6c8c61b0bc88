#pragma once
// One PEI phase of the simulated machine, for a test to run a PEI module in: the PEI services table
// (with its signature) and PPI database, the boot mode, pages below 4 GB, the PCI configuration and
// CPU I/O PPIs over the machine's PCI functions, a virtual time-stamp counter with the Stall PPI on
// it, and doubles of the IOMMU PPI, the SMM handler and the platform's storage PPIs, which a test
// installs when the platform it stands for would have them. One at a time per process; every call
// passes the machine's seam (call log, fault rules) as the Win32 binding's calls do.
//
// The PCI functions are those of the "devices" section: a node whose instance id is a PCI one
// ("PCI\VEN_1F4A&DEV_2826&SUBSYS_7A211F4A&REV_11\...") and whose properties give its location
// (BusNumber, Address = device << 16 | function), with its class from PciBaseClass, PciSubClass and
// PciProgIf, and its base address registers from the node's "pci" object.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/uefi/pi/PeiCpuIo.h"
#include "platform/uefi/pi/PeiPciCfg2.h"
#include "platform/uefi/pi/PeiStall.h"
#include "platform/uefi/pi/PiPeiCis.h"
#include "sim/pei/Iommu.h"
#include "sim/pei/PageArena.h"
#include "sim/pei/PciBus.h"
#include "sim/pei/PlatformPpis.h"
#include "sim/pei/PpiDatabase.h"
#include "sim/pei/SataController.h"
#include "sim/pei/SmmHandler.h"
#include "sim/pei/VirtualTsc.h"

namespace sim::pei {

class Environment {
public:
    // Reads the PCI functions of the process's machine (sim::Current()); a node with a "pci" object
    // but no PCI location, or two nodes at one location, are refused (std::runtime_error).
    Environment();
    ~Environment();
    Environment(const Environment&) = delete;
    Environment& operator=(const Environment&) = delete;

    // The environment of the running PEI phase; std::logic_error when there is none.
    static Environment& Current();

    // What the PEI foundation passes a module.
    const EFI_PEI_SERVICES** Services() { return &servicesPointer_; }
    EFI_PEI_SERVICES& Table() { return table_; }
    EFI_BOOT_MODE BootMode() const { return bootMode_; }
    void SetBootMode(EFI_BOOT_MODE mode) { bootMode_ = mode; }
    // The pointer the PI IA32 convention keeps in the pointer-sized slot below the interrupt
    // descriptor table's base; the foundation puts Services() there.
    void SetServicesBelowIdt(const EFI_PEI_SERVICES** services);
    uintptr_t IdtBase() const;

    PpiDatabase& ppis() { return ppis_; }
    PageArena& pages() { return pages_; }
    PciBus& pci() { return pci_; }
    VirtualTsc& tsc() { return tsc_; }
    Iommu& iommu() { return *iommu_; }
    SmmHandler& smm() { return *smm_; }
    PlatformPpis& platform() { return *platform_; }

    // The storage device models of the PCI functions (sim/pei/SataController.h), by location; null
    // when the function has none of that kind.
    SataController* Sata(uint8_t bus, uint8_t device, uint8_t function);
    NvmeController* Nvme(uint8_t bus, uint8_t device, uint8_t function);
    void AddStorageModel(uint8_t bus, uint8_t device, uint8_t function, std::unique_ptr<MmioDevice> model);

    // A bus master's access to memory: through the IOMMU once it is installed, else straight to the
    // pages of the arena. A refused access is kept in DmaRefusals (the IOMMU's own included).
    bool DeviceRead(uint64_t address, void* data, size_t length);
    bool DeviceWrite(uint64_t address, const void* data, size_t length);
    std::vector<std::string> DmaRefusals() const;

    // The debug assertions the module reported, in order.
    const std::vector<std::string>& Assertions() const { return assertions_; }
    void ReportAssertion(const std::string& file, uint64_t line, const std::string& description);

private:
    template <class Model> Model* StorageModelAt(uint8_t bus, uint8_t device, uint8_t function) {
        for (auto& s : storage_)
            if (s.bus == bus && s.device == device && s.function == function)
                if (auto* model = dynamic_cast<Model*>(s.model.get()))
                    return model;
        return nullptr;
    }
    void* Reachable(uint64_t address, size_t length, const char* what);
    EFI_PEI_SERVICES table_{};
    const EFI_PEI_SERVICES* servicesPointer_ = &table_;
    EFI_PEI_CPU_IO_PPI cpuIo_{};
    EFI_PEI_PCI_CFG2_PPI pciCfg_{};
    EFI_PEI_STALL_PPI stall_{};
    EFI_PEI_PPI_DESCRIPTOR stallDescriptor_{};
    EFI_BOOT_MODE bootMode_ = BOOT_WITH_FULL_CONFIGURATION;
    // The interrupt descriptor table, with the pointer-sized slot below its base.
    alignas(8) uint8_t idt_[8 + 256 * 8]{};
    PpiDatabase ppis_{&servicesPointer_};
    PageArena pages_;
    PciBus pci_;
    VirtualTsc tsc_;
    std::unique_ptr<Iommu> iommu_;
    std::unique_ptr<SmmHandler> smm_;
    std::unique_ptr<PlatformPpis> platform_;
    struct StorageModel {
        uint8_t bus, device, function;
        std::unique_ptr<MmioDevice> model;
    };
    std::vector<StorageModel> storage_;
    std::vector<std::string> assertions_;
    std::vector<std::string> dmaRefusals_;
};

// Adds the machine's PCI functions to the bus (see Environment).
void LoadPciFunctions(PciBus& bus);

} // namespace sim::pei
