#pragma once
// Fault injection: rules that make a chosen platform call fail. A platform call asks Check with its
// kind ("DeviceIoControl", "CreateFile", "RegQueryValueEx", ...) and selectors (the values that
// identify the call: a path, a control code, a signature, ...); the first rule whose kind matches
// and whose every selector equals the call's gets to decide the outcome.
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/Value.h"

namespace sim {

struct FaultRule {
    std::string kind;
    // Selector name -> value; a call matches when it has every one of them with an equal value.
    // Numbers may be written as "0x..." strings.
    Value match = Value::object();
    // Matching calls let through before the rule fires.
    int skip = 0;
    // How often the rule fires: 1 once, N times, -1 always.
    int times = 1;
    // What the call does instead; its meaning belongs to the call (for example
    // {"win32_error": 170} or {"bytes_returned": 4}).
    Value outcome = Value::object();

    // Reads and checks a rule; throws std::runtime_error naming what is wrong (an unknown kind,
    // selector or outcome key, a wrong type).
    static FaultRule FromJson(const Value& j);
    static FaultRule FromText(std::string_view json);
    Value ToJson() const;
};

class Faults {
public:
    // Adds a rule a test injects: it is checked, and it must fire before the test ends (Unfired).
    void Add(FaultRule rule);
    // Adds a rule of a machine description: checked, and free to never fire in this process.
    void AddFromDescription(FaultRule rule);
    // The same for a rule written as JSON text ({"kind": ..., "match": ..., "outcome": ...}), for
    // tests that describe rules without the JSON library; bad text throws std::runtime_error.
    void Add(std::string_view ruleJson);
    void Clear();
    // The outcome of the first matching rule that fires, counting the call against it (the
    // simulator's own calls use sim::CheckFaults of sim/PlatformCall.h, which skips the conversion).
    std::optional<Value> Check(const std::string& kind, const Value& selectors);
    // How many rules are left with firings still to come.
    size_t Pending() const;
    // The rules added with Add that never fired, as JSON text.
    std::vector<std::string> Unfired() const;

    Faults();
    ~Faults();
    Faults(const Faults&) = delete;
    Faults& operator=(const Faults&) = delete;

    // The rules as the simulator keeps them (sim/PlatformCall.h).
    struct Rules;
    Rules& rules() { return *rules_; }
    // Calls with no rules at all skip the lock.
    bool Any() const { return count_.load(std::memory_order_acquire) != 0; }

private:
    void Insert(FaultRule rule, bool mustFire);
    std::atomic<size_t> count_{0};
    std::unique_ptr<Rules> rules_;
};

} // namespace sim
