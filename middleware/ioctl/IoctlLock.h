#pragma once
// The lock of one driver request: recursive for its owning thread, taken with a deadline. Waits
// run on the machine's clock (platform::WaitForCondition), so a test of the time limit takes no
// real time.
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

class IoctlLock {
public:
    IoctlLock() = default;
    IoctlLock(const IoctlLock&) = delete;
    IoctlLock& operator=(const IoctlLock&) = delete;

    // Takes the lock unless another thread holds it past the deadline (nanoseconds on the
    // performance counter); false when it was not taken.
    bool TryLockUntil(int64_t deadlineNs);
    void Unlock();

    // The performance counter in nanoseconds.
    static int64_t NowNs();
    // Now + the given milliseconds, clamped to the largest signed 64-bit value.
    static int64_t DeadlineAfterMs(uint64_t milliseconds);

private:
    std::mutex mutex_;
    std::condition_variable released_;
    std::thread::id owner_;
    unsigned depth_ = 0;
};

// Holds an IoctlLock for a scope when it was taken in time.
class IoctlLockGuard {
public:
    IoctlLockGuard(IoctlLock& lock, uint64_t timeoutMs)
        : lock_(lock), taken_(lock.TryLockUntil(IoctlLock::DeadlineAfterMs(timeoutMs))) {}
    ~IoctlLockGuard() {
        if (taken_)
            lock_.Unlock();
    }
    IoctlLockGuard(const IoctlLockGuard&) = delete;
    IoctlLockGuard& operator=(const IoctlLockGuard&) = delete;

    bool taken() const { return taken_; }

private:
    IoctlLock& lock_;
    bool taken_;
};
