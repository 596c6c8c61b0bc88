#include "middleware/ioctl/IoctlLock.h"

#include <limits>

#include "platform/win/WinBase.h"
#include "platform/win/WinSync.h"

int64_t IoctlLock::NowNs() {
    LARGE_INTEGER counter{}, frequency{};
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    if (frequency.QuadPart <= 0)
        return 0;
    const auto ticks = static_cast<__int128>(counter.QuadPart);
    return static_cast<int64_t>(ticks * 1000000000 / frequency.QuadPart);
}

int64_t IoctlLock::DeadlineAfterMs(uint64_t milliseconds) {
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    const int64_t now = NowNs();
    const uint64_t span = milliseconds > static_cast<uint64_t>(kMax) / 1000000 ? static_cast<uint64_t>(kMax)
                                                                               : milliseconds * 1000000;
    return span > static_cast<uint64_t>(kMax - now) ? kMax : now + static_cast<int64_t>(span);
}

bool IoctlLock::TryLockUntil(int64_t deadlineNs) {
    const auto self = std::this_thread::get_id();
    std::unique_lock lock(mutex_);
    if (depth_ != 0 && owner_ == self) {
        ++depth_;
        return true;
    }
    auto free = [this] { return depth_ == 0; };
    while (!free()) {
        const int64_t now = NowNs();
        if (now >= deadlineNs)
            return false;
        const auto remainingMs = static_cast<uint64_t>((deadlineNs - now + 999999) / 1000000);
        platform::WaitForCondition(lock, released_, remainingMs, free);
    }
    owner_ = self;
    depth_ = 1;
    return true;
}

void IoctlLock::Unlock() {
    {
        std::lock_guard lock(mutex_);
        if (depth_ == 0 || owner_ != std::this_thread::get_id())
            return;
        if (--depth_ != 0)
            return;
        owner_ = std::thread::id();
    }
    released_.notify_all();
}
