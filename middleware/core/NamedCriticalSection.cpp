#include "middleware/core/NamedCriticalSection.h"

#include <map>
#include <memory>
#include <mutex>

#include "platform/win/Trace.h"
#include "platform/win/WinSync.h"

namespace {

// A kernel call's failure: code 0x20000001 (a consolidated error) carrying the Win32 error.
CConsolidatedError Win32Failure(DWORD error, const char* text) {
    CConsolidatedError failure;
    failure.SetError(KEDO2_ERROR_TYPE_WIN32, error, static_cast<const char*>(nullptr));
    const std::string debug = std::string(text) + std::to_string(error);
    failure.SetError(KEDO2_ERROR_TYPE_KEDO2, CConsolidatedError::WIN32_ERROR, debug.c_str());
    return failure;
}

CConsolidatedError NotObtained(const char* message) {
    CConsolidatedError busy;
    busy.SetError(CConsolidatedError::HALVEX_CRITICAL_SECTION_NOT_OBTAINED, message);
    return busy;
}

// The names the objects of this process hold, each with its holder and the holder's thread. The
// mutex alone would admit a second object on the owner thread (it counts the takes), and that
// object's leave would reset the shared event while the first still holds the section. A holder
// whose thread ended without leaving holds nothing: its mutex is abandoned.
struct Holder {
    const NamedCriticalSection* object = nullptr;
    std::weak_ptr<const int> thread;
};
struct HeldNames {
    std::mutex lock;
    std::map<std::string, Holder> names;
};

// Expires when the calling thread ends.
std::weak_ptr<const int> ThisThread() {
    thread_local const std::shared_ptr<const int> alive = std::make_shared<const int>(0);
    return alive;
}

HeldNames& Held() {
    static HeldNames held;
    return held;
}

} // namespace

NamedCriticalSection::NamedCriticalSection(const std::string& name)
    : mutexName_(name), eventName_(name + "_E") {}

NamedCriticalSection::~NamedCriticalSection() {
    try {
        leave();
    } catch (...) {
        MOX_TRACE(TRACE_LEVEL_ERROR, "NamedCriticalSection %s: release on destruction failed",
                  mutexName_.c_str());
        // The object is gone, so its name no longer keeps this process's other objects out.
        HeldNames& held = Held();
        std::lock_guard<std::mutex> names(held.lock);
        const auto holder = held.names.find(mutexName_);
        if (holder != held.names.end() && holder->second.object == this)
            held.names.erase(holder);
    }
}

CConsolidatedError NamedCriticalSection::enter() {
    if (held_) {
        CConsolidatedError twice;
        twice.SetError(CConsolidatedError::HALVEX_CRITICAL_SECTION_RE_ENTRY, "Cannot enter section twice");
        return twice;
    }
    if (!mutex_.get()) {
        HANDLE mutex = CreateMutexA(nullptr, FALSE, mutexName_.c_str());
        // A service's mutex in the global namespace refuses creation rights but may be opened.
        if (!mutex && GetLastError() == ERROR_ACCESS_DENIED)
            mutex = OpenMutexA(SYNCHRONIZE, FALSE, mutexName_.c_str());
        if (!mutex)
            throw Win32Failure(GetLastError(), "Failed to create or open mutex. ErrorCode: ");
        mutex_.reset(mutex);
    }

    HeldNames& held = Held();
    std::unique_lock<std::mutex> names(held.lock);
    const auto holder = held.names.find(mutexName_);
    if (holder != held.names.end() && !holder->second.thread.expired())
        return NotObtained("Could not enter critical section");
    const DWORD result = WaitForSingleObject(mutex_.get(), 0);
    switch (result) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED: {
        held.names[mutexName_] = Holder{this, ThisThread()};
        names.unlock();
        held_ = true;
        HANDLE event = CreateEventA(nullptr, TRUE, FALSE, eventName_.c_str());
        event_.reset(event);
        if (!event || !SetEvent(event)) {
            leave();
            return NotObtained("Could not enter critical section - setting flag failed");
        }
        return CConsolidatedError();
    }
    case WAIT_TIMEOUT:
        return NotObtained("Could not enter critical section");
    case WAIT_FAILED:
        return Win32Failure(GetLastError(), "Mutex wait failed. ErrorCode: ");
    default:
        return Win32Failure(GetLastError(), "Unexpected result while obtaining mutex. ErrorCode: ");
    }
}

void NamedCriticalSection::leave() {
    if (!held_)
        return;
    // The name and the mutex are given back together, so that a thread of this process is never
    // refused a free section.
    HeldNames& held = Held();
    std::lock_guard<std::mutex> names(held.lock);
    const auto holder = held.names.find(mutexName_);
    if (holder == held.names.end() || holder->second.object != this) {
        // Another holder took the section over once this one's thread had ended: the mutex was
        // abandoned and is no longer this object's to give back.
        event_.reset();
        held_ = false;
        return;
    }
    // Reset before the mutex is free, so that no reader sees a released section as in use and the
    // next holder's signal is not undone.
    if (event_.get())
        ResetEvent(event_.get());
    if (!ReleaseMutex(mutex_.get())) {
        const DWORD error = GetLastError();
        if (event_.get())
            SetEvent(event_.get());
        throw Win32Failure(error, "Failed to release mutex. ErrorCode: ");
    }
    event_.reset();
    held_ = false;
    held.names.erase(holder);
}

bool NamedCriticalSection::exists() const {
    ScopedHandle mutex(OpenMutexA(SYNCHRONIZE, FALSE, mutexName_.c_str()));
    return mutex.get() != nullptr;
}

bool NamedCriticalSection::isInUse() const {
    ScopedHandle event(OpenEventA(SYNCHRONIZE, FALSE, eventName_.c_str()));
    return event.get() && WaitForSingleObject(event.get(), 0) == WAIT_OBJECT_0;
}
