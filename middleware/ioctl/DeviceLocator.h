#pragma once
// The process-wide table of at most 16 controller locator records, built once on first use and
// read-only afterwards. A DeviceLocator is the accessor whose construction makes sure the table is
// built; the lookups are static and, except FindNextByFlags, do not build it.
#include <cstdint>
#include <vector>

#include "middleware/core/CfgMgrDevEnumerator.h"
#include "middleware/ioctl/ControllerLocator.h"
#include "platform/win/WinTypes.h"

class DeviceLocator {
public:
    static constexpr int kMaxControllers = 16;

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
    static int GetCount();

    // Whether the value is the address of one of the table's records (never null or -1).
    static bool Contains(const void* value);
    // The value itself when it is a record, else the first record whose device handle equals it
    // (null finds the placeholder record), else null.
    static ControllerLocator* FindByHandle(const void* value);
    static ControllerLocator* FindByPort(int32_t port);
    // The record's flags; 0 when the value is not a record.
    static uint32_t GetFlags(const void* value);
    static ControllerLocator* GetByIndex(int index);
    // The first index after `index` whose flags intersect the mask, -1 when none (start with -1).
    // Builds the table first unless the mask is exactly the placeholder bit.
    static int FindNextByFlags(uint32_t mask, int index);

    // Fills the next record of the table with a copy of `record`; null when the table is full.
    // The build adds every controller it keeps through it; tests add records of their own.
    static ControllerLocator* AppendRecord(const ControllerLocator& record);

    // Empties the table as a new process finds it, closing the records' handles, and starts the
    // interface version store over. Tests only: a library never forgets its controllers.
    static void ResetForTests();
};
