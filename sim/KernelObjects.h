#pragma once
// Kernel synchronisation objects of the simulated machine: mutexes, events, semaphores and waitable
// timers, with the semantics of their Windows counterparts.
//
// Named mutexes, events and semaphores are shared by every process that opens the machine. Each
// lives as a few files under the state directory's "objects" folder: every process with a handle
// holds a shared flock on the object's reference file (so the object exists exactly while some
// process has it open, and disappears with the last holder, even one that was killed), a mutex
// owner holds an exclusive flock on the ownership file and writes its process and thread into it
// (so an owner that ends without releasing leaves the mutex abandoned), and the state of an event
// or semaphore is a small record updated under the record file's lock.
//
// Unnamed objects and waitable timers belong to the process that made them (a named timer is shared
// by name within its process only). Every timed wait runs on sim::Clock: in virtual time a wait
// that nothing ends in its grace slice jumps the clock to its deadline, and a wait on a timer jumps
// straight to the timer's due time.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace sim {

enum class SyncType { Mutex, Event, Semaphore, Timer };
const char* SyncTypeName(SyncType type);

enum class WaitOutcome { Signaled, Abandoned, Timeout, Failed };

class SyncObject {
public:
    virtual ~SyncObject() = default;
    virtual SyncType type() const = 0;
    // The name as given at creation or opening; empty for an unnamed object.
    virtual const std::string& name() const = 0;
    // Waits for the object on the machine's clock (Clock::kInfinite: for ever) and takes what it
    // gives: ownership of a mutex, one count of a semaphore, the signal of an auto-reset event.
    virtual WaitOutcome Wait(uint32_t timeoutMs) = 0;
};

class SyncMutex : public SyncObject {
public:
    // Gives back one take of the calling thread; false when the thread does not own the mutex.
    virtual bool Release() = 0;
};

class SyncEvent : public SyncObject {
public:
    virtual bool Set() = 0;
    virtual bool Reset() = 0;
};

class SyncSemaphore : public SyncObject {
public:
    // Adds count; false, changing nothing, when that would pass the maximum.
    virtual bool Release(int32_t count, int32_t* previous) = 0;
};

class SyncTimer : public SyncObject {
public:
    // Arms the timer to fire dueInMs from now and then every periodMs (0: once); clears its signal.
    virtual void Set(uint64_t dueInMs, uint32_t periodMs) = 0;
    // Disarms it; a signal it already gave stays.
    virtual void Cancel() = 0;
};

struct SyncResult {
    std::shared_ptr<SyncObject> object; // null on failure
    uint32_t error = 0;                 // the Win32 error when object is null
    bool existed = false;               // a create that found the object already there
};

// An empty name makes an unnamed object. Names follow the kernel's object namespace: "Global\x" is
// machine-wide, "Local\x" and "x" are the same session-local object; names are case-sensitive.
// Errors: ERROR_INVALID_HANDLE for a name held by another kind of object, ERROR_ACCESS_DENIED for a
// create the machine denies ("kernel_objects" section, or a new "Global\" object made without
// elevation), ERROR_FILE_NOT_FOUND for an open of a missing object, ERROR_INVALID_PARAMETER for
// bad semaphore counts, ERROR_PATH_NOT_FOUND, ERROR_INVALID_NAME or ERROR_FILENAME_EXCED_RANGE for
// a malformed name.
SyncResult CreateMutexObject(const std::string& name, bool initialOwner);
SyncResult CreateEventObject(const std::string& name, bool manualReset, bool initialState);
SyncResult CreateSemaphoreObject(const std::string& name, int32_t initialCount, int32_t maximumCount);
SyncResult CreateTimerObject(const std::string& name, bool manualReset);
SyncResult OpenSyncObject(SyncType type, const std::string& name);

// For the simulated driver, which signals the events registered with it by name, as a kernel-mode
// driver does through its reference to the object. False when no such event exists.
bool SignalNamedEvent(const std::string& name);
// Whether an object of this name exists in any process of the machine.
bool NamedObjectExists(const std::string& name);

// For tests: how often threads of this process had to wait in EnterCriticalSection (a section
// another thread held when they came), and a wait until that count is reached, so that a test sees
// a thread reach a lock it cannot take without polling. False at the give-up bound only a broken
// test reaches.
size_t CriticalSectionWaits();
bool AwaitCriticalSectionWaits(size_t count);

} // namespace sim
