#include "sim/Schema.h"

#include <cmath>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>

#include "sim/DescriptionValues.h"

namespace sim::schema {
namespace {

std::string Describe(const nlohmann::json& v) {
    switch (v.type()) {
    case nlohmann::json::value_t::null:
        return "null";
    case nlohmann::json::value_t::boolean:
        return "a boolean";
    case nlohmann::json::value_t::string:
        return "a text";
    case nlohmann::json::value_t::array:
        return "an array";
    case nlohmann::json::value_t::object:
        return "an object";
    case nlohmann::json::value_t::number_float:
        return "a fraction";
    default:
        return "a number";
    }
}

std::string Escape(const std::string& key) {
    std::string out;
    for (char c : key) {
        if (c == '~')
            out += "~0";
        else if (c == '/')
            out += "~1";
        else
            out += c;
    }
    return out;
}

template <class F> Shape Make(F f) {
    struct Fn : Node {
        F f;
        explicit Fn(F fn) : f(std::move(fn)) {}
        void Check(const nlohmann::json& v, const std::string& p, Report& r) const override { f(v, p, r); }
    };
    return std::make_shared<Fn>(std::move(f));
}

std::optional<Shape> ExtensionField(const std::string& point, const std::string& key);

class ObjectNode : public Node {
public:
    ObjectNode(std::vector<Field> fields, std::vector<std::string> required, std::string point = {})
        : required_(std::move(required)), point_(std::move(point)) {
        for (auto& f : fields)
            fields_[f.name] = f.shape;
    }
    void Check(const nlohmann::json& v, const std::string& p, Report& r) const override {
        if (!v.is_object()) {
            r.Fail(p, "expected an object, found " + Describe(v));
            return;
        }
        for (const auto& [key, value] : v.items()) {
            std::optional<Shape> shape;
            if (auto it = fields_.find(key); it != fields_.end())
                shape = it->second;
            else if (!point_.empty())
                shape = ExtensionField(point_, key);
            if (!shape)
                r.Fail(ChildPointer(p, key), "unknown key \"" + key + "\"");
            else if (*shape)
                (*shape)->Check(value, ChildPointer(p, key), r);
        }
        for (const auto& key : required_)
            if (!v.contains(key))
                r.Fail(p, "missing key \"" + key + "\"");
    }

private:
    std::map<std::string, Shape> fields_;
    std::vector<std::string> required_;
    std::string point_;
};

struct FaultShape {
    std::set<std::string> selectors;
    Shape outcome;
};

struct Registry {
    std::mutex mutex;
    std::map<std::string, Shape> sections;
    std::vector<CrossCheck> cross;
    std::map<std::string, FaultShape> faults;
    std::map<std::string, std::map<std::string, Shape>> extensions;
};

Registry& Registered() {
    static Registry r;
    return r;
}

std::optional<Shape> ExtensionField(const std::string& point, const std::string& key) {
    Registry& reg = Registered();
    std::lock_guard lock(reg.mutex);
    auto p = reg.extensions.find(point);
    if (p == reg.extensions.end())
        return std::nullopt;
    auto f = p->second.find(key);
    return f == p->second.end() ? std::nullopt : std::optional<Shape>(f->second);
}

void CheckNumber(const nlohmann::json& v, const std::string& p, Report& r, int64_t min, uint64_t max) {
    if (v.is_number_float()) {
        r.Fail(p, "expected a whole number, found a fraction");
        return;
    }
    if (!v.is_number() && !v.is_boolean() && !v.is_string()) {
        r.Fail(p, "expected a number, found " + Describe(v));
        return;
    }
    auto n = ParseDescNumber(v);
    if (!n) {
        r.Fail(p, "expected a number, found the text \"" + v.get<std::string>() + "\"");
        return;
    }
    const bool negative = v.is_number_integer() && !v.is_number_unsigned()
                              ? v.get<int64_t>() < 0
                              : v.is_string() && !v.get_ref<const std::string&>().empty() &&
                                    v.get_ref<const std::string&>()[0] == '-';
    bool inRange = negative ? min < 0 && static_cast<int64_t>(*n) >= min : *n <= max;
    if (!inRange)
        r.Fail(p,
               "number " + v.dump() + " out of range " + std::to_string(min) + " to " + std::to_string(max));
}

} // namespace

std::string ChildPointer(const std::string& pointer, const std::string& key) {
    return pointer + "/" + Escape(key);
}

void Report::Fail(const std::string& pointer, const std::string& problem) {
    problems_.emplace_back(pointer.empty() ? "/" : pointer, problem);
}

std::string Report::Text(const std::string& where) const {
    std::string out;
    for (const auto& [pointer, problem] : problems_)
        out += (out.empty() ? "" : "\n") + where + ": " + pointer + ": " + problem;
    return out;
}

Shape Any() {
    return Make([](const nlohmann::json&, const std::string&, Report&) {});
}

Shape Bool() {
    return Make([](const nlohmann::json& v, const std::string& p, Report& r) {
        if (!v.is_boolean())
            r.Fail(p, "expected a boolean, found " + Describe(v));
    });
}

Shape Text() {
    return Make([](const nlohmann::json& v, const std::string& p, Report& r) {
        if (!v.is_string())
            r.Fail(p, "expected a text, found " + Describe(v));
    });
}

Shape OneOfText(std::initializer_list<const char*> texts) {
    std::vector<std::string> allowed(texts.begin(), texts.end());
    return Make([allowed](const nlohmann::json& v, const std::string& p, Report& r) {
        if (v.is_string())
            for (const auto& a : allowed)
                if (a == v.get_ref<const std::string&>())
                    return;
        std::string list;
        for (const auto& a : allowed)
            list += (list.empty() ? "\"" : ", \"") + a + "\"";
        r.Fail(p, "expected one of " + list + ", found " + v.dump());
    });
}

Shape Hex() {
    return Make([](const nlohmann::json& v, const std::string& p, Report& r) {
        if (!v.is_string() || !ParseDescHex(v.get_ref<const std::string&>()))
            r.Fail(p, "expected hexadecimal bytes, found " + v.dump());
    });
}

Shape Int(int64_t min, int64_t max) {
    return Make([min, max](const nlohmann::json& v, const std::string& p, Report& r) {
        CheckNumber(v, p, r, min, static_cast<uint64_t>(max));
    });
}

Shape Uint(uint64_t max) {
    return Make(
        [max](const nlohmann::json& v, const std::string& p, Report& r) { CheckNumber(v, p, r, 0, max); });
}

Shape Word32() {
    return Make([](const nlohmann::json& v, const std::string& p, Report& r) {
        CheckNumber(v, p, r, INT32_MIN, UINT32_MAX);
    });
}

Shape Array(Shape item, size_t maxItems) {
    return Make([item, maxItems](const nlohmann::json& v, const std::string& p, Report& r) {
        if (!v.is_array()) {
            r.Fail(p, "expected an array, found " + Describe(v));
            return;
        }
        if (v.size() > maxItems)
            r.Fail(p, "more than " + std::to_string(maxItems) + " entries");
        for (size_t i = 0; i < v.size(); ++i)
            item->Check(v[i], p + "/" + std::to_string(i), r);
    });
}

Shape Object(std::vector<Field> fields, std::vector<std::string> required) {
    return std::make_shared<ObjectNode>(std::move(fields), std::move(required));
}

Shape Extensible(std::string point, std::vector<Field> fields, std::vector<std::string> required) {
    return std::make_shared<ObjectNode>(std::move(fields), std::move(required), std::move(point));
}

MoreFields::MoreFields(std::string point, std::vector<Field> fields) {
    Registry& reg = Registered();
    std::lock_guard lock(reg.mutex);
    auto& known = reg.extensions[point];
    for (auto& f : fields)
        if (!known.emplace(f.name, f.shape).second)
            throw std::logic_error("schema: field \"" + f.name + "\" of \"" + point + "\" declared twice");
}

Shape Map(Shape value) {
    return Make([value](const nlohmann::json& v, const std::string& p, Report& r) {
        if (!v.is_object()) {
            r.Fail(p, "expected an object, found " + Describe(v));
            return;
        }
        for (const auto& [key, item] : v.items())
            value->Check(item, ChildPointer(p, key), r);
    });
}

Shape Either(std::vector<Shape> shapes) {
    return Make([shapes](const nlohmann::json& v, const std::string& p, Report& r) {
        Report last;
        for (const auto& s : shapes) {
            last = Report();
            s->Check(v, p, last);
            if (last.Ok())
                return;
        }
        for (const auto& [pointer, problem] : last.Problems())
            r.Fail(pointer, problem);
    });
}

Shape Custom(std::function<void(const nlohmann::json&, const std::string&, Report&)> check) {
    return Make(std::move(check));
}

Section::Section(std::string name, Shape shape, CrossCheck cross) {
    Registry& reg = Registered();
    std::lock_guard lock(reg.mutex);
    if (!reg.sections.emplace(name, std::move(shape)).second)
        throw std::logic_error("schema: section \"" + name + "\" registered twice");
    if (cross)
        reg.cross.push_back(std::move(cross));
}

namespace {

void AddFaultKind(const std::string& kind, const std::vector<std::string>& selectors, const Shape& outcome) {
    Registry& reg = Registered();
    std::lock_guard lock(reg.mutex);
    if (!reg.faults.emplace(kind, FaultShape{{selectors.begin(), selectors.end()}, outcome}).second)
        throw std::logic_error("schema: fault kind \"" + kind + "\" registered twice");
}

} // namespace

FaultKind::FaultKind(std::string kind, std::vector<std::string> selectors, Shape outcome) {
    AddFaultKind(kind, selectors, outcome);
}

FaultKind::FaultKind(std::initializer_list<const char*> kinds, std::vector<std::string> selectors,
                     Shape outcome) {
    for (const char* k : kinds)
        AddFaultKind(k, selectors, outcome);
}

void CheckDepth(std::string_view text, const std::string& where) {
    int depth = 0;
    bool inString = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kMaxDepth)
                throw std::runtime_error(where + ": nested deeper than " + std::to_string(kMaxDepth) +
                                         " levels at offset " + std::to_string(i));
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
}

