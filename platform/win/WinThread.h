#pragma once
// Threads. The product runs its workers on standard threads; starting one goes through here so that
// the machine can refuse it as a system out of resources would.
#include <functional>
#include <thread>

namespace platform {

// Starts body on a new thread. A thread the system cannot create throws std::system_error with
// std::errc::resource_unavailable_try_again, as std::thread does.
std::thread StartThread(std::function<void()> body);

} // namespace platform
