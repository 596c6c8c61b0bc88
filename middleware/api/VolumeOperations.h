#pragma once
// The operations on one existing RAID volume and the lookups they share. Each internal operation
// reads the volume's record, refuses a state that does not allow it (0xA0010012, nothing sent) and
// asks the driver for the change as a volume transaction under the controller's named mutex.
#include <cstdint>
#include <memory>

#include "middleware/core/ConsolidatedError.h"

class Controller;
class Session;
struct _UVI_VolumeInfo;

// The volume's controller: 0xA0000006 "null session" without a session, 0xA0010003 for a volume the
// session does not know, 0xA0000003 "failed to get controller" for a volume without a controller of
// the session.
CConsolidatedError GetVolumeAndController(Session* session, uint32_t volumeHandle,
                                          std::shared_ptr<Controller>& controller);

// What every volume operation starts with: the volume's controller (a failure carries
// `controllerDebug` when given) and the volume's record (a failure carries `infoDebug`).
CConsolidatedError
GetVolumeControllerAndInfo(Session& session, uint32_t volumeHandle, std::shared_ptr<Controller>& controller,
                           _UVI_VolumeInfo& info, const char* controllerDebug = nullptr,
                           const char* infoDebug = "Error getting volume info for the handle passed in!");

// The value some actions read from the volume's device configuration alongside the action code.
struct DeviceAction {
    uint32_t value;
    const char* failureDebug;
};
// Writes the device action (when one is given) and runs the volume action as a transaction, both
// under the controller's named mutex; each failure carries its debug text. A volume the session
// does not know gives 0xA0010003 " Invalid volume handle".
CConsolidatedError RunVolumeAction(Session& session, const Controller& controller, uint32_t volumeHandle,
                                   uint32_t action, const DeviceAction* device, const char* failureDebug);

// A boot volume is never deleted. When the volume is its array's only one, the array's present
// members are freed afterwards (their metadata cleared, locked ones left alone) and an event-log
// entry names them; a failure to free them is the result although the volume is gone. The
// volume's flush-policy registry value is removed.
CConsolidatedError internalUviVolumeDelete(Session& session, uint32_t volumeHandle);
// State 1 and not yet initialised.
CConsolidatedError internalUviVolumeInitialize(Session& session, uint32_t volumeHandle);
// State 3.
CConsolidatedError internalUviVolumeMarkAsNormal(Session& session, uint32_t volumeHandle);
// A pass-through disk, or any disk for a degraded volume: the disk is claimed, then made a spare
// when it belongs to no array; a disk in an array that is not rebuilding gives 0xA001000F.
CConsolidatedError internalUviVolumeRebuild(Session& session, uint32_t volumeHandle, uint32_t diskHandle);
// States 1 and 17; the repair flag travels as the volume's device action.
CConsolidatedError internalUviVolumeVerify(Session& session, uint32_t volumeHandle, bool repair);
// States 6 and 7.
CConsolidatedError internalUviVolumeCancelVerify(Session& session, uint32_t volumeHandle);
// States 1 and 17. Writes the name without a transaction and moves the flush-policy value.
CConsolidatedError internalUviVolumeRename(Session& session, uint32_t volumeHandle, const char* newName);
// Policy 0 is refused before anything is looked up; states 1, 8, 17, 20 and 35.
CConsolidatedError internalUviVolumeSetCachePolicy(Session& session, uint32_t volumeHandle, int policy);
