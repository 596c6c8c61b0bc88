#pragma once
// Operations on the whole system rather than one object: the device tree rescan, the partition
// refresh of every capable controller, and the link power settings the RAID driver reads.
#include <string>
#include <vector>

#include "middleware/core/ConsolidatedError.h"

class Session;
struct ControllerLocator;

// Asks every own-driver controller that takes RAID configuration requests (NVMe controllers do
// not) to refresh its partition information; the first failure ends the walk.
CConsolidatedError RefreshPartitionInfoOfControllers(Session& session);
// The name of the semaphore whose existence marks a running rescan (in the caller's session
// namespace, without "Global\").
inline constexpr const char kRescanSemaphoreName[] = "KEDO_RAID_RESCAN_ACTION_SEMAPHORE";

// The link power settings the RAID driver reads: under the key of the controller's driver service
// (LinkPowerServiceKey), in its "\Parameters\Device" key (LinkPowerKey), one DWORD per PHY and kind
// ("HIPM" or "DIPM") of each of the controller's link power controller numbers.
inline constexpr int kLpmPhyCount = 8;
std::wstring LinkPowerServiceKey(const ControllerLocator& locator);
std::wstring LinkPowerKey(const ControllerLocator& locator);
std::wstring LinkPowerValueName(int controllerNumber, int phy, const wchar_t* kind);
// The own-driver controllers with link power controller numbers, in session order, with their
// record of the controller table (null when the table has none).
struct LinkPowerController {
    std::vector<int> numbers;
    const ControllerLocator* locator;
};
std::vector<LinkPowerController> LinkPowerControllers(Session& session);
