#pragma once
// Runs a callback on a worker thread at once and then again, one period after each call returned,
// while the owner blocks in a long library operation. Leaving the owner's scope stops it.
#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

#include "platform/win/WinSync.h"

namespace MOX {

class PeriodicTimer {
public:
    // Starts the worker last, so it never sees a timer without its callback. A thread the system
    // cannot start throws std::system_error (resource unavailable) and no timer exists.
    PeriodicTimer(int32_t periodMs, std::function<void()> callback);
    // Stops the worker and joins it: the pause ends at once, a call under way is waited for. From the
    // worker itself
    // this throws std::system_error (resource deadlock would occur).
    ~PeriodicTimer() noexcept(false);
    PeriodicTimer(const PeriodicTimer&) = delete;
    PeriodicTimer& operator=(const PeriodicTimer&) = delete;

private:
    void run();

    int32_t period;
    std::atomic<bool> running{false};
    std::thread worker;
    std::function<void()> callback;
    // Set when the timer stops, so that the pause does not outlast it; null when it could not be made,
    // and the pause is then a plain sleep.
    HANDLE stopped = nullptr;
};

} // namespace MOX
