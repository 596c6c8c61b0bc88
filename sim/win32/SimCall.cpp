#include "sim/win32/SimCall.h"

#include <cstdlib>

#include "sim/Clock.h"
#include "sim/KernelObjects.h"

namespace platform {

void HoldCall(const nlohmann::json& hold) {
    if (!hold.is_object())
        return;
    if (hold.contains("signal") && hold["signal"].is_string()) {
        auto signal = sim::CreateEventObject(hold["signal"].get<std::string>(), true, false);
        if (auto event = std::dynamic_pointer_cast<sim::SyncEvent>(signal.object))
            event->Set();
    }
    if (hold.contains("wait") && hold["wait"].is_string()) {
        auto wait = sim::CreateEventObject(hold["wait"].get<std::string>(), true, false);
        if (wait.object)
            wait.object->Wait(sim::Clock::kInfinite);
    }
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
