#pragma once
// The platform calls that reached the simulated machine, with the selectors that identify them and
// their input bytes, so that a test can check exactly what the product sent. The log is kept only
// when asked for (a test's machine, or MOX_SIM_CALL_LOG=<limit> for a user) and holds at most the
// latest `limit` calls, so a long run does not grow without end.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/Value.h"

namespace sim {

struct Call {
    std::string kind;
    // An object: selector name -> value.
    Value selectors;
    std::vector<uint8_t> input;
};

class CallLog {
public:
    // Keeps the latest `limit` calls from now on; 0 stops keeping them and drops what was kept.
    void Keep(size_t limit);
    bool Kept() const { return limit_.load(std::memory_order_relaxed) != 0; }
    size_t Limit() const { return limit_.load(std::memory_order_relaxed); }

    // The simulator records with sim::RecordCall (sim/PlatformCall.h); this form is for tools.
    void Record(std::string kind, const Value& selectors, std::span<const uint8_t> input = {});
    std::vector<Call> All() const;
    // The calls of one kind, oldest first.
    std::vector<Call> Of(const std::string& kind) const;
    size_t Count(const std::string& kind) const;
    // The calls of one kind whose selectors hold every selector of the JSON object text (numbers may
    // be written as "0x..." strings), for tests that read the log without the JSON library.
    size_t CountMatching(const std::string& kind, std::string_view selectorsJson) const;
    // Blocks until the log holds at least `count` calls of the kind matching the selectors (as
    // CountMatching; "{}" matches every call), so that a test waits for another thread to reach a
    // platform call without polling. A call is logged as it starts, before its outcome. Only a broken
    // test reaches the give-up bound, which fails it (false) instead of hanging it; a log not kept
    // gives false at once.
    bool AwaitMatching(const std::string& kind, std::string_view selectorsJson, size_t count = 1) const;
    void Clear();

    CallLog();
    ~CallLog();
    CallLog(const CallLog&) = delete;
    CallLog& operator=(const CallLog&) = delete;

    // The calls as the simulator keeps them (sim/PlatformCall.h).
    struct Entries;
    Entries& entries() { return *entries_; }

private:
    std::atomic<size_t> limit_{0};
    std::unique_ptr<Entries> entries_;
};

} // namespace sim
