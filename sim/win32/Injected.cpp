#include "sim/win32/Injected.h"

#include "sim/Machine.h"

namespace sim::win32 {

std::optional<nlohmann::json> Injected(const std::string& kind, const nlohmann::json& selectors) {
    const nlohmann::json s = selectors.is_null() ? nlohmann::json::object() : selectors;
    Machine& machine = Current();
    auto outcome = machine.faults().Check(kind, s);
    machine.calls().Record(kind, s);
    return outcome;
}

} // namespace sim::win32
