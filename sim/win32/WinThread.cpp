// Thread start over the simulated machine: a fault rule of kind "CreateThread" refuses it.
#include "platform/win/WinThread.h"

#include <system_error>

#include "sim/win32/Injected.h"

namespace platform {

std::thread StartThread(std::function<void()> body) {
    if (sim::win32::Injected("CreateThread"))
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again),
                                "thread not started");
    return std::thread(std::move(body));
}

} // namespace platform
