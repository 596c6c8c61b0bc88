#pragma once
// A double of the SMM communication PPI and of the storage module's SMM handler behind it. The
// handler reads and answers the communicate buffer by its documented offsets: header GUID at 0,
// message length (88) at 16, function at 24, return status at 32, nine 8-byte entries from 40.
// Function 4 answers the nine buffer sizes (in bytes 4 to 7 of each entry); function 5 takes the
// nine device addresses the module mapped, and the handler checks each against the IOMMU.
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/uefi/pi/PeiSmmCommunication.h"

namespace sim::pei {

class Environment;

class SmmHandler {
public:
    static constexpr size_t kEntries = 9;

    struct Returned {
        std::array<uint64_t, kEntries> addresses{};
        // Whether the address lies in a live IOMMU mapping of a common buffer of at least the size
        // asked for, which the device may read and write.
        std::array<bool, kEntries> usable{};
    };

    explicit SmmHandler(Environment& env);
    // Installs the communication PPI as the platform's SMM support does.
    EFI_STATUS Install();

    // What the handler answers: the sizes for function 4, and the statuses it writes for functions 4
    // and 5 (nothing: it leaves the preset status where it is).
    std::array<uint32_t, kEntries> sizes{4096, 4096, 8192, 512, 1024, 4096, 16384, 256, 4096};
    std::optional<uint64_t> fetchStatus = 0;
    std::optional<uint64_t> returnStatus = 0;

    // Every function number the handler was sent, in order, and the function-5 messages.
    const std::vector<uint64_t>& Functions() const { return functions_; }
    const std::vector<Returned>& Received() const { return received_; }

    EFI_STATUS Communicate(void* buffer, UINTN* size);

private:
    Environment& env_;
    EFI_PEI_SMM_COMMUNICATION_PPI ppi_{};
    EFI_PEI_PPI_DESCRIPTOR descriptor_{};
    std::vector<uint64_t> functions_;
    std::vector<Returned> received_;
};

} // namespace sim::pei
