#include "sim/CacheServicePinning.h"

#include <array>
#include <cstring>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/win/WinError.h"
#include "sim/DescriptionValues.h"
#include "sim/Files.h"
#include "sim/MachineState.h"
#include "sim/WideText.h"

namespace sim::cacheservice::pinning {
namespace {

using nlohmann::json;
namespace sc = sim::schema;

constexpr uint32_t kBadStubData = 1783, kProcedureOutOfRange = 1745;
constexpr size_t kStatusTextUnits = 8, kFileCacheCounters = 14, kVersionFields = 4;
// The service's answers: 17 says that some files of a request failed, each with its own value.
constexpr uint16_t kDone = 0, kSomeFilesFailed = 17;
constexpr uint16_t kFileMissing = ERROR_FILE_NOT_FOUND, kPathAbsent = ERROR_INVALID_PARAMETER;

enum Procedure : uint32_t {
    kStatus = 2,
    kPin = 3,
    kUnpin = 4,
    kPinStatus = 6,
    kMigration = 7,
    kFileCache = 8,
    kApiVersion = 9
};

const char* AnswerKey(uint32_t procedure) {
    switch (procedure) {
    case kStatus:
        return "status";
    case kPin:
        return "pin";
    case kUnpin:
        return "unpin";
    case kPinStatus:
        return "pin_status";
    case kMigration:
        return "migration";
    case kFileCache:
        return "file_cache";
    default:
        return "api_version";
    }
}

// [in] bytes read in order; any read past the end marks the arguments malformed.
class In {
public:
    explicit In(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
    uint32_t U32() {
        uint32_t v = 0;
        if (Take(4))
            std::memcpy(&v, bytes_.data() + at_ - 4, 4);
        return v;
    }
    uint16_t U16() {
        uint16_t v = 0;
        if (Take(2))
            std::memcpy(&v, bytes_.data() + at_ - 2, 2);
        return v;
    }
    void Fail() { ok_ = false; }
    bool Ok() const { return ok_; }
    bool Done() const { return ok_ && at_ == bytes_.size(); }

private:
    bool Take(size_t n) {
        if (!ok_ || n > bytes_.size() - at_)
            return ok_ = false;
        at_ += n;
        return true;
    }
    const std::vector<uint8_t>& bytes_;
    size_t at_ = 0;
    bool ok_ = true;
};

class Out {
public:
    void U16(uint16_t v) { Put(&v, 2); }
    void U32(uint32_t v) { Put(&v, 4); }
    void U64(uint64_t v) { Put(&v, 8); }
    std::vector<uint8_t> bytes;

private:
    void Put(const void* v, size_t n) {
        const auto* p = static_cast<const uint8_t*>(v);
        bytes.insert(bytes.end(), p, p + n);
    }
};

// A [unique] UTF-16 string: its length in units with the terminator (0: absent), the units.
std::optional<std::string> String(In& in) {
    const uint32_t units = in.U32();
    if (units == 0)
        return std::nullopt;
    std::wstring text;
    uint32_t pending = 0;
    for (uint32_t i = 0; i < units && in.Ok(); ++i) {
        const uint16_t u = in.U16();
        if (i + 1 == units) {
            if (u != 0)
                in.Fail(); // the terminator the length promised is not there
            break;
        }
        if (u >= 0xD800 && u < 0xDC00) {
            pending = u;
            continue;
        }
        if (u >= 0xDC00 && u < 0xE000 && pending) {
            text += static_cast<wchar_t>(0x10000 + ((pending - 0xD800) << 10) + (u - 0xDC00));
        } else {
            text += static_cast<wchar_t>(u);
        }
        pending = 0;
    }
    return ToUtf8(text);
}

// The [in] arguments of procedures 3, 4 and 6: the count, then the path array it sizes.
std::optional<std::vector<std::optional<std::string>>> Paths(const std::vector<uint8_t>& bytes) {
    In in(bytes);
    const uint32_t count = in.U32();
    if (!in.Ok() || count > 0x7FFFFFFF || in.U32() != count)
        return std::nullopt;
    std::vector<std::optional<std::string>> paths;
    for (uint32_t i = 0; i < count && in.Ok(); ++i)
        paths.push_back(String(in));
    if (!in.Done())
        return std::nullopt;
    return paths;
}

json& Pinning(json& state) {
    json& pinning = state["cache_service"]["pinning"];
    if (!pinning.is_object())
        pinning = json::object();
    return pinning;
}

json& Pinned(json& pinning) {
    json& pinned = pinning["pinned"];
    if (!pinned.is_array())
        pinned = json::array();
    return pinned;
}

json::iterator FindPinned(json& pinned, const std::string& path) {
    const std::string key = files::PathKey(path);
    for (auto it = pinned.begin(); it != pinned.end(); ++it)
        if (files::PathKey(DescText(*it, "path")) == key)
            return it;
    return pinned.end();
}

// The service's own answer, unless the description gives the procedure another.
uint16_t Answered(const json& pinning, uint32_t procedure, uint16_t own) {
    auto answers = pinning.find("answers");
    if (answers == pinning.end() || !answers->is_object() || !answers->contains(AnswerKey(procedure)))
        return own;
    return static_cast<uint16_t>(DescNumber(*answers, AnswerKey(procedure)));
}

// Procedures 3, 4 and 6: one value per file (three for 6), then the answer.
Answer FileProcedure(uint32_t procedure, const std::vector<uint8_t>& bytes) {
    auto paths = Paths(bytes);
    if (!paths)
        return {kBadStubData, {}};
    const size_t count = paths->size();
    std::array<std::vector<uint16_t>, 3> values;
    for (auto& v : values)
        v.assign(count, 0);
    uint16_t answer = kDone;
    Current().Update([&](json& state) {
        json& pinning = Pinning(state);
        json& pinned = Pinned(pinning);
        for (size_t i = 0; i < count; ++i) {
            const std::optional<std::string>& path = (*paths)[i];
            uint16_t& result = values[0][i];
            if (!path) {
                result = kPathAbsent;
            } else if (procedure == kUnpin) {
                auto it = FindPinned(pinned, *path);
                if (it == pinned.end())
                    result = kFileMissing;
                else
                    pinned.erase(it);
            } else if (!files::ExistsIn(state, *path)) {
                result = kFileMissing;
            } else if (procedure == kPin) {
                if (FindPinned(pinned, *path) == pinned.end())
                    pinned.push_back({{"path", *path}, {"cached", false}});
            } else {
                auto it = FindPinned(pinned, *path);
                values[1][i] = it != pinned.end() ? 1 : 0;
                values[2][i] = it != pinned.end() && DescFlag(*it, "cached") ? 1 : 0;
            }
            if (result != kDone)
                answer = kSomeFilesFailed;
        }
        answer = Answered(pinning, procedure, answer);
    });
    Out out;
    for (size_t array = 0; array < (procedure == kPinStatus ? 3u : 1u); ++array) {
        out.U32(static_cast<uint32_t>(count));
        for (uint16_t v : values[array])
            out.U16(v);
    }
    out.U16(answer);
    return {0, std::move(out.bytes)};
}

// Procedures 2, 7, 8 and 9: no [in] arguments, one record out, then the answer.
Answer RecordProcedure(uint32_t procedure) {
    Out out;
    uint16_t answer = kDone;
    Current().Update([&](json& state) {
        json& pinning = Pinning(state);
        switch (procedure) {
        case kStatus: {
            out.U16(static_cast<uint16_t>(DescNumber(pinning, "state", 1)));
            // Up to eight UTF-16 units, not terminated when all eight are used.
            const std::wstring text = FromUtf8(DescText(pinning, "text", "READY"));
            for (size_t i = 0; i < kStatusTextUnits; ++i)
                out.U16(i < text.size() ? static_cast<uint16_t>(text[i]) : 0);
            break;
        }
        case kMigration:
            for (json& file : Pinned(pinning))
                file["cached"] = true;
            break;
        case kFileCache: {
            const json& counters = pinning.contains("file_cache") ? pinning["file_cache"] : json::array();
            for (size_t i = 0; i < kFileCacheCounters; ++i)
                out.U64(i < counters.size() ? DescValue(counters[i]) : 0);
            break;
        }
        default: {
            static const json kDefault = {1, 1, 1, 0};
            const json& version = pinning.contains("api_version") ? pinning["api_version"] : kDefault;
            for (size_t i = 0; i < kVersionFields; ++i)
                out.U32(i < version.size() ? static_cast<uint32_t>(DescValue(version[i])) : 0);
        }
        }
        answer = Answered(pinning, procedure, answer);
    });
    out.U16(answer);
    return {0, std::move(out.bytes)};
}

} // namespace

sc::Shape Shape() {
    return sc::Object(
        {{"state", sc::Uint16()},
         {"text", sc::Text()},
         {"api_version", sc::Array(sc::Int(INT32_MIN, INT32_MAX), kVersionFields)},
         {"file_cache", sc::Array(sc::Uint64(), kFileCacheCounters)},
         {"pinned", sc::Array(sc::Object({{"path", sc::Text()}, {"cached", sc::Bool()}}, {"path"}))},
         {"answers", sc::Object({{"status", sc::Uint16()},
                                 {"pin", sc::Uint16()},
                                 {"unpin", sc::Uint16()},
                                 {"pin_status", sc::Uint16()},
                                 {"migration", sc::Uint16()},
                                 {"file_cache", sc::Uint16()},
                                 {"api_version", sc::Uint16()}})}});
}

Answer Call(uint32_t procedure, const std::vector<uint8_t>& in) {
    switch (procedure) {
    case kPin:
    case kUnpin:
    case kPinStatus:
        return FileProcedure(procedure, in);
    case kStatus:
    case kMigration:
    case kFileCache:
    case kApiVersion:
        return in.empty() ? RecordProcedure(procedure) : Answer{kBadStubData, {}};
    default:
        return {kProcedureOutOfRange, {}};
    }
}

} // namespace sim::cacheservice::pinning
