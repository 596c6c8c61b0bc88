#include "middleware/core/DeadlineTimer.h"

#include <algorithm>
#include <limits>

#include "platform/win/Trace.h"
#include "platform/win/WinSync.h"

bool DeadlineTimer::start() {
    // A failed restart must not leave a loop polling a timer that was never set.
    started_ = false;
    HANDLE timer = CreateWaitableTimerA(nullptr, TRUE, nullptr);
    if (!timer) {
        MOX_TRACE(TRACE_LEVEL_WARNING, "DeadlineTimer::start: CreateWaitableTimer failed, error %u",
                  GetLastError());
        return false;
    }
    timer_.reset(timer);
    // Relative due time in 100-ns units.
    constexpr uint64_t kLongest = std::numeric_limits<int64_t>::max() / 10000;
    LARGE_INTEGER due;
    due.QuadPart = -static_cast<LONGLONG>(std::min(durationMs_, kLongest) * 10000);
    if (!SetWaitableTimer(timer_.get(), &due, 0, nullptr, nullptr, FALSE)) {
        MOX_TRACE(TRACE_LEVEL_WARNING, "DeadlineTimer::start: SetWaitableTimer failed, error %u",
                  GetLastError());
        return false;
    }
    started_ = true;
    return true;
}

bool DeadlineTimer::wait(unsigned milliseconds) {
    if (!started_)
        return false;
    const DWORD result = WaitForSingleObject(timer_.get(), milliseconds);
    if (result == WAIT_TIMEOUT)
        return true;
    if (result != WAIT_OBJECT_0)
        MOX_TRACE(TRACE_LEVEL_ERROR, "DeadlineTimer::wait: wait result %#x, error %u", result,
                  GetLastError());
    return false;
}
