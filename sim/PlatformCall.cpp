#include "sim/PlatformCall.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <set>

#include "sim/Machine.h"

namespace sim {

std::optional<nlohmann::json> PlatformCall(const std::string& kind, const nlohmann::json& selectors,
                                           std::span<const uint8_t> input) {
    Machine& machine = Current();
    RecordCall(machine.calls(), kind, selectors, input);
    return CheckFaults(machine.faults(), kind, selectors);
}

namespace {

std::atomic<FailureTraceSink> g_traceSink{nullptr};

} // namespace

void SetFailureTraceSink(FailureTraceSink sink) {
    g_traceSink.store(sink);
}

void ReportFailure(const std::string& what) {
    // A program that retries a failed call would otherwise repeat the same line for every attempt.
    static std::mutex mutex;
    static std::set<std::string> told;
    {
        std::lock_guard lock(mutex);
        if (!told.insert(what).second)
            return;
    }
    std::fprintf(stderr, "simulator: %s\n", what.c_str());
    std::fflush(stderr);
    if (const FailureTraceSink sink = g_traceSink.load())
        sink(what);
}

} // namespace sim
