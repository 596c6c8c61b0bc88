#include "sim/pei/VirtualTsc.h"

#include <algorithm>
#include <limits>

namespace sim::pei {
namespace {

constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();

uint64_t SaturatingAdd(uint64_t a, uint64_t b) {
    return b > kMax - a ? kMax : a + b;
}

// Far beyond any wait: a doubling step stops growing here.
constexpr uint64_t kMaxStepUs = uint64_t{1} << 40;

} // namespace

uint64_t VirtualTsc::MicrosecondsToTicks(uint64_t microseconds) const {
    if (ticksPerUs_ != 0 && microseconds > kMax / ticksPerUs_)
        return kMax;
    return microseconds * ticksPerUs_;
}

uint64_t VirtualTsc::Read() {
    if (reader_)
        return reader_();
    const uint64_t value = now_;
    uint64_t next = SaturatingAdd(now_, std::max<uint64_t>(MicrosecondsToTicks(stepUs_), 1));
    auto event = events_.upper_bound(now_);
    if (event != events_.end() && *event <= next) {
        next = *event;
        stepUs_ = 1;
    } else {
        stepUs_ = std::min(stepUs_ * 2, kMaxStepUs);
    }
    now_ = next;
    events_.erase(events_.begin(), events_.upper_bound(now_));
    return value;
}

void VirtualTsc::AdvanceMicroseconds(uint64_t microseconds) {
    now_ = SaturatingAdd(now_, MicrosecondsToTicks(microseconds));
    events_.erase(events_.begin(), events_.upper_bound(now_));
    stepUs_ = 1;
}

void VirtualTsc::ScheduleEvent(uint64_t atTicks) {
    if (atTicks > now_)
        events_.insert(atTicks);
}

} // namespace sim::pei
