#pragma once
// Lookups the operations of the C interface start with, and the disk helpers built on the end-device
// record and the Virtual Disk Service.
#include <cstdint>
#include <memory>

#include "middleware/api/UviVolumeRecords.h"
#include "middleware/core/ConsolidatedError.h"

class Controller;
class Disk;
class Session;

// The controller of the disk with the handle: 0xA0000006 "null session", 0xA0000003 "failed to get
// disk" or "failed to get controller".
CConsolidatedError GetDiskAndController(Session* session, uint32_t diskHandle,
                                        std::shared_ptr<Controller>& controller);
// The controller of the array with the handle: 0xA0000006 "null session", 0xA0010003 "failed to get
// Array", 0xA0000003 "failed to get controller" for an array without controller handle.
CConsolidatedError GetArrayAndController(Session* session, uint32_t arrayHandle,
                                         std::shared_ptr<Controller>& controller);

// The record of the first volume, controller by controller, whose name equals the serial number
// (up to 65 characters), on the session with the handle (0: a temporary session). A null serial
// number gives 0xA0010002 "NULL parameter in helper function", a session that cannot be had
// 0xA0010002 "NULL session in helper function", no match 0xA001000F "Could not find matching serial
// number"; the record is written only when a volume matched.
CConsolidatedError getVolumeBySerialNumber(uint32_t sessionHandle, const char* serialNumber,
                                           _UVI_VolumeInfo& volume);
// The same on a session the caller holds.
CConsolidatedError getVolumeBySerialNumber(Session& session, const char* serialNumber,
                                           _UVI_VolumeInfo& volume);
// Whether write caching suits every member of the volume: true for a write-back volume (cache
// policy 3); otherwise every disk of the controller on the volume's array must have its driver's
// write-cache mark (end-device cache flag 2), and there must be one. False when it cannot tell:
// session handle 0, no controller, the library not started, no session.
bool AllMembersHaveCacheFlag(uint32_t sessionHandle, const _UVI_VolumeInfo& volume,
                             const std::shared_ptr<Controller>& controller);
// The same on a session the caller holds.
bool AllMembersHaveCacheFlag(Session& session, const _UVI_VolumeInfo& volume, const Controller& controller);

// Cleans a disk that is not the system disk through the Virtual Disk Service; a disk without
// partition table needs no cleaning.
CConsolidatedError CleanNonSystemDisk(Session& session, uint32_t diskHandle);
// Offset and size in bytes of the boot volume's extent on the disk.
CConsolidatedError GetDiskVolumeProperties(const std::shared_ptr<Disk>& disk, uint64_t& offset,
                                           uint64_t& size);
