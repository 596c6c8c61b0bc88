#pragma once
// Listens on the library's events of one device kind while a long operation runs, and latches the two
// event bits the operation's result depends on.
#include <atomic>
#include <cstdint>
#include <thread>

#include "middleware/api/UviApi.h"

namespace MOX {

class EventListener {
public:
    static constexpr uint32_t FIRST_EVENT_BIT = 0x10;
    static constexpr uint32_t SECOND_EVENT_BIT = 0x40;

    // Subscribes through the library; a failed subscription is reported on standard output and leaves
    // the listener inert.
    explicit EventListener(int32_t kind);
    ~EventListener();
    EventListener(const EventListener&) = delete;
    EventListener& operator=(const EventListener&) = delete;

    // Ends the subscription, which wakes the waiting thread, and joins it.
    void stop();

    bool firstEventSeen() const { return first_; }
    bool secondEventSeen() const { return second_; }
    uint64_t eventHandle() const { return handle_; }
    // False once stopped, or once the thread gave up after a failed wait.
    bool isListening() const { return running_; }

private:
    void listen();

    uint64_t handle_ = 0;
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<bool> first_{false};
    std::atomic<bool> second_{false};
};

} // namespace MOX
