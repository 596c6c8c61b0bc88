#include "tests/cli/UviFaults.h"

#include <mutex>
#include <set>

#include <gtest/gtest.h>

namespace clitest {

namespace {

struct Rule {
    UviFault fault;
    int seen = 0;
    int fired = 0;
};

std::mutex rulesLock;
std::vector<Rule> rules;

} // namespace

bool UviFault::Take(MOX::uvicalls::Key key, Edit& edit) {
    std::lock_guard<std::mutex> hold(rulesLock);
    for (Rule& rule : rules) {
        if (rule.fault.key != key)
            continue;
        if (rule.seen++ < rule.fault.skip)
            continue;
        if (rule.fault.times >= 0 && rule.fired >= rule.fault.times)
            continue;
        ++rule.fired;
        edit = rule.fault.edit;
        return true;
    }
    return false;
}

void RefuseRule(const std::source_location& where) {
    ADD_FAILURE_AT(where.file_name(), static_cast<int>(where.line()))
        << "a fault rule without an edit needs an export whose first argument is a session";
}

ScopedUviFaults::ScopedUviFaults(std::vector<UviFault> given) {
    std::set<MOX::uvicalls::Key> covered;
    {
        std::lock_guard<std::mutex> hold(rulesLock);
        rules.clear();
        for (UviFault& fault : given)
            rules.push_back(Rule{std::move(fault)});
    }
    // One stand-in per export, which asks the rules of all its calls.
    for (size_t i = 0; i < rules.size(); ++i)
        if (covered.insert(rules[i].fault.key).second)
            standIns_.push_back(rules[i].fault.makeStandIn());
}

ScopedUviFaults::~ScopedUviFaults() {
    standIns_.clear();
    std::lock_guard<std::mutex> hold(rulesLock);
    for (const Rule& rule : rules)
        if (rule.fired == 0)
            ADD_FAILURE_AT(rule.fault.where.file_name(), static_cast<int>(rule.fault.where.line()))
                << "this fault rule never fired (" << rule.seen << " matching calls, skip " << rule.fault.skip
                << ")";
    rules.clear();
}

} // namespace clitest
