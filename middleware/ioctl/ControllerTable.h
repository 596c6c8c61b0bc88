#pragma once
// The records of the process-wide controller table (at most 16), apart from the table's build: a
// request finds its target among them and the controller lock takes a record's mutex, and neither
// needs the build, which sends requests of its own (DeviceLocator).
#include <cstdint>
#include <mutex>

#include "middleware/ioctl/ControllerLocator.h"

class ControllerTable {
public:
    static constexpr int kMaxControllers = 16;

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

    // Fills the next record of the table with a copy of `record`; null when the table is full.
    // The build adds every controller it keeps through it; tests add records of their own.
    static ControllerLocator* AppendRecord(const ControllerLocator& record);

protected:
    // Held while the table is built or changed. Recursive, because a request made during the build
    // may ask for the table on the same thread.
    static std::recursive_mutex& ChangeLock();
    // Empties the table, closing the records' handles, as at the end of a process.
    static void Clear();
};
