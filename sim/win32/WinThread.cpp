// Thread start over the simulated machine: a fault rule of kind "CreateThread" refuses it.
#include "platform/win/WinThread.h"

#include <system_error>

#include "sim/Schema.h"
#include "sim/win32/SimCall.h"

namespace platform {

namespace {

const sim::schema::FaultKind kFaults("CreateThread", {}, sim::schema::Object({}));

} // namespace

std::thread StartThread(std::function<void()> body) {
    if (SimCall("CreateThread", nlohmann::json::object()))
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again),
                                "thread not started");
    return std::thread(std::move(body));
}

} // namespace platform
