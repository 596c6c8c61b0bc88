#pragma once
// The build of the process-wide controller table, once on first use; the records are read-only
// afterwards. A DeviceLocator is the accessor whose construction makes sure the table is built; the
// lookups (ControllerTable's) are static and, except FindNextByFlags, do not build it.
#include <cstdint>
#include <vector>

#include "middleware/core/CfgMgrDevEnumerator.h"
#include "middleware/ioctl/ControllerTable.h"
#include "platform/win/WinTypes.h"

class DeviceLocator : public ControllerTable {
public:
    DeviceLocator();
    ~DeviceLocator() = default;

    // Builds the table when it holds no record; returns the record count (at least 1 afterwards).
    // Every storage-port interface that answers as one of the vendor's controllers or as another
    // vendor's SATA, RAID or NVMe adapter gets a record (the first 16 are kept); a device that cannot
    // be read, opened, classified or given a port number is skipped. With no controller the table
    // holds the placeholder record. The records are then registered with the interface version
    // store and its bypass ends. A failure to list the interfaces is thrown (a CfgMgrException) and
    // leaves the table unbuilt, so the next use tries again.
    static int Build();

    // The first index after `index` whose flags intersect the mask, -1 when none (start with -1).
    // Builds the table first unless the mask is exactly the placeholder bit.
    static int FindNextByFlags(uint32_t mask, int index);

    // Empties the table as a new process finds it, closing the records' handles, and starts the
    // interface version store over. Tests only: a library never forgets its controllers.
    static void ResetForTests();
};
