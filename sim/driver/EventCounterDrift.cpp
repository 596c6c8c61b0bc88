#include "sim/driver/EventCounterDrift.h"

#include <cstdio>

namespace sim::driver {

namespace {

// The volume port's event status request and where its answer holds the counter.
constexpr uint32_t kEventStatusCode = 0x80000D14;
constexpr int kCounterOffset = 32;

} // namespace

std::string EventCounterMovesRule(int port, int skipReads, uint64_t counter) {
    // The counter is a little-endian 64-bit word.
    std::string hex;
    for (int i = 0; i < 8; ++i) {
        char byte[3];
        std::snprintf(byte, sizeof byte, "%02X", static_cast<unsigned>((counter >> (8 * i)) & 0xFF));
        hex += byte;
    }
    char rule[320];
    std::snprintf(rule, sizeof rule,
                  R"({"kind": "DeviceIoControl", "match": {"port": %d, "signature": "OrvexVlp", )"
                  R"("control_code": "0x%X"}, "skip": %d, "times": 1, )"
                  R"("outcome": {"patch": [{"offset": %d, "hex": "%s"}]}})",
                  port, kEventStatusCode, skipReads, kCounterOffset, hex.c_str());
    return rule;
}

} // namespace sim::driver
