#pragma once
// Operations on the whole system rather than one object: the device tree rescan, the partition
// refresh of every capable controller, and the link power settings the RAID driver reads.
#include "middleware/core/ConsolidatedError.h"

class Session;

// Asks every own-driver controller that takes RAID configuration requests (NVMe controllers do
// not) to refresh its partition information; the first failure ends the walk.
CConsolidatedError RefreshPartitionInfoOfControllers(Session& session);
// The name of the semaphore whose existence marks a running rescan (in the caller's session
// namespace, without "Global\").
inline constexpr const char kRescanSemaphoreName[] = "KEDO_RAID_RESCAN_ACTION_SEMAPHORE";
