#pragma once
// The one seam every simulated platform call passes through, in one order: the call is recorded in
// the machine's call log (when the log is kept), then the fault rules decide whether it fails and
// how. Bindings (sim/win32) and the services behind them call this before they do any work.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/CallLog.h"
#include "sim/Faults.h"

namespace sim {

// Returns the outcome of the first fault rule that fires for the call, if any. The outcome is
// what the rule wrote, an object; a call reads it with the accessors of sim/win32/SimCall.h.
std::optional<nlohmann::json> PlatformCall(const std::string& kind, const nlohmann::json& selectors,
                                           std::span<const uint8_t> input = {});

// The parts of the seam, for the few services that keep their own order.
std::optional<nlohmann::json> CheckFaults(Faults& faults, const std::string& kind,
                                          const nlohmann::json& selectors);
void RecordCall(CallLog& log, const std::string& kind, const nlohmann::json& selectors,
                std::span<const uint8_t> input = {});
// Reads and checks a rule written as a document; throws std::runtime_error naming what is wrong.
FaultRule FaultRuleFromJson(const nlohmann::json& j);
// Compares a selector value from a rule with one from a call ("0x10" matches 16).
bool SelectorEquals(const nlohmann::json& ruleValue, const nlohmann::json& callValue);

// Tells the user why the simulator could not carry out a call (a state file it cannot read or
// write, with its path and the system's reason): on the error stream, once per text, and in the
// trace. The call itself fails as it documents.
void ReportFailure(const std::string& what);

// Where ReportFailure also writes its line when the simulator's trace is built in (the 32-bit
// configuration builds the core without it); set once, at start-up.
using FailureTraceSink = void (*)(const std::string& what);
void SetFailureTraceSink(FailureTraceSink sink);

struct Faults::Rules {
    struct Entry {
        FaultRule rule;
        nlohmann::json match;
        nlohmann::json outcome;
        int seen = 0;
        int fired = 0;
        bool mustFire = true;
    };
    mutable std::mutex mutex;
    std::vector<Entry> entries;
};

struct CallLog::Entries {
    struct Entry {
        std::string kind;
        nlohmann::json selectors;
        std::vector<uint8_t> input;
    };
    mutable std::mutex mutex;
    // Told of every call recorded, for AwaitMatching.
    mutable std::condition_variable recorded;
    std::deque<Entry> calls;
};

} // namespace sim
