#pragma once
// Fault injection: rules that make a chosen platform call fail. A platform call asks Check with its
// kind ("DeviceIoControl", "CreateFile", "RegQueryValueEx", ...) and selectors (the values that
// identify the call: a path, a control code, a signature, ...); the first rule whose kind matches
// and whose every selector equals the call's gets to decide the outcome.
#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace sim {

struct FaultRule {
    std::string kind;
    // Selector name -> value; a call matches when it has every one of them with an equal value.
    // Numbers may be written as "0x..." strings.
    nlohmann::json match = nlohmann::json::object();
    // Matching calls let through before the rule fires.
    int skip = 0;
    // How often the rule fires: 1 once, N times, -1 always.
    int times = 1;
    // What the call does instead; its meaning belongs to the call (for example
    // {"win32_error": 170} or {"bytes_returned": 4}).
    nlohmann::json outcome = nlohmann::json::object();

    // Reads and checks a rule; throws std::runtime_error naming what is wrong (an unknown kind,
    // selector or outcome key, a wrong type).
    static FaultRule FromJson(const nlohmann::json& j);
    nlohmann::json ToJson() const;
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
    // The outcome of the first matching rule that fires, counting the call against it.
    std::optional<nlohmann::json> Check(const std::string& kind, const nlohmann::json& selectors);
    // How many rules are left with firings still to come.
    size_t Pending() const;
    // The rules added with Add that never fired, as JSON text.
    std::vector<std::string> Unfired() const;

private:
    struct Entry {
        FaultRule rule;
        int seen = 0;
        int fired = 0;
        bool mustFire = true;
    };
    void Insert(FaultRule rule, bool mustFire);
    mutable std::mutex mutex_;
    // Calls with no rules at all skip the lock.
    std::atomic<size_t> count_{0};
    std::vector<Entry> rules_;
};

// Compares a selector value from a rule with one from a call ("0x10" matches 16).
bool SelectorEquals(const nlohmann::json& ruleValue, const nlohmann::json& callValue);

} // namespace sim
