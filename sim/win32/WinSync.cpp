#include "platform/win/WinSync.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "sim/Clock.h"
#include "sim/KernelObjects.h"
#include "sim/Schema.h"
#include "sim/win32/HandleTable.h"
#include "sim/win32/SimCall.h"

namespace {

// One handle to a kernel object: handles of one process share the object and each has the access
// it was opened with.
class SyncHandle : public platform::KernelObject {
public:
    SyncHandle(std::shared_ptr<sim::SyncObject> object, ACCESS_MASK access)
        : object_(std::move(object)), access_(access) {}
    const std::shared_ptr<sim::SyncObject>& object() const { return object_; }
    bool allows(ACCESS_MASK rights) const { return (access_ & rights) == rights; }

private:
    std::shared_ptr<sim::SyncObject> object_;
    ACCESS_MASK access_;
};

std::string NameOf(LPCSTR name) {
    return name ? std::string(name) : std::string();
}

nlohmann::json Selectors(sim::SyncType type, const std::string& name,
                         nlohmann::json extra = nlohmann::json::object()) {
    extra["object"] = sim::SyncTypeName(type);
    extra["name"] = name;
    return extra;
}

// Records the call; an injected failure sets the last error and returns true.
bool Injected(const char* kind, const nlohmann::json& selectors) {
    auto outcome = platform::SimCall(kind, selectors);
    if (!outcome)
        return false;
    SetLastError(platform::OutcomeNumber(*outcome, "win32_error", ERROR_GEN_FAILURE));
    return true;
}

HANDLE Handed(const sim::SyncResult& result, ACCESS_MASK access, bool reportExisting) {
    if (!result.object) {
        SetLastError(result.error);
        return nullptr;
    }
    HANDLE handle = platform::InsertHandle(std::make_shared<SyncHandle>(result.object, access));
    if (reportExisting)
        SetLastError(result.existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

HANDLE Open(const char* kind, sim::SyncType type, DWORD access, LPCSTR name) {
    // Named objects live in the machine's state directory, which may fail to be read: the call
    // then fails (ERROR_INVALID_DATA) and the cause is told.
    return platform::Guarded(
        [&]() -> HANDLE {
            if (!name) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return nullptr;
            }
            if (Injected(kind, Selectors(type, name, {{"access", access}})))
                return nullptr;
            return Handed(sim::OpenSyncObject(type, name), access, false);
        },
        platform::LastErrorAnd(static_cast<HANDLE>(nullptr)));
}

// The handle's object when it is of the given type and the handle carries the rights; otherwise
// null with the last error set.
template <class T> std::shared_ptr<T> Use(HANDLE handle, sim::SyncType type, ACCESS_MASK rights) {
    auto sync = platform::LookupHandleAs<SyncHandle>(handle);
    if (!sync || sync->object()->type() != type) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!sync->allows(rights)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return std::static_pointer_cast<T>(sync->object());
}

struct CriticalSectionLock {
    std::recursive_mutex mutex;
};

std::recursive_mutex& LockOf(LPCRITICAL_SECTION section) {
    return static_cast<CriticalSectionLock*>(section->Impl)->mutex;
}

// How often a thread had to wait for a section, for sim::AwaitCriticalSectionWaits.
struct SectionWaits {
    std::mutex mutex;
    std::condition_variable counted;
    size_t count = 0;
};
SectionWaits& Waits() {
    static SectionWaits waits;
    return waits;
}
constexpr std::chrono::seconds kAwaitGiveUp{120};

} // namespace

// ---- critical sections ----

void InitializeCriticalSection(LPCRITICAL_SECTION section) {
    section->Impl = new CriticalSectionLock;
    section->OwningThread = 0;
    section->RecursionCount = 0;
}

BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION section, DWORD) {
    InitializeCriticalSection(section);
    return TRUE;
}

void EnterCriticalSection(LPCRITICAL_SECTION section) {
    if (!LockOf(section).try_lock()) {
        SectionWaits& waits = Waits();
        {
            std::lock_guard lock(waits.mutex);
            ++waits.count;
        }
        waits.counted.notify_all();
        LockOf(section).lock();
    }
    section->OwningThread = GetCurrentThreadId();
    ++section->RecursionCount;
}

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section) {
    if (!LockOf(section).try_lock())
        return FALSE;
    section->OwningThread = GetCurrentThreadId();
    ++section->RecursionCount;
    return TRUE;
}

void LeaveCriticalSection(LPCRITICAL_SECTION section) {
    if (--section->RecursionCount == 0)
        section->OwningThread = 0;
    LockOf(section).unlock();
}

void DeleteCriticalSection(LPCRITICAL_SECTION section) {
    delete static_cast<CriticalSectionLock*>(section->Impl);
    section->Impl = nullptr;
}

