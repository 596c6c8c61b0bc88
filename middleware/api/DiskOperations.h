#pragma once
// The work of the disk exports, for the exports themselves and for the volume and pairing
// operations that claim disks and clear their metadata. Each function reads the disk's end-device
// record on the session, refuses a disk whose state does not allow the change with 0xA0010012 (no
// text), and asks the driver for it under the controller's lock, as disk transactions that each
// write one disk action code. Failures are returned, never thrown.
#include <cstdint>
#include <memory>

#include "middleware/core/ConsolidatedError.h"

class Controller;
struct ControllerLocator;
class RaidVolume;
class Session;
struct _UVI_DiskUnlockInfo;
struct _UVI_EndDeviceInfo;

// What the disk operations start with: the disk's controller and the disk's record (a failed read
// carries "Error getting disk info for the handle passed in!").
CConsolidatedError GetDiskControllerAndInfo(Session& session, uint32_t diskHandle,
                                            std::shared_ptr<Controller>& controller,
                                            _UVI_EndDeviceInfo& info);

// Disk action codes of the driver's disk records.
enum DiskActionCode : uint32_t {
    kDiskActionClaim = 1,
    kDiskActionPassThrough = 2,
    kDiskActionMarkFailed = 3,
    kDiskActionMarkNormal = 4,
    kDiskActionMarkSpare = 5,
    kDiskActionOffline = 9,
    kDiskActionOnline = 10,
    kDiskActionEraseConfig = 11,
    kDiskActionSetSmartEvent = 14,
    kDiskActionResetSmartEvent = 15,
};

CConsolidatedError internalUviDiskClaim(Session& session, uint32_t diskHandle);
CConsolidatedError internalUviDiskMarkAsFailed(Session& session, uint32_t diskHandle);
CConsolidatedError internalUviDiskMarkAsNormal(Session& session, uint32_t diskHandle);
CConsolidatedError internalUviDiskMarkOffline(Session& session, uint32_t diskHandle);
CConsolidatedError internalUviDiskMarkOnline(Session& session, uint32_t diskHandle);
CConsolidatedError internalUviDiskSetSmartEvent(Session& session, uint32_t diskHandle);
CConsolidatedError internalUviDiskResetSmartEvent(Session& session, uint32_t diskHandle);
// Claims a normal, non-system pass-through disk and makes it a spare; a disk of 2 TiB or more on a
// controller without large-disk support gives 0xA001000E.
CConsolidatedError internalUviDiskMarkAsSpare(Session& session, uint32_t diskHandle);
// Erases a normal spare's RAID configuration and makes it pass-through again.
CConsolidatedError internalUviDiskUnmarkAsSpare(Session& session, uint32_t diskHandle);
// Erases the RAID metadata of a disk that belongs to no ordinary array and makes it pass-through;
// a disk taken offline by request is brought online first. A member of the controller's cache
// volumes has its metadata removed through the volume port (removeMetadata).
CConsolidatedError internalUviDiskClearMetadata(Session& session, uint32_t diskHandle);
// 0xA0010002 for a null record; a disk that is not locked gives 0xA0010012.
CConsolidatedError internalUviDiskUnlock(Session& session, uint32_t diskHandle,
                                         const _UVI_DiskUnlockInfo* unlockInfo);

// Removes the metadata of the controller's file-cache volume, takes the NV cache off the block-cache
// volume and deletes the volumes of the block-cache volume's array.
CConsolidatedError removeMetadata(Session* session, ControllerLocator* locator, Controller* controller,
                                  const std::shared_ptr<RaidVolume>& fileCacheVolume);
// Asks the volume port to clear the metadata of one device id (path << 16 | target << 8 | lun),
// under the controller's lock; the request's error.
CConsolidatedError removeMetadata(Session* session, ControllerLocator* locator, uint32_t deviceId);
