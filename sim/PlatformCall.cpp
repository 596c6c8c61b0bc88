#include "sim/PlatformCall.h"

#include "sim/Machine.h"

namespace sim {

std::optional<nlohmann::json> PlatformCall(const std::string& kind, const nlohmann::json& selectors,
                                           std::span<const uint8_t> input) {
    Machine& machine = Current();
    RecordCall(machine.calls(), kind, selectors, input);
    return CheckFaults(machine.faults(), kind, selectors);
}

} // namespace sim
