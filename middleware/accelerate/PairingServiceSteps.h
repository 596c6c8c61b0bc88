#pragma once
// The steps that start and stop what a cache-memory pairing needs of the cache product: its
// file-system minifilter "KeplinAfs", its cache service "KeplinAfsService" and the service's COM
// server registration. Each step runs service tool commands in order, stops at the first that fails
// (commands already run are not reverted) and reports through its result.
#include "middleware/core/ConsolidatedError.h"

// Both services are installed: 0xA0070020 without the cache service (the minifilter is not checked
// then), 0xA0070021 without the minifilter.
CConsolidatedError CheckVezkServicesExist();

// Starts the minifilter (one that runs already counts as started) and makes it start at boot.
CConsolidatedError StartMinifilter();
CConsolidatedError RegisterCacheServiceCom();
// Starts the cache service (one that runs already counts as started), makes it start automatically
// and depend on the minifilter.
CConsolidatedError StartCacheService();
CConsolidatedError UnregisterCacheServiceCom();
// Sets the cache service to start on demand, then stops it.
CConsolidatedError StopCacheService();
// Sets the minifilter to start on demand, then stops it.
CConsolidatedError StopMinifilter();

// StartMinifilter, RegisterCacheServiceCom and StartCacheService, up to the first that fails.
CConsolidatedError StartVezkTools();

// What a separation stops: the COM server's registration, the cache service, the minifilter and the
// boot migration, each tried whatever the one before did; nothing is reported.
void StopVezkTools();
