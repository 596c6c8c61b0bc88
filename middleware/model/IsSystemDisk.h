#pragma once
// Whether a disk carries the running system (its system, boot, page file, hibernation or crash-dump
// volume, or the firmware boots from it), asked of the Virtual Disk Service through the disk's
// Windows view. `isSystem` is overwritten only when the service could be asked: a disk without
// partition table keeps the caller's value.
#include <memory>

#include "middleware/core/ConsolidatedError.h"
#include "middleware/model/WinDiskInterface.h"

class Disk;

// The disk's Windows view, or null for a disk without one (0xA0000006 "Disk cannot be null").
CConsolidatedError IsSystemDisk(const WinDiskInterface* view, bool& isSystem);
// The same for a disk of the topology: a null disk or one without Windows view gives 0xA0000006.
CConsolidatedError IsSystemDisk(const std::shared_ptr<Disk>& disk, bool& isSystem);
