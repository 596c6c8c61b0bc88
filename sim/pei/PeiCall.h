#pragma once
// How the PEI environment's service and PPI functions reach the machine's seam (sim/PlatformCall.h):
// the call is recorded, then a fault rule may answer it with an error status ({"error": 9} is
// EFI_OUT_OF_RESOURCES on the architecture built). The functions the firmware calls are C functions
// of the platform ABI; nothing may unwind through the firmware's frames, so a simulator failure
// inside one ends the process with its message instead.
#include <cstdint>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/uefi/UefiBaseType.h"

namespace sim::pei {

// The outcome object of the fault rule that fires for the call, if any.
std::optional<nlohmann::json> PeiCall(const std::string& kind, const nlohmann::json& selectors);
// The error status an outcome names, if it names one.
std::optional<EFI_STATUS> OutcomeStatus(const std::optional<nlohmann::json>& outcome);
// The same in one step, for calls whose faults only fail them.
std::optional<EFI_STATUS> PeiFault(const std::string& kind, const nlohmann::json& selectors);

// "1f4c6f90-b06b-48d8-a201-bae5f1cd7d56".
std::string GuidText(const EFI_GUID& guid);
bool SameGuid(const EFI_GUID& a, const EFI_GUID& b);

[[noreturn]] void Abandon(const char* function, const char* what) noexcept;

// Runs the body of a function the firmware calls; a simulator failure ends the process.
template <class Work> auto Entered(const char* function, Work&& work) noexcept -> decltype(work()) {
    try {
        return work();
    } catch (const std::exception& e) {
        Abandon(function, e.what());
    }
}

} // namespace sim::pei