// ---- mutexes ----

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCSTR name) {
    return platform::Guarded(
        [&]() -> HANDLE {
            const std::string n = NameOf(name);
            if (Injected("CreateMutex",
                         Selectors(sim::SyncType::Mutex, n, {{"initial_owner", initialOwner != 0}})))
                return nullptr;
            return Handed(sim::CreateMutexObject(n, initialOwner != 0), MUTEX_ALL_ACCESS, true);
        },
        platform::LastErrorAnd(static_cast<HANDLE>(nullptr)));
}

HANDLE OpenMutexA(DWORD desiredAccess, BOOL, LPCSTR name) {
    return Open("OpenMutex", sim::SyncType::Mutex, desiredAccess, name);
}

BOOL ReleaseMutex(HANDLE mutex) {
    auto object = Use<sim::SyncMutex>(mutex, sim::SyncType::Mutex, 0);
    if (!object)
        return FALSE;
    if (Injected("ReleaseMutex", Selectors(sim::SyncType::Mutex, object->name())))
        return FALSE;
    if (!object->Release()) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    return TRUE;
}

// ---- events ----

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCSTR name) {
    return platform::Guarded(
        [&]() -> HANDLE {
            const std::string n = NameOf(name);
            if (Injected("CreateEvent", Selectors(sim::SyncType::Event, n,
                                                  {{"manual_reset", manualReset != 0},
                                                   {"initial_state", initialState != 0}})))
                return nullptr;
            return Handed(sim::CreateEventObject(n, manualReset != 0, initialState != 0), EVENT_ALL_ACCESS,
                          true);
        },
        platform::LastErrorAnd(static_cast<HANDLE>(nullptr)));
}

HANDLE OpenEventA(DWORD desiredAccess, BOOL, LPCSTR name) {
    return Open("OpenEvent", sim::SyncType::Event, desiredAccess, name);
}

static BOOL ChangeEvent(const char* kind, HANDLE event, bool set) {
    auto object = Use<sim::SyncEvent>(event, sim::SyncType::Event, EVENT_MODIFY_STATE);
    if (!object)
        return FALSE;
    if (Injected(kind, Selectors(sim::SyncType::Event, object->name())))
        return FALSE;
    if (!(set ? object->Set() : object->Reset())) {
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
    }
    return TRUE;
}

BOOL SetEvent(HANDLE event) {
    return ChangeEvent("SetEvent", event, true);
}

BOOL ResetEvent(HANDLE event) {
    return ChangeEvent("ResetEvent", event, false);
}

// ---- semaphores ----

HANDLE CreateSemaphoreA(LPSECURITY_ATTRIBUTES, LONG initialCount, LONG maximumCount, LPCSTR name) {
    return platform::Guarded(
        [&]() -> HANDLE {
            const std::string n = NameOf(name);
            if (Injected("CreateSemaphore",
                         Selectors(sim::SyncType::Semaphore, n,
                                   {{"initial_count", initialCount}, {"maximum_count", maximumCount}})))
                return nullptr;
            return Handed(sim::CreateSemaphoreObject(n, initialCount, maximumCount), SEMAPHORE_ALL_ACCESS,
                          true);
        },
        platform::LastErrorAnd(static_cast<HANDLE>(nullptr)));
}

HANDLE OpenSemaphoreA(DWORD desiredAccess, BOOL, LPCSTR name) {
    return Open("OpenSemaphore", sim::SyncType::Semaphore, desiredAccess, name);
}