nlohmann::json ParseText(std::string_view text, const std::string& where) {
    CheckDepth(text, where);
    try {
        return nlohmann::json::parse(text);
    } catch (const nlohmann::json::exception& e) {
        throw std::runtime_error(where + ": not valid JSON: " + e.what());
    }
}

void CheckFaultRuleInto(const nlohmann::json& rule, const std::string& p, Report& r) {
    static const Shape kRule = Object({{"kind", Text()},
                                       {"match", Map(Any())},
                                       {"skip", Uint32()},
                                       {"times", Int(-1, INT32_MAX)},
                                       {"outcome", nullptr},
                                       {"comment", Text()}},
                                      {"kind"});
    kRule->Check(rule, p, r);
    if (!rule.is_object() || !rule.contains("kind") || !rule.at("kind").is_string())
        return;
    const std::string kind = rule.at("kind").get<std::string>();
    FaultShape known;
    {
        Registry& reg = Registered();
        std::lock_guard lock(reg.mutex);
        auto it = reg.faults.find(kind);
        if (it == reg.faults.end()) {
            r.Fail(p + "/kind", "unknown fault kind \"" + kind + "\"");
            return;
        }
        known = it->second;
    }
    if (rule.contains("match") && rule.at("match").is_object())
        for (const auto& [key, value] : rule.at("match").items())
            if (!known.selectors.count(key))
                r.Fail(ChildPointer(p + "/match", key),
                       "the kind \"" + kind + "\" has no selector \"" + key + "\"");
    if (rule.contains("outcome") && known.outcome)
        known.outcome->Check(rule.at("outcome"), p + "/outcome", r);
}

