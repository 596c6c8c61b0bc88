#include "cli/EventListener.h"

#include <iostream>
#include <mutex>
#include <string>
#include <system_error>

#include "cli/ConsoleLock.h"
#include "cli/Error.h"
#include "cli/UviCalls.h"

namespace MOX {

namespace {

void ReportProblem(Error& error) {
    std::lock_guard<std::recursive_mutex> lock(ConsoleLock());
    std::cout << "Problem listening for events" << '\n';
    error.printMessage();
    error.printDetails();
}

} // namespace

EventListener::EventListener(int32_t kind) {
    handle_ = CallUvi(UviEventSetUpForKindWithHandle, kind);
    if (handle_ == 0) {
        Error error(3);
        error.addDetail("Failed setting up event listening: " + std::to_string(kind));
        ReportProblem(error);
        return;
    }
    running_ = true;
    try {
        thread_ = std::thread(&EventListener::listen, this);
    } catch (...) {
        running_ = false;
        CallUvi(UviEventClose, handle_);
        throw;
    }
}

EventListener::~EventListener() {
    try {
        stop();
    } catch (const std::system_error&) {
        // Destroyed on its own thread: the thread ends by itself once the subscription is closed.
        if (thread_.joinable())
            thread_.detach();
    }
}

void EventListener::stop() {
    running_ = false;
    if (handle_ != 0)
        CallUvi(UviEventClose, handle_);
    if (!thread_.joinable())
        return;
    if (thread_.get_id() == std::this_thread::get_id())
        throw std::system_error(std::make_error_code(std::errc::resource_deadlock_would_occur));
    thread_.join();
}

void EventListener::listen() {
    while (running_) {
        _UVI_EventRecord record{};
        Error result(CallUvi(UviEventWaitWithHandle, 0xFFFFFFFFu, handle_, &record));
        if (result.getType() == 0) {
            if (record.flags & FIRST_EVENT_BIT)
                first_ = true;
            if (record.flags & SECOND_EVENT_BIT)
                second_ = true;
        } else if (result.getType() == 53) {
            continue;
        } else if (running_) {
            ReportProblem(result);
            running_ = false;
        }
    }
    running_ = false;
}

} // namespace MOX
