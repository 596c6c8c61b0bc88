#include "sim/CacheService.h"

#include <cstring>
#include <optional>
#include <random>

#include <nlohmann/json.hpp>

#include "platform/win/WinError.h"
#include "sim/CacheServicePinning.h"
#include "sim/DescriptionValues.h"
#include "sim/MachineState.h"
#include "sim/Schema.h"
#include "sim/Services.h"

namespace sim::cacheservice {
namespace {

using nlohmann::json;
namespace sc = sim::schema;

sc::Shape Candidate() {
    return sc::Object({{"file_id", sc::Uint64()}, {"size", sc::Uint64()}, {"left", sc::Uint64()}});
}

const sc::Section kSection(
    "cache_service",
    sc::Object({{"listening", sc::Bool()},
                {"refuse_access", sc::Bool()},
                {"status", sc::Uint64()},
                {"contexts", sc::Array(sc::Text())},
                {"contexts_opened", sc::Uint64()},
                {"contexts_closed", sc::Uint64()},
                {"messages_answered", sc::Uint64()},
                {"pinning", pinning::Shape()},
                {"migration", sc::Object({{"state", sc::Uint64()},
                                          {"last_start", sc::Uint64()},
                                          {"last_end", sc::Uint64()},
                                          {"next_start", sc::Uint64()},
                                          {"scheduler_task_running", sc::Bool()},
                                          {"high_power", sc::Bool()},
                                          {"ac_power", sc::Bool()},
                                          {"battery", sc::Uint8()},
                                          {"total_size", sc::Uint64()},
                                          {"size_left", sc::Uint64()},
                                          {"insertion", Candidate()},
                                          {"eviction", Candidate()},
                                          {"boot", sc::Object({{"clusters_total", sc::Uint64()},
                                                               {"clusters_left", sc::Uint64()},
                                                               {"records_total", sc::Uint64()},
                                                               {"records_left", sc::Uint64()}})}})}}));

const sc::FaultKind
    kFaults("RpcCall", {"endpoint", "interface", "procedure"},
            sc::Object({{"exception", sc::Uint32()},
                        {"hold", sc::Object({{"signal", sc::Text()}, {"wait", sc::Text()}})}}));

constexpr GUID kCacheServiceInterface{
    0x95e08e4d, 0x4f3f, 0x4bc6, {0xbc, 0x79, 0xca, 0xb3, 0x9a, 0x13, 0x1b, 0xfa}};
constexpr GUID kPinningInterface{
    0x0362fd69, 0xab89, 0x41fa, {0x8c, 0xe8, 0x75, 0xaa, 0xa5, 0xa3, 0xcd, 0x52}};
constexpr GUID kMessageInterface{
    0x83926e07, 0x4438, 0x4162, {0x81, 0x8d, 0xe8, 0xd9, 0xac, 0xae, 0x08, 0x13}};

constexpr uint32_t kServerUnavailable = 1722, kUnknownInterface = 1717, kProcedureOutOfRange = 1745,
                   kContextMismatch = 6, kBadStubData = 1783;
constexpr size_t kContextSize = 20;
constexpr uint32_t kRunning = 4;

// Message header word at byte 20: kind in bits 0-15, bit 17 request, bit 18 valid.
constexpr size_t kHeaderOffset = 20;
constexpr uint32_t kMigrationStatusKind = 6;
constexpr uint32_t kRequestBit = 1u << 17, kValidBit = 1u << 18;
constexpr size_t kMigrationReplySize = 160;
constexpr uint64_t kNotAvailable = ~0ull;

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
    uint32_t v = 0;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    std::memcpy(b.data() + at, &v, 4);
}

void Put64(std::vector<uint8_t>& b, size_t at, uint64_t v) {
    std::memcpy(b.data() + at, &v, 8);
}

void Append32(std::vector<uint8_t>& b, uint32_t v) {
    b.resize(b.size() + 4);
    Put32(b, b.size() - 4, v);
}

void Append64(std::vector<uint8_t>& b, uint64_t v) {
    b.resize(b.size() + 8);
    Put64(b, b.size() - 8, v);
}

const json& Section(const json& state) {
    static const json empty = json::object();
    auto it = state.find("cache_service");
    return it != state.end() && it->is_object() ? *it : empty;
}

// Whether the endpoint is there: as the description forces it, else while the service runs.
bool Listening() {
    std::optional<bool> forced;
    Current().Read([&](const json& state) {
        const json& section = Section(state);
        if (section.contains("listening"))
            forced = DescFlag(section, "listening");
    });
    return forced ? *forced : services::State("KeplinAfsService") == kRunning;
}

std::string ContextKey(const std::vector<uint8_t>& in) {
    static const char* digits = "0123456789abcdef";
    std::string key;
    for (size_t i = 4; i < kContextSize; ++i) {
        key += digits[in[i] >> 4];
        key += digits[in[i] & 15];
    }
    return key;
}

bool ContextOpen(const json& section, const std::string& key) {
    auto it = section.find("contexts");
    if (it == section.end() || !it->is_array())
        return false;
    for (const json& c : *it)
        if (c.is_string() && c.get<std::string>() == key)
            return true;
    return false;
}

Answer OpenContext() {
    Answer a;
    std::random_device rd;
    std::vector<uint8_t> context(kContextSize, 0);
    for (size_t i = 4; i < kContextSize; ++i)
        context[i] = static_cast<uint8_t>(rd());
    Current().Update([&](json& state) {
        json& section = state["cache_service"];
        if (!section.is_object())
            section = json::object();
        if (DescFlag(section, "refuse_access")) {
            a.exception = ERROR_ACCESS_DENIED;
            return;
        }
        section["contexts"].push_back(ContextKey(context));
        section["contexts_opened"] = DescNumber(section, "contexts_opened") + 1;
    });
    if (!a.exception)
        a.out = context;
    return a;
}

Answer CloseContext(const std::vector<uint8_t>& in) {
    Answer a;
    if (in.size() != kContextSize)
        return {kBadStubData, {}};
    const std::string key = ContextKey(in);
    Current().Update([&](json& state) {
        json& contexts = state["cache_service"]["contexts"];
        if (!contexts.is_array()) {
            a.exception = kContextMismatch;
            return;
        }
        for (auto it = contexts.begin(); it != contexts.end(); ++it)
            if (it->is_string() && it->get<std::string>() == key) {
                contexts.erase(it);
                json& section = state["cache_service"];
                section["contexts_closed"] = DescNumber(section, "contexts_closed") + 1;
                return;
            }
        a.exception = kContextMismatch;
    });
    if (!a.exception)
        a.out.assign(kContextSize, 0);
    return a;
}

uint64_t Time(const json& migration, const char* key) {
    return DescNumber(migration, key, kNotAvailable);
}

// The migration status reply as the service lays it out.
std::vector<uint8_t> MigrationReply(const json& section) {
    static const json empty = json::object();
    const json& m =
        section.contains("migration") && section["migration"].is_object() ? section["migration"] : empty;
    auto sub = [&](const char* key) -> const json& {
        return m.contains(key) && m[key].is_object() ? m[key] : empty;
    };
    std::vector<uint8_t> r(kMigrationReplySize, 0);
    Put32(r, kHeaderOffset, kMigrationStatusKind | kValidBit);
    Put64(r, 24, Time(m, "last_start"));
    Put64(r, 32, Time(m, "last_end"));
    Put64(r, 40, Time(m, "next_start"));
    Put64(r, 48, DescNumber(m, "state"));
    r[56] = DescFlag(m, "scheduler_task_running") ? 1 : 0;
    r[57] = DescFlag(m, "high_power") ? 1 : 0;
    r[58] = DescFlag(m, "ac_power", true) ? 1 : 0;
    r[59] = static_cast<uint8_t>(DescNumber(m, "battery", 255));
    Put64(r, 64, DescNumber(m, "total_size"));
    Put64(r, 72, DescNumber(m, "size_left"));
    size_t at = 80;
    for (const char* candidate : {"insertion", "eviction"}) {
        const json& c = sub(candidate);
        Put64(r, at, DescNumber(c, "file_id", kNotAvailable));
        Put64(r, at + 8, DescNumber(c, "size"));
        Put64(r, at + 16, DescNumber(c, "left"));
        at += 24;
    }
    const json& boot = sub("boot");
    Put64(r, 128, DescNumber(boot, "clusters_total"));
    Put64(r, 136, DescNumber(boot, "clusters_left"));
    Put64(r, 144, DescNumber(boot, "records_total"));
    Put64(r, 152, DescNumber(boot, "records_left"));
    return r;
}

// [in]: context (20 bytes), request length, request bytes, reply capacity.
// [out]: reply capacity, reply bytes (capacity), reply length, 64-bit status.
Answer Message(const std::vector<uint8_t>& in) {
    if (in.size() < kContextSize + 8)
        return {kBadStubData, {}};
    const uint32_t requestLength = U32(in, kContextSize);
    if (in.size() != kContextSize + 4 + static_cast<size_t>(requestLength) + 4)
        return {kBadStubData, {}};
    const std::vector<uint8_t> request(in.begin() + kContextSize + 4,
                                       in.begin() + kContextSize + 4 + requestLength);
    const uint32_t capacity = U32(in, kContextSize + 4 + requestLength);

    Answer a;
    uint64_t status = 0;
    std::vector<uint8_t> reply;
    Current().Update([&](json& state) {
        json& section = state["cache_service"];
        if (!section.is_object())
            section = json::object();
        if (!ContextOpen(section, ContextKey(in))) {
            a.exception = kContextMismatch;
            return;
        }
        section["messages_answered"] = DescNumber(section, "messages_answered") + 1;
        const uint32_t header = request.size() >= kHeaderOffset + 4 ? U32(request, kHeaderOffset) : 0;
        if ((header & 0xFFFF) != kMigrationStatusKind || !(header & kRequestBit) || !(header & kValidBit)) {
            status = ERROR_NOT_SUPPORTED;
        } else if (uint64_t given = DescNumber(section, "status")) {
            status = given;
        } else if (capacity < kMigrationReplySize) {
            status = ERROR_INSUFFICIENT_BUFFER;
        } else {
            reply = MigrationReply(section);
        }
    });
    if (a.exception)
        return a;
    reply.resize(capacity, 0);
    Append32(a.out, capacity);
    a.out.insert(a.out.end(), reply.begin(), reply.end());
    Append32(a.out, status == 0 ? static_cast<uint32_t>(kMigrationReplySize) : 0);
    Append64(a.out, status);
    return a;
}

} // namespace

