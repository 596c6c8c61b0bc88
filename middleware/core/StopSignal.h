#pragma once
// A stop flag that worker threads wait on with a time limit. The owner stops and joins its waiting
// threads before destroying the signal.
#include <condition_variable>
#include <cstdint>
#include <mutex>

class StopSignal {
public:
    StopSignal() = default;
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    // Sets the flag and wakes every waiter.
    void set();
    // Waits until the flag is set or the time has passed; true means stop. Mutex and condition
    // variable failures are thrown as std::system_error.
    bool waitFor(uint64_t milliseconds);

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool stop_ = false;
};