void CheckFaultRule(const nlohmann::json& rule, const std::string& where) {
    Report r;
    CheckFaultRuleInto(rule, "", r);
    if (!r.Ok())
        throw std::runtime_error(r.Text(where));
}

void CheckDescription(const nlohmann::json& description, const std::string& where) {
    Report r;
    if (!description.is_object()) {
        r.Fail("", "expected an object, found " + Describe(description));
        throw std::runtime_error(r.Text(where));
    }
    Registry& reg = Registered();
    std::map<std::string, Shape> sections;
    std::vector<CrossCheck> cross;
    {
        std::lock_guard lock(reg.mutex);
        sections = reg.sections;
        cross = reg.cross;
    }
    for (const auto& [key, value] : description.items()) {
        auto it = sections.find(key);
        if (it == sections.end())
            r.Fail(ChildPointer("", key), "unknown section \"" + key + "\"");
        else if (it->second)
            it->second->Check(value, ChildPointer("", key), r);
    }
    if (r.Ok())
        for (const auto& c : cross)
            c(description, r);
    if (!r.Ok())
        throw std::runtime_error(r.Text(where));
}

std::vector<std::string> SectionNames() {
    Registry& reg = Registered();
    std::lock_guard lock(reg.mutex);
    std::vector<std::string> out;
    for (const auto& [name, shape] : reg.sections)
        out.push_back(name);
    return out;
}

} // namespace sim::schema
