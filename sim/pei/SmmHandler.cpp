#include "sim/pei/SmmHandler.h"

#include <cstring>

#include "sim/Schema.h"
#include "sim/pei/PeiCall.h"
#include "sim/pei/PeiEnvironment.h"

namespace sim::pei {
namespace {

using namespace sim::schema;

const FaultKind kCommunicate("SmmCommunicate", {"function"}, Object({{"error", Uint16()}}));

// The storage module's message, as the handler knows it.
constexpr EFI_GUID kMessageGuid = {
    0x24d11d0a, 0x3cac, 0x4206, {0x8b, 0xab, 0x20, 0xe1, 0x45, 0x0c, 0x5a, 0xfe}};
constexpr size_t kLengthAt = 16;
constexpr size_t kFunctionAt = 24;
constexpr size_t kStatusAt = 32;
constexpr size_t kEntriesAt = 40;
constexpr uint64_t kMessageLength = 88;
constexpr uint64_t kUnsupported = 0x80000003;

uint64_t Load64(const uint8_t* at) {
    uint64_t v = 0;
    std::memcpy(&v, at, sizeof v);
    return v;
}

void Store64(uint8_t* at, uint64_t v) {
    std::memcpy(at, &v, sizeof v);
}

EFI_STATUS EFIAPI PpiCommunicate(CONST EFI_PEI_SMM_COMMUNICATION_PPI* This, VOID* CommBuffer,
                                 UINTN* CommSize) {
    (void)This;
    return Entered("SmmCommunication.Communicate",
                   [&] { return Environment::Current().smm().Communicate(CommBuffer, CommSize); });
}

} // namespace

SmmHandler::SmmHandler(Environment& env) : env_(env) {
    ppi_.Communicate = PpiCommunicate;
    descriptor_.Flags = EFI_PEI_PPI_DESCRIPTOR_PPI | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST;
    descriptor_.Guid = &gEfiPeiSmmCommunicationPpiGuid;
    descriptor_.Ppi = &ppi_;
}

EFI_STATUS SmmHandler::Install() {
    return env_.ppis().Install(&descriptor_);
}

EFI_STATUS SmmHandler::Communicate(void* buffer, UINTN* size) {
    auto* bytes = static_cast<uint8_t*>(buffer);
    const uint64_t function = bytes && size && *size >= kEntriesAt ? Load64(bytes + kFunctionAt) : 0;
    if (auto status = PeiFault("SmmCommunicate", {{"function", function}}))
        return *status;
    if (!bytes || !size || *size < kEntriesAt)
        return EFI_INVALID_PARAMETER;
    EFI_GUID guid;
    std::memcpy(&guid, bytes, sizeof guid);
    // No handler is registered for another message.
    if (!SameGuid(guid, kMessageGuid))
        return EFI_NOT_FOUND;
    if (Load64(bytes + kLengthAt) != kMessageLength || *size != kFunctionAt + kMessageLength)
        return EFI_INVALID_PARAMETER;
    functions_.push_back(function);
    uint8_t* entries = bytes + kEntriesAt;
    if (function == 4) {
        for (size_t i = 0; i < kEntries; ++i)
            std::memcpy(entries + 8 * i + 4, &sizes[i], 4);
        if (fetchStatus)
            Store64(bytes + kStatusAt, *fetchStatus);
    } else if (function == 5) {
        Returned r;
        for (size_t i = 0; i < kEntries; ++i) {
            r.addresses[i] = Load64(entries + 8 * i);
            auto m = env_.iommu().MappingAt(r.addresses[i], sizes[i]);
            r.usable[i] = m &&
                          (m->operation == EdkiiIoMmuOperationBusMasterCommonBuffer ||
                           m->operation == EdkiiIoMmuOperationBusMasterCommonBuffer64) &&
                          m->access == (EDKII_IOMMU_ACCESS_READ | EDKII_IOMMU_ACCESS_WRITE);
        }
        received_.push_back(r);
        if (returnStatus)
            Store64(bytes + kStatusAt, *returnStatus);
    } else {
        Store64(bytes + kStatusAt, kUnsupported);
    }
    return EFI_SUCCESS;
}

} // namespace sim::pei
