#include "sim/CallLog.h"

#include "sim/Faults.h"

namespace sim {

void CallLog::Keep(size_t limit) {
    std::lock_guard lock(mutex_);
    limit_ = limit;
    while (calls_.size() > limit)
        calls_.pop_front();
}

void CallLog::Record(std::string kind, const nlohmann::json& selectors, std::span<const uint8_t> input) {
    if (!Kept())
        return;
    Call call{std::move(kind), selectors, std::vector<uint8_t>(input.begin(), input.end())};
    std::lock_guard lock(mutex_);
    const size_t limit = limit_;
    if (limit == 0)
        return;
    if (calls_.size() >= limit)
        calls_.pop_front();
    calls_.push_back(std::move(call));
}

std::vector<Call> CallLog::All() const {
    std::lock_guard lock(mutex_);
    return {calls_.begin(), calls_.end()};
}

std::vector<Call> CallLog::Of(const std::string& kind) const {
    std::lock_guard lock(mutex_);
    std::vector<Call> out;
    for (const auto& c : calls_)
        if (c.kind == kind)
            out.push_back(c);
    return out;
}

size_t CallLog::Count(const std::string& kind) const {
    std::lock_guard lock(mutex_);
    size_t n = 0;
    for (const auto& c : calls_)
        n += c.kind == kind;
    return n;
}

size_t CallLog::CountMatching(const std::string& kind, std::string_view selectorsJson) const {
    const nlohmann::json wanted = nlohmann::json::parse(selectorsJson);
    std::lock_guard lock(mutex_);
    size_t n = 0;
    for (const auto& c : calls_) {
        if (c.kind != kind)
            continue;
        bool all = true;
        for (const auto& [name, value] : wanted.items())
            all = all && c.selectors.contains(name) && SelectorEquals(value, c.selectors[name]);
        n += all;
    }
    return n;
}

void CallLog::Clear() {
    std::lock_guard lock(mutex_);
    calls_.clear();
}

} // namespace sim
