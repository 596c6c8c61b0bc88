#include "sim/Clock.h"

#include <atomic>
#include <thread>

namespace sim {
namespace {

std::atomic<bool> g_virtual{false};
std::atomic<uint64_t> g_virtualNs{0};

uint64_t RealNs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

} // namespace

uint64_t Clock::NowNs() {
    return g_virtual.load() ? g_virtualNs.load() : RealNs();
}

void Clock::SleepMs(uint32_t ms) {
    if (g_virtual.load()) {
        AdvanceMs(ms);
        // Let other threads run as a real sleep would.
        std::this_thread::yield();
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool Clock::IsVirtual() {
    return g_virtual.load();
}

void Clock::UseVirtual(uint64_t startMs) {
    g_virtualNs.store(startMs * 1000000u);
    g_virtual.store(true);
}

void Clock::UseReal() {
    g_virtual.store(false);
}

void Clock::AdvanceMs(uint64_t ms) {
    g_virtualNs.fetch_add(ms * 1000000u);
}

namespace {

void AdvanceToNs(uint64_t target) {
    uint64_t now = g_virtualNs.load();
    while (now < target && !g_virtualNs.compare_exchange_weak(now, target)) {
    }
}

} // namespace

void Clock::AdvanceToMs(uint64_t targetMs) {
    AdvanceToNs(targetMs * 1000000u);
}

bool Clock::WaitFor(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, uint32_t timeoutMs,
                    const std::function<bool()>& pred) {
    if (timeoutMs == kInfinite) {
        cv.wait(lock, pred);
        return true;
    }
    if (pred())
        return true;
    if (timeoutMs == 0)
        return false;
    if (g_virtual.load()) {
        const uint64_t deadline = NowNs() + uint64_t{timeoutMs} * 1000000u;
        if (cv.wait_for(lock, kVirtualGrace, pred))
            return true;
        AdvanceToNs(deadline);
        return pred();
    }
    return cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), pred);
}

} // namespace sim
