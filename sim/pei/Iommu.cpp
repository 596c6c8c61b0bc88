#include "sim/pei/Iommu.h"

#include <cstring>

#include "sim/Schema.h"
#include "sim/pei/PeiCall.h"
#include "sim/pei/PeiEnvironment.h"

namespace sim::pei {
namespace {

using namespace sim::schema;

const FaultKind kSetAttribute("IoMmuSetAttribute", {"access"}, Object({{"error", Uint16()}}));
// "bytes": the mapping covers that many bytes instead.
const FaultKind kMap("IoMmuMap", {"operation", "bytes"}, Object({{"error", Uint16()}, {"bytes", Uint32()}}));
const FaultKind kUnmap("IoMmuUnmap", {}, Object({{"error", Uint16()}}));
// "no_address": success without an address.
const FaultKind kAllocate("IoMmuAllocateBuffer", {"pages"},
                          Object({{"error", Uint16()}, {"no_address", Bool()}}));
const FaultKind kFree("IoMmuFreeBuffer", {"pages"}, Object({{"error", Uint16()}}));

constexpr uint64_t kAccessAll = EDKII_IOMMU_ACCESS_READ | EDKII_IOMMU_ACCESS_WRITE;
constexpr uint64_t kAttributesKnown = EDKII_IOMMU_ATTRIBUTE_MEMORY_WRITE_COMBINE |
                                      EDKII_IOMMU_ATTRIBUTE_MEMORY_CACHED |
                                      EDKII_IOMMU_ATTRIBUTE_DUAL_ADDRESS_CYCLE;

bool IsCommon(EDKII_IOMMU_OPERATION operation) {
    return operation == EdkiiIoMmuOperationBusMasterCommonBuffer ||
           operation == EdkiiIoMmuOperationBusMasterCommonBuffer64;
}

Iommu& Of(EDKII_IOMMU_PPI* This) {
    (void)This;
    return Environment::Current().iommu();
}

EFI_STATUS EFIAPI PpiSetAttribute(EDKII_IOMMU_PPI* This, VOID* Mapping, UINT64 IoMmuAccess) {
    return Entered("IoMmu.SetAttribute", [&] { return Of(This).SetAttribute(Mapping, IoMmuAccess); });
}

EFI_STATUS EFIAPI PpiMap(EDKII_IOMMU_PPI* This, EDKII_IOMMU_OPERATION Operation, VOID* HostAddress,
                         UINTN* NumberOfBytes, EFI_PHYSICAL_ADDRESS* DeviceAddress, VOID** Mapping) {
    return Entered("IoMmu.Map", [&] {
        return Of(This).Map(Operation, HostAddress, NumberOfBytes, DeviceAddress, Mapping);
    });
}

EFI_STATUS EFIAPI PpiUnmap(EDKII_IOMMU_PPI* This, VOID* Mapping) {
    return Entered("IoMmu.Unmap", [&] { return Of(This).Unmap(Mapping); });
}

EFI_STATUS EFIAPI PpiAllocateBuffer(EDKII_IOMMU_PPI* This, EFI_MEMORY_TYPE MemoryType, UINTN Pages,
                                    VOID** HostAddress, UINT64 Attributes) {
    return Entered("IoMmu.AllocateBuffer",
                   [&] { return Of(This).AllocateBuffer(MemoryType, Pages, HostAddress, Attributes); });
}

EFI_STATUS EFIAPI PpiFreeBuffer(EDKII_IOMMU_PPI* This, UINTN Pages, VOID* HostAddress) {
    return Entered("IoMmu.FreeBuffer", [&] { return Of(This).FreeBuffer(Pages, HostAddress); });
}

uint64_t HandleOf(void* mapping) {
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(mapping));
}

} // namespace

Iommu::Iommu(Environment& env) : env_(env) {
    ppi_.Revision = EDKII_IOMMU_PPI_REVISION;
    ppi_.SetAttribute = PpiSetAttribute;
    ppi_.Map = PpiMap;
    ppi_.Unmap = PpiUnmap;
    ppi_.AllocateBuffer = PpiAllocateBuffer;
    ppi_.FreeBuffer = PpiFreeBuffer;
    descriptor_.Flags = EFI_PEI_PPI_DESCRIPTOR_PPI | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST;
    descriptor_.Guid = &gEdkiiIoMmuPpiGuid;
    descriptor_.Ppi = &ppi_;
}

Iommu::~Iommu() = default;

EFI_STATUS Iommu::Install() {
    installed_ = true;
    return env_.ppis().Install(&descriptor_);
}

EFI_STATUS Iommu::SetAttribute(void* mapping, uint64_t access) {
    if (auto status = PeiFault("IoMmuSetAttribute", {{"access", access}}))
        return *status;
    auto it = mappings_.find(HandleOf(mapping));
    if (it == mappings_.end())
        return EFI_INVALID_PARAMETER;
    if (access & ~kAccessAll)
        return EFI_UNSUPPORTED;
    it->second.access = access;
    return EFI_SUCCESS;
}

