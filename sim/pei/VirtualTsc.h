#pragma once
// The processor's time-stamp counter in virtual time. Nothing waits for real: the Stall PPI moves the
// counter by the stall, and every read moves it on by a step that doubles while the reader polls, so
// a wait of seconds is a few dozen reads. A step never passes the next event a device model has
// scheduled (a controller that turns ready), so a poll sees the event at its time; reaching an event,
// a stall or a write to a device's registers starts the steps small again.
#include <cstdint>
#include <functional>
#include <set>

namespace sim::pei {

class VirtualTsc {
public:
    // 2.4 GHz.
    static constexpr uint32_t kDefaultTicksPerMicrosecond = 2400;

    uint64_t Now() const { return now_; }
    // What RDTSC gives: the counter, which then moves on by the current step.
    uint64_t Read();
    void Set(uint64_t ticks) { now_ = ticks; }
    void AdvanceMicroseconds(uint64_t microseconds);
    uint32_t TicksPerMicrosecond() const { return ticksPerUs_; }
    void SetTicksPerMicrosecond(uint32_t ticks) { ticksPerUs_ = ticks; }
    uint64_t MicrosecondsToTicks(uint64_t microseconds) const;

    // A register write starts something new a module will poll for: the steps start small again.
    void Restart() { stepUs_ = 1; }
    // A device model's next change of state, in ticks.
    void ScheduleEvent(uint64_t atTicks);
    // A test's own readings: RDTSC answers from `reader` while one is set.
    void SetReader(std::function<uint64_t()> reader) { reader_ = std::move(reader); }

private:
    uint64_t now_ = 1000000;
    uint32_t ticksPerUs_ = kDefaultTicksPerMicrosecond;
    // The next read's step, in microseconds.
    uint64_t stepUs_ = 1;
    std::set<uint64_t> events_;
    std::function<uint64_t()> reader_;
};

} // namespace sim::pei
