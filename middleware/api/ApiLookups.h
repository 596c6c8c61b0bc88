#pragma once
// Lookups the operations of the C interface start with, and the disk helpers built on the end-device
// record and the Virtual Disk Service.
#include <cstdint>
#include <memory>

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

// Cleans a disk that is not the system disk through the Virtual Disk Service; a disk without
// partition table needs no cleaning.
CConsolidatedError CleanNonSystemDisk(Session& session, uint32_t diskHandle);
// Offset and size in bytes of the boot volume's extent on the disk.
CConsolidatedError GetDiskVolumeProperties(const std::shared_ptr<Disk>& disk, uint64_t& offset,
                                           uint64_t& size);
