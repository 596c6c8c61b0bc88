#pragma once
// Synchronisation: critical sections, mutexes, events, semaphores, waitable timers and waits.
// Named objects are shared by every process of the simulated machine ("Global\x" machine-wide,
// "Local\x" or a bare name in the session, which is the same thing here); all waits and timers run
// on the machine's clock. Handles are closed with CloseHandle.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

#include "platform/win/WinAccess.h"
#include "platform/win/WinBase.h"
#include "platform/win/WinError.h"
#include "platform/win/WinTypes.h"

constexpr DWORD INFINITE = 0xFFFFFFFF;

// Results of a wait (WAIT_TIMEOUT is in WinError.h).
constexpr DWORD WAIT_OBJECT_0 = 0x00000000;
constexpr DWORD WAIT_ABANDONED = 0x00000080;
constexpr DWORD WAIT_ABANDONED_0 = 0x00000080;
constexpr DWORD WAIT_IO_COMPLETION = 0x000000C0;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

constexpr ACCESS_MASK MUTEX_MODIFY_STATE = 0x0001;
constexpr ACCESS_MASK MUTEX_ALL_ACCESS = STANDARD_RIGHTS_REQUIRED | SYNCHRONIZE | 0x0001;
constexpr ACCESS_MASK EVENT_MODIFY_STATE = 0x0002;
constexpr ACCESS_MASK EVENT_ALL_ACCESS = STANDARD_RIGHTS_REQUIRED | SYNCHRONIZE | 0x0003;
constexpr ACCESS_MASK SEMAPHORE_MODIFY_STATE = 0x0002;
constexpr ACCESS_MASK SEMAPHORE_ALL_ACCESS = STANDARD_RIGHTS_REQUIRED | SYNCHRONIZE | 0x0003;
constexpr ACCESS_MASK TIMER_QUERY_STATE = 0x0001;
constexpr ACCESS_MASK TIMER_MODIFY_STATE = 0x0002;
constexpr ACCESS_MASK TIMER_ALL_ACCESS = STANDARD_RIGHTS_REQUIRED | SYNCHRONIZE | 0x0003;

// ---- critical sections (in-process, re-entrant for the owning thread) ----

struct CRITICAL_SECTION {
    void* Impl; // the lock behind the section, made by InitializeCriticalSection
    DWORD OwningThread;
    LONG RecursionCount;
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;
using PCRITICAL_SECTION = CRITICAL_SECTION*;

void InitializeCriticalSection(LPCRITICAL_SECTION section);
BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION section, DWORD spinCount);
void EnterCriticalSection(LPCRITICAL_SECTION section);
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section);
void LeaveCriticalSection(LPCRITICAL_SECTION section);
void DeleteCriticalSection(LPCRITICAL_SECTION section);

// ---- kernel objects ----
// A create that finds the object returns a handle to it with ERROR_ALREADY_EXISTS as the last
// error (a new object leaves 0); a name held by another kind of object gives ERROR_INVALID_HANDLE.

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner, LPCSTR name);
HANDLE OpenMutexA(DWORD desiredAccess, BOOL inheritHandle, LPCSTR name);
// ERROR_NOT_OWNER unless the calling thread owns the mutex; one call per take.
BOOL ReleaseMutex(HANDLE mutex);

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState, LPCSTR name);
HANDLE OpenEventA(DWORD desiredAccess, BOOL inheritHandle, LPCSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

HANDLE CreateSemaphoreA(LPSECURITY_ATTRIBUTES attributes, LONG initialCount, LONG maximumCount, LPCSTR name);
HANDLE OpenSemaphoreA(DWORD desiredAccess, BOOL inheritHandle, LPCSTR name);
// ERROR_TOO_MANY_POSTS when the count would pass the maximum.
BOOL ReleaseSemaphore(HANDLE semaphore, LONG releaseCount, LONG* previousCount);

using PTIMERAPCROUTINE = void (*)(LPVOID argument, DWORD timerLowValue, DWORD timerHighValue);
HANDLE CreateWaitableTimerA(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, LPCSTR name);
// A negative due time is relative, in 100-ns units; a positive one is an absolute system time
// (FILETIME). Completion routines are not supported (ERROR_NOT_SUPPORTED); resume is accepted and
// reported as unsupported through the last error, as on machines without wake timers.
BOOL SetWaitableTimer(HANDLE timer, const LARGE_INTEGER* dueTime, LONG period, PTIMERAPCROUTINE completion,
                      LPVOID argument, BOOL resume);
BOOL CancelWaitableTimer(HANDLE timer);

// WAIT_OBJECT_0, WAIT_ABANDONED (a mutex whose owner thread or process ended without releasing
// it; the caller owns it now), WAIT_TIMEOUT, or WAIT_FAILED with the last error set.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);

namespace platform {

// A wait on a standard condition variable against the machine's clock instead of the steady
// clock, so that product code waiting with a time limit runs in virtual time under test. Returns
// pred() at the end.
bool WaitForCondition(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, uint64_t timeoutMs,
                      const std::function<bool()>& pred);

} // namespace platform
