#include "sim/win32/SimCall.h"

#include <cstdlib>

namespace platform {

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
