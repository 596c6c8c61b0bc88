#include "cli/PeriodicTimer.h"

#include <system_error>
#include <utility>

#include "platform/win/WinBase.h"
#include "platform/win/WinThread.h"

namespace MOX {

PeriodicTimer::PeriodicTimer(int32_t periodMs, std::function<void()> callback_)
    : period(periodMs), callback(std::move(callback_)) {
    stopped = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    running = true;
    try {
        worker = platform::StartThread([this] { run(); });
    } catch (...) {
        if (stopped)
            CloseHandle(stopped);
        throw;
    }
}

PeriodicTimer::~PeriodicTimer() noexcept(false) {
    running = false;
    if (stopped)
        SetEvent(stopped);
    if (worker.joinable()) {
        if (worker.get_id() == std::this_thread::get_id())
            throw std::system_error(std::make_error_code(std::errc::resource_deadlock_would_occur));
        worker.join();
    }
    callback = nullptr;
    if (stopped)
        CloseHandle(stopped);
}

void PeriodicTimer::run() {
    while (running) {
        // A callback that throws would end the process from this thread: what it throws is dropped,
        // and the next period calls it again.
        try {
            callback();
        } catch (...) {
        }
        // The pause runs on the machine's clock, so a display test runs in virtual time; a stop ends it.
        if (period <= 0)
            continue;
        if (stopped)
            WaitForSingleObject(stopped, static_cast<DWORD>(period));
        else
            Sleep(static_cast<DWORD>(period));
    }
}

} // namespace MOX