BOOL ReleaseSemaphore(HANDLE semaphore, LONG releaseCount, LONG* previousCount) {
    auto object = Use<sim::SyncSemaphore>(semaphore, sim::SyncType::Semaphore, SEMAPHORE_MODIFY_STATE);
    if (!object)
        return FALSE;
    if (Injected("ReleaseSemaphore", Selectors(sim::SyncType::Semaphore, object->name())))
        return FALSE;
    if (releaseCount <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    int32_t previous = 0;
    if (!object->Release(releaseCount, &previous)) {
        SetLastError(ERROR_TOO_MANY_POSTS);
        return FALSE;
    }
    if (previousCount)
        *previousCount = previous;
    return TRUE;
}

// ---- waitable timers ----

HANDLE CreateWaitableTimerA(LPSECURITY_ATTRIBUTES, BOOL manualReset, LPCSTR name) {
    const std::string n = NameOf(name);
    if (Injected("CreateWaitableTimer",
                 Selectors(sim::SyncType::Timer, n, {{"manual_reset", manualReset != 0}})))
        return nullptr;
    return Handed(sim::CreateTimerObject(n, manualReset != 0), TIMER_ALL_ACCESS, true);
}

BOOL SetWaitableTimer(HANDLE timer, const LARGE_INTEGER* dueTime, LONG period, PTIMERAPCROUTINE completion,
                      LPVOID, BOOL resume) {
    auto object = Use<sim::SyncTimer>(timer, sim::SyncType::Timer, TIMER_MODIFY_STATE);
    if (!object)
        return FALSE;
    if (!dueTime || period < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (Injected("SetWaitableTimer", Selectors(sim::SyncType::Timer, object->name(),
                                               {{"due_time", dueTime->QuadPart}, {"period", period}})))
        return FALSE;
    if (completion) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    uint64_t hundredNs;
    if (dueTime->QuadPart < 0) {
        hundredNs = static_cast<uint64_t>(-(dueTime->QuadPart + 1)) + 1;
    } else {
        // FILETIME counts 100-ns units from 1601; the Unix epoch lies 11644473600 s later.
        const auto sinceUnix = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                   std::chrono::system_clock::now().time_since_epoch())
                                   .count() /
                               100;
        const int64_t now = static_cast<int64_t>(sinceUnix) + 116444736000000000LL;
        hundredNs = dueTime->QuadPart > now ? static_cast<uint64_t>(dueTime->QuadPart - now) : 0;
    }
    object->Set((hundredNs + 9999) / 10000, static_cast<uint32_t>(period));
    if (resume)
        SetLastError(ERROR_NOT_SUPPORTED);
    return TRUE;
}

BOOL CancelWaitableTimer(HANDLE timer) {
    auto object = Use<sim::SyncTimer>(timer, sim::SyncType::Timer, TIMER_MODIFY_STATE);
    if (!object)
        return FALSE;
    object->Cancel();
    return TRUE;
}

// ---- waits ----

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    auto sync = platform::LookupHandleAs<SyncHandle>(handle);
    if (!sync) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    const auto& object = sync->object();
    auto outcome = platform::SimCall("WaitForSingleObject",
                                     Selectors(object->type(), object->name(), {{"timeout", milliseconds}}));
    // A "signal" outcome tells an observer (another thread or process) that the wait has been
    // reached; unless a result is given beside it, the wait then goes on as usual.
    if (outcome && outcome->contains("signal")) {
        if (const auto& signal = (*outcome)["signal"]; signal.is_string())
            sim::SignalNamedEvent(signal.get<std::string>());
        if (!outcome->contains("wait_result") && !outcome->contains("win32_error"))
            outcome.reset();
    }
    if (outcome) {
        if (outcome->contains("win32_error"))
            SetLastError(platform::OutcomeNumber(*outcome, "win32_error", ERROR_GEN_FAILURE));
        return platform::OutcomeNumber(*outcome, "wait_result", WAIT_FAILED);
    }
    if (!sync->allows(SYNCHRONIZE)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return WAIT_FAILED;
    }
    switch (object->Wait(milliseconds)) {
    case sim::WaitOutcome::Signaled:
        return WAIT_OBJECT_0;
    case sim::WaitOutcome::Abandoned:
        return WAIT_ABANDONED;
    case sim::WaitOutcome::Timeout:
        return WAIT_TIMEOUT;
    case sim::WaitOutcome::Failed:
        break;
    }
    SetLastError(ERROR_GEN_FAILURE);
    return WAIT_FAILED;
}

namespace platform {

bool WaitForCondition(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, uint64_t timeoutMs,
                      const std::function<bool()>& pred) {
    // The clock's waits are finite below its infinite value; longer ones are made of several.
    constexpr uint64_t kLongest = sim::Clock::kInfinite - 1;
    while (timeoutMs > kLongest) {
        if (sim::Clock::WaitFor(lock, cv, static_cast<uint32_t>(kLongest), pred))
            return true;
        timeoutMs -= kLongest;
    }
    return sim::Clock::WaitFor(lock, cv, static_cast<uint32_t>(timeoutMs), pred);
}

} // namespace platform

namespace {

using namespace sim::schema;

const FaultKind kCreateFaults({"CreateMutex", "CreateEvent", "CreateSemaphore", "CreateWaitableTimer"},
                              {"object", "name", "initial_owner", "manual_reset", "initial_state",
                               "initial_count", "maximum_count"},
                              Object({{"win32_error", Uint32()}}));
const FaultKind kOpenFaults({"OpenMutex", "OpenEvent", "OpenSemaphore"}, {"object", "name", "access"},
                            Object({{"win32_error", Uint32()}}));
const FaultKind kSignalFaults({"ReleaseMutex", "SetEvent", "ResetEvent", "ReleaseSemaphore"},
                              {"object", "name"}, Object({{"win32_error", Uint32()}}));
const FaultKind kTimerFaults("SetWaitableTimer", {"object", "name", "due_time", "period"},
                             Object({{"win32_error", Uint32()}}));
const FaultKind
    kWaitFaults("WaitForSingleObject", {"object", "name", "timeout"},
                Object({{"wait_result", Uint32()}, {"win32_error", Uint32()}, {"signal", Text()}}));

} // namespace

namespace sim {

size_t CriticalSectionWaits() {
    SectionWaits& waits = Waits();
    std::lock_guard lock(waits.mutex);
    return waits.count;
}

bool AwaitCriticalSectionWaits(size_t count) {
    SectionWaits& waits = Waits();
    std::unique_lock lock(waits.mutex);
    return waits.counted.wait_for(lock, kAwaitGiveUp, [&] { return waits.count >= count; });
}

} // namespace sim
