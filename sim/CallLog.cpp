#include "sim/CallLog.h"

#include <chrono>

#include "sim/PlatformCall.h"
#include "sim/ValueJson.h"

namespace sim {

CallLog::CallLog() : entries_(std::make_unique<Entries>()) {}
CallLog::~CallLog() = default;

void CallLog::Keep(size_t limit) {
    std::lock_guard lock(entries_->mutex);
    limit_ = limit;
    while (entries_->calls.size() > limit)
        entries_->calls.pop_front();
}

void RecordCall(CallLog& log, const std::string& kind, const nlohmann::json& selectors,
                std::span<const uint8_t> input) {
    if (!log.Kept())
        return;
    CallLog::Entries::Entry call{kind, selectors, std::vector<uint8_t>(input.begin(), input.end())};
    CallLog::Entries& entries = log.entries();
    std::lock_guard lock(entries.mutex);
    if (!log.Kept())
        return;
    while (entries.calls.size() >= log.Limit())
        entries.calls.pop_front();
    entries.calls.push_back(std::move(call));
    entries.recorded.notify_all();
}

void CallLog::Record(std::string kind, const Value& selectors, std::span<const uint8_t> input) {
    RecordCall(*this, kind, ToJson(selectors), input);
}

namespace {

Call ToCall(const CallLog::Entries::Entry& e) {
    return Call{e.kind, ToValue(e.selectors), e.input};
}

} // namespace

std::vector<Call> CallLog::All() const {
    std::lock_guard lock(entries_->mutex);
    std::vector<Call> out;
    for (const auto& c : entries_->calls)
        out.push_back(ToCall(c));
    return out;
}

std::vector<Call> CallLog::Of(const std::string& kind) const {
    std::lock_guard lock(entries_->mutex);
    std::vector<Call> out;
    for (const auto& c : entries_->calls)
        if (c.kind == kind)
            out.push_back(ToCall(c));
    return out;
}

size_t CallLog::Count(const std::string& kind) const {
    std::lock_guard lock(entries_->mutex);
    size_t n = 0;
    for (const auto& c : entries_->calls)
        n += c.kind == kind;
    return n;
}

namespace {

size_t CountMatchingLocked(const std::deque<CallLog::Entries::Entry>& calls, const std::string& kind,
                           const nlohmann::json& wanted) {
    size_t n = 0;
    for (const auto& c : calls) {
        if (c.kind != kind)
            continue;
        bool all = true;
        for (const auto& [name, value] : wanted.items())
            all = all && c.selectors.contains(name) && SelectorEquals(value, c.selectors[name]);
        n += all;
    }
    return n;
}

// Far beyond any wait of a working test; it only turns a lost call into a failure.
constexpr std::chrono::seconds kAwaitGiveUp{120};

} // namespace

size_t CallLog::CountMatching(const std::string& kind, std::string_view selectorsJson) const {
    const nlohmann::json wanted = nlohmann::json::parse(selectorsJson);
    std::lock_guard lock(entries_->mutex);
    return CountMatchingLocked(entries_->calls, kind, wanted);
}

bool CallLog::AwaitMatching(const std::string& kind, std::string_view selectorsJson, size_t count) const {
    if (!Kept())
        return false; // nothing would ever come
    const nlohmann::json wanted = nlohmann::json::parse(selectorsJson);
    std::unique_lock lock(entries_->mutex);
    return entries_->recorded.wait_for(
        lock, kAwaitGiveUp, [&] { return CountMatchingLocked(entries_->calls, kind, wanted) >= count; });
}

void CallLog::Clear() {
    std::lock_guard lock(entries_->mutex);
    entries_->calls.clear();
}

} // namespace sim
