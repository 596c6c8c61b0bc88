#pragma once
// A deadline made of a waitable timer, for polling loops: start it once, then poll while
// wait(period) answers true (the deadline is still ahead).
#include <cstdint>

#include "middleware/core/ScopedHandle.h"

class DeadlineTimer {
public:
    explicit DeadlineTimer(uint64_t durationMs) : durationMs_(durationMs) {}

    // Sets the deadline the duration from now; false (traced) when the timer cannot be made or set.
    bool start();
    // Waits up to `milliseconds`: true when the deadline is still ahead, false when it has passed, when
    // the timer was never started, or when the wait failed (traced).
    bool wait(unsigned milliseconds);

private:
    ScopedHandle timer_;
    bool started_ = false;
    uint64_t durationMs_;
};
