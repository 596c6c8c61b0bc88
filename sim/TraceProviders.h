#pragma once
// For tests: the trace providers a process registered (platform/win/Trace.h), by provider text.
#include <cstddef>
#include <string>

namespace sim::trace {

struct ProviderCounts {
    size_t registrations = 0;
    size_t unregistrations = 0;
};
ProviderCounts Provider(const std::string& name);

} // namespace sim::trace
