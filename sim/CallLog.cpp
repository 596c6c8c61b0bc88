#include "sim/CallLog.h"

namespace sim {

void CallLog::Record(std::string kind, nlohmann::json selectors, std::vector<uint8_t> input) {
    std::lock_guard lock(mutex_);
    calls_.push_back(Call{std::move(kind), std::move(selectors), std::move(input)});
}

std::vector<Call> CallLog::All() const {
    std::lock_guard lock(mutex_);
    return calls_;
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

void CallLog::Clear() {
    std::lock_guard lock(mutex_);
    calls_.clear();
}

} // namespace sim
