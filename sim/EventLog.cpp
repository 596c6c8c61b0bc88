#include "sim/EventLog.h"

#include <chrono>
#include <optional>

#include <nlohmann/json.hpp>

#include "sim/DescriptionValues.h"
#include "sim/MachineState.h"
#include "sim/Schema.h"
#include "sim/StateLog.h"

namespace sim::eventlog {
namespace {

using nlohmann::json;

constexpr size_t kLimit = 1000;

std::vector<uint8_t> Unhex(const std::string& text) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < text.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    return out;
}

} // namespace

// Entries a program reports go to the state directory's log file, appended one by one; the
// description's "eventlog" section holds the entries the machine started with.
static StateLog& Log() {
    static StateLog log("eventlog.jsonl", kLimit);
    return log;
}

uint64_t Append(Entry entry) {
    uint64_t record = 0;
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    Log().Append([&](const std::optional<json>& last) {
        if (last) {
            record = last->value("record", uint64_t{0}) + 1;
        } else {
            Current().Read([&](const json& s) {
                auto it = s.find("eventlog");
                record = it != s.end() && it->is_object() ? it->value("next_record", uint64_t{1}) : 1;
            });
        }
        json item{{"record", record},        {"time_generated", seconds},  {"source", entry.source},
                  {"type", entry.type},      {"category", entry.category}, {"event_id", entry.eventId},
                  {"strings", entry.strings}};
        if (!entry.data.empty())
            item["data"] = FormatDescHex(entry.data);
        return item;
    });
    return record;
}

std::vector<Entry> Entries() {
    std::vector<json> items;
    Current().Read([&](const json& s) {
        if (!s.contains("eventlog") || !s["eventlog"].is_object() || !s["eventlog"].contains("application"))
            return;
        for (const json& item : s["eventlog"]["application"])
            items.push_back(item);
    });
    for (auto& item : Log().Entries())
        items.push_back(std::move(item));
    if (items.size() > kLimit)
        items.erase(items.begin(), items.begin() + static_cast<std::ptrdiff_t>(items.size() - kLimit));
    std::vector<Entry> entries;
    for (const json& item : items) {
        Entry e;
        e.record = item.value("record", uint64_t{0});
        e.source = item.value("source", "");
        e.type = item.value("type", uint16_t{0});
        e.category = item.value("category", uint16_t{0});
        e.eventId = item.value("event_id", uint32_t{0});
        if (item.contains("strings") && item["strings"].is_array())
            e.strings = item["strings"].get<std::vector<std::string>>();
        if (item.contains("data") && item["data"].is_string())
            e.data = Unhex(item["data"].get<std::string>());
        entries.push_back(std::move(e));
    }
    return entries;
}

void Clear() {
    // Record numbers go on after a clear, as they do on Windows.
    const auto entries = Entries();
    const uint64_t next = entries.empty() ? 0 : entries.back().record + 1;
    Current().Update([&](json& s) {
        json& section = s["eventlog"];
        if (!section.is_object())
            section = json::object();
        section.erase("application");
        if (next)
            section["next_record"] = next;
    });
    Log().Clear();
}

} // namespace sim::eventlog

namespace sim::eventlog {
namespace {

using namespace sim::schema;

Shape Entry() {
    return Object({{"record", Uint32()},
                   {"time_generated", Uint32()},
                   {"source", Text()},
                   {"type", Uint16()},
                   {"category", Uint16()},
                   {"event_id", Uint32()},
                   {"strings", Array(Text(), 256)},
                   {"data", schema::Hex()}});
}

const Section kEventLog("eventlog", Object({{"next_record", Uint32()}, {"application", Array(Entry())}}));

} // namespace
} // namespace sim::eventlog
