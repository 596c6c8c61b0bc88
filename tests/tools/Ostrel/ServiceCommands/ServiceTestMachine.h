#pragma once
// A machine with the cache product's two services: the minifilter "KeplinAfs" and the cache service
// "KeplinAfsService", which depends on it; both running. Their configuration is in the registry,
// their running state in the "services" section.
#include <string>

#include "sim/MachineBuilder.h"

namespace servicetest {

constexpr const char* kMinifilter = "KeplinAfs";
constexpr const char* kCacheService = "KeplinAfsService";

// Installs a service: its registry key with type, start type and dependencies (a JSON array).
inline sim::MachineBuilder& Install(sim::MachineBuilder& builder, const std::string& name, int type,
                                    const std::string& dependencies = "[]") {
    builder.Set(
        "/registry/keys/HKLM\\SYSTEM\\CurrentControlSet\\Services\\" + name,
        R"({"Type": {"type": "REG_DWORD", "data": )" + std::to_string(type) +
            R"(}, "Start": {"type": "REG_DWORD", "data": 3}, "DependOnService": {"type": "REG_MULTI_SZ", "data": )" +
            dependencies + "}}");
    return builder;
}

inline sim::MachineBuilder Machine() {
    sim::MachineBuilder builder("service-test");
    Install(builder, kMinifilter, 2);
    Install(builder, kCacheService, 16, R"(["KeplinAfs"])");
    builder.Merge(R"({"services": {
        "KeplinAfs": {"state": "running", "stop_ms": 400, "wait_hint_ms": 1000},
        "KeplinAfsService": {"state": "running", "stop_ms": 3000, "start_ms": 500, "wait_hint_ms": 2000}
    }})");
    return builder;
}

// Replaces one field of a service's running state in the machine above.
inline sim::MachineBuilder With(const std::string& service, const std::string& field,
                                const std::string& valueJson) {
    sim::MachineBuilder builder = Machine();
    builder.Set("/services/" + service + "/" + field, valueJson);
    return builder;
}

} // namespace servicetest
