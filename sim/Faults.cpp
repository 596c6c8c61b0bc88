#include "sim/Faults.h"

#include "sim/PlatformCall.h"
#include "sim/Schema.h"
#include "sim/ValueJson.h"

#include <cctype>
#include <cstdlib>
#include <stdexcept>

namespace sim {
namespace {

std::optional<uint64_t> AsNumber(const nlohmann::json& v) {
    if (v.is_number_unsigned())
        return v.get<uint64_t>();
    if (v.is_number_integer())
        return static_cast<uint64_t>(v.get<int64_t>());
    if (v.is_string()) {
        const std::string& s = v.get_ref<const std::string&>();
        if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
            char* end = nullptr;
            uint64_t n = std::strtoull(s.c_str() + 2, &end, 16);
            if (end && *end == '\0')
                return n;
        }
    }
    return std::nullopt;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

} // namespace

bool SelectorEquals(const nlohmann::json& ruleValue, const nlohmann::json& callValue) {
    auto a = AsNumber(ruleValue);
    auto b = AsNumber(callValue);
    if (a && b)
        return *a == *b;
    // Windows names (paths, registry keys, object names) compare without case.
    if (ruleValue.is_string() && callValue.is_string())
        return EqualNoCase(ruleValue.get<std::string>(), callValue.get<std::string>());
    return ruleValue == callValue;
}

FaultRule FaultRuleFromJson(const nlohmann::json& j) {
    schema::CheckFaultRule(j, "fault rule");
    FaultRule r;
    r.kind = j.at("kind").get<std::string>();
    if (j.contains("match"))
        r.match = ToValue(j.at("match"));
    r.skip = j.value("skip", 0);
    r.times = j.value("times", 1);
    if (j.contains("outcome"))
        r.outcome = ToValue(j.at("outcome"));
    return r;
}

FaultRule FaultRule::FromJson(const Value& j) {
    return FaultRuleFromJson(sim::ToJson(j));
}

FaultRule FaultRule::FromText(std::string_view json) {
    nlohmann::json rule;
    try {
        rule = nlohmann::json::parse(json);
    } catch (const std::exception& e) {
        throw std::runtime_error(std::string("fault rule: ") + e.what());
    }
    return FaultRuleFromJson(rule);
}

Value FaultRule::ToJson() const {
    Value j = Value::object();
    j["kind"] = kind;
    j["match"] = match.is_null() ? Value::object() : match;
    j["skip"] = skip;
    j["times"] = times;
    j["outcome"] = outcome.is_null() ? Value::object() : outcome;
    return j;
}

Faults::Faults() : rules_(std::make_unique<Rules>()) {}
Faults::~Faults() = default;

void Faults::Insert(FaultRule rule, bool mustFire) {
    nlohmann::json checked = sim::ToJson(rule.ToJson());
    schema::CheckFaultRule(checked, "fault rule");
    Rules::Entry e{std::move(rule), std::move(checked["match"]), std::move(checked["outcome"]), 0, 0,
                   mustFire};
    std::lock_guard lock(rules_->mutex);
    rules_->entries.push_back(std::move(e));
    count_ = rules_->entries.size();
}

void Faults::Add(FaultRule rule) {
    Insert(std::move(rule), true);
}

void Faults::AddFromDescription(FaultRule rule) {
    Insert(std::move(rule), false);
}

void Faults::Add(std::string_view ruleJson) {
    Add(FaultRule::FromText(ruleJson));
}

void Faults::Clear() {
    std::lock_guard lock(rules_->mutex);
    rules_->entries.clear();
    count_ = 0;
}

std::vector<std::string> Faults::Unfired() const {
    std::lock_guard lock(rules_->mutex);
    std::vector<std::string> out;
    for (const auto& e : rules_->entries)
        if (e.mustFire && e.fired == 0)
            out.push_back(e.rule.ToJson().dump());
    return out;
}

std::optional<nlohmann::json> CheckFaults(Faults& faults, const std::string& kind,
                                          const nlohmann::json& selectors) {
    if (!faults.Any())
        return std::nullopt;
    Faults::Rules& rules = faults.rules();
    std::lock_guard lock(rules.mutex);
    for (auto& e : rules.entries) {
        if (e.rule.kind != kind)
            continue;
        if (e.rule.times >= 0 && e.fired >= e.rule.times)
            continue;
        bool matches = true;
        for (auto it = e.match.begin(); it != e.match.end() && matches; ++it)
            matches = selectors.is_object() && selectors.contains(it.key()) &&
                      SelectorEquals(it.value(), selectors.at(it.key()));
        if (!matches)
            continue;
        if (e.seen++ < e.rule.skip)
            continue;
        ++e.fired;
        return e.outcome;
    }
    return std::nullopt;
}

std::optional<Value> Faults::Check(const std::string& kind, const Value& selectors) {
    if (auto outcome = CheckFaults(*this, kind, sim::ToJson(selectors)))
        return ToValue(*outcome);
    return std::nullopt;
}

size_t Faults::Pending() const {
    std::lock_guard lock(rules_->mutex);
    size_t n = 0;
    for (const auto& e : rules_->entries)
        if (e.rule.times < 0 || e.fired < e.rule.times)
            ++n;
    return n;
}

namespace {

const schema::Section kFaults("faults", schema::Array(schema::Custom(schema::CheckFaultRuleInto), 10000));

} // namespace

} // namespace sim