EFI_STATUS Iommu::Map(EDKII_IOMMU_OPERATION operation, void* host, UINTN* bytes, EFI_PHYSICAL_ADDRESS* device,
                      void** mapping) {
    if (!bytes)
        return EFI_INVALID_PARAMETER;
    auto outcome = PeiCall("IoMmuMap", {{"operation", static_cast<uint32_t>(operation)}, {"bytes", *bytes}});
    if (auto status = OutcomeStatus(outcome))
        return *status;
    if (operation >= EdkiiIoMmuOperationMaximum || !host || !device || !mapping)
        return EFI_INVALID_PARAMETER;
    const auto address = reinterpret_cast<uintptr_t>(host);
    // A common buffer is one the IOMMU handed out.
    if (IsCommon(operation)) {
        auto buffer = buffers_.upper_bound(address);
        if (buffer == buffers_.begin() ||
            *bytes > (--buffer)->first + buffer->second * PageArena::kPageSize - address)
            return EFI_INVALID_PARAMETER;
    }
    UINTN mapped = *bytes;
    if (outcome && outcome->contains("bytes"))
        mapped = static_cast<UINTN>(outcome->at("bytes").get<uint64_t>());
    const uint64_t id = nextId_++;
    mappings_[id] = Mapping{address, address + deviceOffset_, mapped, operation, 0};
    *bytes = mapped;
    *device = address + deviceOffset_;
    *mapping = reinterpret_cast<void*>(static_cast<uintptr_t>(id));
    return EFI_SUCCESS;
}

EFI_STATUS Iommu::Unmap(void* mapping) {
    if (auto status = PeiFault("IoMmuUnmap", nlohmann::json::object()))
        return *status;
    return mappings_.erase(HandleOf(mapping)) ? EFI_SUCCESS : EFI_INVALID_PARAMETER;
}

EFI_STATUS Iommu::AllocateBuffer(EFI_MEMORY_TYPE type, UINTN pages, void** host, uint64_t attributes) {
    auto outcome = PeiCall("IoMmuAllocateBuffer", {{"pages", pages}});
    if (auto status = OutcomeStatus(outcome))
        return *status;
    if (!host || (type != EfiBootServicesData && type != EfiRuntimeServicesData))
        return EFI_INVALID_PARAMETER;
    if (attributes & ~kAttributesKnown)
        return EFI_UNSUPPORTED;
    if (outcome && outcome->value("no_address", false)) {
        *host = nullptr;
        return EFI_SUCCESS;
    }
    // An empty buffer is refused: there is nothing a device could be given.
    if (pages == 0)
        return EFI_INVALID_PARAMETER;
    auto address = env_.pages().Allocate(pages, type, PageArena::Owner::Iommu);
    if (!address)
        return EFI_OUT_OF_RESOURCES;
    buffers_[*address] = pages;
    *host = reinterpret_cast<void*>(*address);
    return EFI_SUCCESS;
}

EFI_STATUS Iommu::FreeBuffer(UINTN pages, void* host) {
    if (auto status = PeiFault("IoMmuFreeBuffer", {{"pages", pages}}))
        return *status;
    const auto address = reinterpret_cast<uintptr_t>(host);
    auto it = buffers_.find(address);
    if (!host || it == buffers_.end() || it->second != pages)
        return EFI_INVALID_PARAMETER;
    const uint64_t end = address + uint64_t{pages} * PageArena::kPageSize;
    // A device must not keep reaching memory that is given back.
    std::erase_if(mappings_, [&](const auto& entry) {
        const Mapping& m = entry.second;
        if (m.host + m.bytes <= address || m.host >= end)
            return false;
        refusals_.push_back("buffer at " + std::to_string(address) + " freed while mapped");
        return true;
    });
    buffers_.erase(it);
    env_.pages().Free(address, pages, PageArena::Owner::Iommu);
    return EFI_SUCCESS;
}

const Iommu::Mapping* Iommu::Find(uint64_t deviceAddress, uint64_t length) const {
    for (const auto& [id, m] : mappings_)
        if (deviceAddress >= m.device && deviceAddress - m.device <= m.bytes &&
            length <= m.bytes - (deviceAddress - m.device))
            return &m;
    return nullptr;
}

const Iommu::Mapping* Iommu::Covering(uint64_t deviceAddress, uint64_t length, uint64_t access,
                                      const char* what) {
    const Mapping* m = Find(deviceAddress, length);
    if (m && (m->access & access) == access)
        return m;
    refusals_.push_back(std::string(what) + " of " + std::to_string(length) + " bytes at device address " +
                        std::to_string(deviceAddress) +
                        (m ? " into a mapping without that access" : " outside every mapping"));
    return nullptr;
}

bool Iommu::DeviceRead(uint64_t deviceAddress, void* data, size_t length) {
    const Mapping* m = Covering(deviceAddress, length, EDKII_IOMMU_ACCESS_READ, "device read");
    if (!m)
        return false;
    std::memcpy(data, reinterpret_cast<const void*>(m->host + (deviceAddress - m->device)), length);
    return true;
}

bool Iommu::DeviceWrite(uint64_t deviceAddress, const void* data, size_t length) {
    const Mapping* m = Covering(deviceAddress, length, EDKII_IOMMU_ACCESS_WRITE, "device write");
    if (!m)
        return false;
    std::memcpy(reinterpret_cast<void*>(m->host + (deviceAddress - m->device)), data, length);
    return true;
}

std::vector<Iommu::Mapping> Iommu::Mappings() const {
    std::vector<Mapping> out;
    for (const auto& [id, m] : mappings_)
        out.push_back(m);
    return out;
}

std::optional<Iommu::Mapping> Iommu::MappingAt(uint64_t deviceAddress, uint64_t length) const {
    if (const Mapping* m = Find(deviceAddress, length))
        return *m;
    return std::nullopt;
}

size_t Iommu::LiveBuffers() const {
    return buffers_.size();
}

} // namespace sim::pei