Answer Call(const GUID& interfaceUuid, uint16_t majorVersion, uint16_t minorVersion, uint32_t procedure,
            const std::vector<uint8_t>& in) {
    if (!Listening())
        return {kServerUnavailable, {}};
    // Both interfaces open and close contexts of one table: a context opened through one is
    // closed through the other.
    const bool cacheService = interfaceUuid == kCacheServiceInterface;
    if ((cacheService || interfaceUuid == kPinningInterface) && majorVersion == 1 && minorVersion <= 1) {
        if (procedure == 0)
            return in.empty() ? OpenContext() : Answer{kBadStubData, {}};
        if (procedure == 1)
            return CloseContext(in);
        return cacheService ? Answer{kProcedureOutOfRange, {}} : pinning::Call(procedure, in);
    }
    if (interfaceUuid == kMessageInterface && majorVersion == 1 && minorVersion == 0)
        return procedure == 0 ? Message(in) : Answer{kProcedureOutOfRange, {}};
    return {kUnknownInterface, {}};
}

size_t OpenContexts() {
    size_t n = 0;
    Current().Read([&](const json& state) {
        const json& section = Section(state);
        if (auto it = section.find("contexts"); it != section.end() && it->is_array())
            n = it->size();
    });
    return n;
}

size_t ContextsOpened() {
    size_t n = 0;
    Current().Read([&](const json& state) { n = DescNumber(Section(state), "contexts_opened"); });
    return n;
}

size_t ContextsClosed() {
    size_t n = 0;
    Current().Read([&](const json& state) { n = DescNumber(Section(state), "contexts_closed"); });
    return n;
}

size_t MessagesAnswered() {
    size_t n = 0;
    Current().Read([&](const json& state) { n = DescNumber(Section(state), "messages_answered"); });
    return n;
}

} // namespace sim::cacheservice
