#include "sim/PlatformCall.h"

#include "sim/Machine.h"

namespace sim {

std::optional<nlohmann::json> PlatformCall(const std::string& kind, const nlohmann::json& selectors,
                                           std::span<const uint8_t> input) {
    Machine& machine = Current();
    machine.calls().Record(kind, selectors, input);
    return machine.faults().Check(kind, selectors);
}

} // namespace sim
