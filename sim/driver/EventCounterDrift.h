#pragma once
// A driver change that lands while a program reads a controller: the shared event status answer
// (the volume port's event counter) reads differently at one chosen read, as when the driver
// announced a change between two reads of the counter. Given as a fault rule for
// sim::Faults::Add, so that it lives in the test's process only and must fire.
#include <cstdint>
#include <string>

namespace sim::driver {

// The rule: the controller on `port` lets `skipReads` event status reads through, then answers
// `counter` as its event counter once.
std::string EventCounterMovesRule(int port, int skipReads, uint64_t counter);

} // namespace sim::driver
