#include "middleware/core/StopSignal.h"

#include "platform/win/WinSync.h"

StopSignal::~StopSignal() {
    set();
}

void StopSignal::set() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    cv_.notify_all();
}

bool StopSignal::waitFor(uint64_t milliseconds) {
    std::unique_lock lock(mutex_);
    // The platform's wait keeps the time on the machine's clock, so a test's waits take no real time.
    return platform::WaitForCondition(lock, cv_, milliseconds, [this] { return stop_; });
}
