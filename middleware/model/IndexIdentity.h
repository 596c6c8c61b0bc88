#pragma once
// A change addresses a volume, disk or array of the driver by its index, and that index comes from a
// session's snapshot. Another process may have deleted or added objects since, so that the index now
// names another object. Under the controller's lock, before the first write, these read the object
// at the index again and compare what identifies it (a volume's name, a disk's serial number, an
// array's number and its members' serial numbers) with the session's copy; anything else, an index
// the driver no longer has included, is refused with 0xA006001B and a message naming the object.
#include "middleware/core/ConsolidatedError.h"
#include "platform/win/WinTypes.h"

class Controller;
class Disk;
class RaidArray;
class RaidVolume;

CConsolidatedError ConfirmVolumeAtIndex(HANDLE target, const RaidVolume& volume);
// A disk without a RAID record has no index to confirm.
CConsolidatedError ConfirmDiskAtIndex(HANDLE target, const Disk& disk);
CConsolidatedError ConfirmArrayAtIndex(HANDLE target, const RaidArray& array);
// Every disk of the controller that has a RAID record (the ones a selection change writes to).
CConsolidatedError ConfirmDisksAtIndexes(HANDLE target, const Controller& controller);
