#pragma once
// The SSD cache (NV cache) operations behind the exports of UviCacheOperations.h, and the helpers
// they share. Each takes the session by reference and returns its outcome.
#include <cstdint>
#include <memory>

#include "middleware/api/UviEndDeviceRecords.h"
#include "middleware/api/UviNvcRecords.h"
#include "middleware/api/UviVolumeRecords.h"
#include "middleware/core/ConsolidatedError.h"

class Controller;
class Disk;
class RaidVolume;
class Session;

// The first volume of the controller that lies on the disk's array (its original array when
// `pairing`); null for a disk without RAID record or array.
std::shared_ptr<RaidVolume> VolumeOfDisk(const Controller& controller, const Disk& disk, bool pairing);

// The end-device record of the disk holding the controller's NV cache volume.
CConsolidatedError GetCacheDeviceInfo(Session& session, uint32_t controllerHandle, _UVI_EndDeviceInfo* info);
// Success when the volume may be accelerated with a cache device that is not PCIe: it shares its
// array with a cache volume, or no member of its array is solid-state.
CConsolidatedError internalVolumeContainsSSDs(Session& session, const _UVI_VolumeInfo& volume);
// Asks Windows to re-read the drive of every volume whose name is the serial number text.
CConsolidatedError performDiskUpdateIoctlWithVolumes(unsigned sessionHandle, const char* serialNumber);

CConsolidatedError SetDiskCacheModeAction(Session& session, uint32_t controllerHandle, uint32_t diskHandle,
                                          int mode);

// `spaceKind` goes to DiskShrinkExtension::makeSpaceForMetadata when a pass-through disk is
// prepared for acceleration.
CConsolidatedError internalUviDiskSetCacheMode(Session& session, uint32_t diskHandle, int mode,
                                               uint32_t spaceKind = 0);
CConsolidatedError internalUviVolumeSetCacheMode(Session& session, uint32_t volumeHandle, int mode);
CConsolidatedError internalUviDiskDestroyCache(Session& session, uint32_t diskHandle);
CConsolidatedError internalUviVolumeDestroyCache(Session& session, uint32_t volumeHandle);
CConsolidatedError internalUviDiskSetCacheSpindownPolicy(Session& session, uint32_t diskHandle, int policy);
CConsolidatedError internalUviVolumeSetCacheSpindownPolicy(Session& session, uint32_t volumeHandle,
                                                           int policy);
