#include "platform/win/SimCall.h"

#include <cstdlib>

#include "sim/Machine.h"

namespace platform {

std::optional<nlohmann::json> SimCall(const std::string& kind, const nlohmann::json& selectors,
                                      std::vector<uint8_t> input) {
    sim::Machine& machine = sim::Current();
    auto outcome = machine.faults().Check(kind, selectors);
    machine.calls().Record(kind, selectors, std::move(input));
    return outcome;
}

uint32_t OutcomeNumber(const nlohmann::json& outcome, const char* key, uint32_t fallback) {
    if (!outcome.is_object() || !outcome.contains(key))
        return fallback;
    const nlohmann::json& v = outcome.at(key);
    if (v.is_number_unsigned())
        return static_cast<uint32_t>(v.get<uint64_t>());
    if (v.is_number_integer())
        return static_cast<uint32_t>(v.get<int64_t>());
    if (v.is_string()) {
        const std::string& s = v.get_ref<const std::string&>();
        char* end = nullptr;
        unsigned long long n = std::strtoull(s.c_str(), &end, 0);
        if (!s.empty() && end && *end == '\0')
            return static_cast<uint32_t>(n);
    }
    return fallback;
}

} // namespace platform
