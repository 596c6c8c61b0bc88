#pragma once
// A double of the platform's IOMMU PPI: buffers from the page arena, mappings that give a device
// address for a host buffer, the access each mapping grants the device (none until SetAttribute), and
// the devices' accesses checked against them. A device address is the host address plus an offset a
// test may choose (0: the identity the platform's protection-range IOMMU gives).
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/uefi/pi/PeiIoMmu.h"

namespace sim::pei {

class Environment;

class Iommu {
public:
    struct Mapping {
        uintptr_t host = 0;
        uint64_t device = 0;
        uint64_t bytes = 0;
        EDKII_IOMMU_OPERATION operation = EdkiiIoMmuOperationBusMasterRead;
        uint64_t access = 0;
    };

    explicit Iommu(Environment& env);
    ~Iommu();

    // Installs the PPI as the platform's IOMMU module does.
    EFI_STATUS Install();
    bool Installed() const { return installed_; }
    EDKII_IOMMU_PPI& ppi() { return ppi_; }
    void SetDeviceOffset(uint64_t offset) { deviceOffset_ = offset; }

    // A device's access to memory through the IOMMU: refused (false, and kept in Refusals) unless one
    // mapping covers the whole range with the access needed.
    bool DeviceRead(uint64_t deviceAddress, void* data, size_t length);
    bool DeviceWrite(uint64_t deviceAddress, const void* data, size_t length);
    const std::vector<std::string>& Refusals() const { return refusals_; }

    // The live mappings, in the order they were made.
    std::vector<Mapping> Mappings() const;
    std::optional<Mapping> MappingAt(uint64_t deviceAddress, uint64_t length) const;
    // Buffers from AllocateBuffer not freed yet.
    size_t LiveBuffers() const;

    // The PPI's functions.
    EFI_STATUS SetAttribute(void* mapping, uint64_t access);
    EFI_STATUS Map(EDKII_IOMMU_OPERATION operation, void* host, UINTN* bytes, EFI_PHYSICAL_ADDRESS* device,
                   void** mapping);
    EFI_STATUS Unmap(void* mapping);
    EFI_STATUS AllocateBuffer(EFI_MEMORY_TYPE type, UINTN pages, void** host, uint64_t attributes);
    EFI_STATUS FreeBuffer(UINTN pages, void* host);

private:
    const Mapping* Find(uint64_t deviceAddress, uint64_t length) const;
    const Mapping* Covering(uint64_t deviceAddress, uint64_t length, uint64_t access, const char* what);
    Environment& env_;
    bool installed_ = false;
    EDKII_IOMMU_PPI ppi_{};
    EFI_PEI_PPI_DESCRIPTOR descriptor_{};
    uint64_t deviceOffset_ = 0;
    uint64_t nextId_ = 1;
    // By the handle given to the caller.
    std::map<uint64_t, Mapping> mappings_;
    std::map<uintptr_t, size_t> buffers_;
    std::vector<std::string> refusals_;
};

} // namespace sim::pei
