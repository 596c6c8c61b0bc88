#pragma once
// The simulated machine's clock. Real by default; a test switches it to virtual time, where a
// sleep returns at once and moves the clock on, so retry loops of minutes finish immediately.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

namespace sim {

class Clock {
public:
    static constexpr uint32_t kInfinite = 0xFFFFFFFFu;

    // Monotonic time since an arbitrary origin, in nanoseconds.
    static uint64_t NowNs();
    static uint64_t NowMs() { return NowNs() / 1000000u; }

    static void SleepMs(uint32_t ms);

    static bool IsVirtual();
    // Virtual time starts at startMs and only moves by sleeps, timed waits and Advance.
    static void UseVirtual(uint64_t startMs = 1000000);
    static void UseReal();
    static void AdvanceMs(uint64_t ms);
    // Moves virtual time forward to targetMs unless it is there already, so that several waits
    // running out at one deadline move the clock to it once, not once each.
    static void AdvanceToMs(uint64_t targetMs);

    // Waits on cv until pred holds or timeoutMs passes on this clock; kInfinite waits for ever.
    // In virtual time a finite wait first gives other threads a short real slice to act, then
    // jumps the clock to the deadline. Returns pred().
    static bool WaitFor(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, uint32_t timeoutMs,
                        const std::function<bool()>& pred);

    // Real time slice a virtual timed wait grants other threads before it times out.
    static constexpr std::chrono::milliseconds kVirtualGrace{20};
};

// Switches the clock to virtual time for one scope (a test), and back to real time after.
class ScopedVirtualClock {
public:
    explicit ScopedVirtualClock(uint64_t startMs = 1000000) { Clock::UseVirtual(startMs); }
    ~ScopedVirtualClock() { Clock::UseReal(); }
    ScopedVirtualClock(const ScopedVirtualClock&) = delete;
    ScopedVirtualClock& operator=(const ScopedVirtualClock&) = delete;
};

} // namespace sim
