#pragma once
// The default machine (with volume C:) with the cache product's services installed and running,
// and the cache service's migration status as given.
#include <string>

#include "sim/MachineBuilder.h"
#include "tests/tools/Ostrel/ServiceCommands/ServiceTestMachine.h"

namespace cachetest {

inline sim::MachineBuilder Machine(const std::string& migrationJson = "{}") {
    sim::MachineBuilder builder = sim::MachineBuilder::Default();
    servicetest::Install(builder, servicetest::kMinifilter, 2);
    servicetest::Install(builder, servicetest::kCacheService, 16, R"(["KeplinAfs"])");
    builder
        .Set("/services", R"({"KeplinAfs": {"state": "running"}, "KeplinAfsService": {"state": "running"}})")
        .Set("/cache_service/migration", migrationJson);
    return builder;
}

} // namespace cachetest
