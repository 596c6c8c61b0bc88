#pragma once
// The cache service's pinning interface (PinningRpcInterface 0362fd69-ab89-41fa-8ce8-75aaa5a3cd52
// 1.1): the files pinned into the file cache, their pin state, the migration that moves them into
// the cache, the file cache's counters and the interface version, kept in the "pinning" object of
// the "cache_service" section. Only sim/CacheService.cpp, which owns the section and the context
// table, calls it.
#include <cstdint>
#include <vector>

#include "sim/CacheService.h"
#include "sim/Schema.h"

namespace sim::cacheservice::pinning {

// The shape of the "pinning" object.
schema::Shape Shape();

// Procedures 2 to 9 (the context procedures 0 and 1 are the context table's).
Answer Call(uint32_t procedure, const std::vector<uint8_t>& in);

} // namespace sim::cacheservice::pinning
