#include "sim/FirmwareVariables.h"

#include <cctype>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "sim/DescriptionValues.h"
#include "sim/MachineState.h"
#include "sim/Schema.h"
#include "sim/StateLog.h"
#include "sim/ValueJson.h"

namespace sim::firmware {
namespace {

using nlohmann::json;

constexpr const char* kSection = "firmware";

namespace schema = sim::schema;

const schema::Section
    kSchema(kSection,
            schema::Object({{"variables",
                             schema::Array(schema::Object(
                                 {{"name", schema::Text()},
                                  {"guid", schema::Custom([](const json& value, const std::string& pointer,
                                                             schema::Report& report) {
                                       if (!value.is_string() ||
                                           !NormalGuid(value.get_ref<const std::string&>()))
                                           report.Fail(pointer, "expected a GUID in braces");
                                   })},
                                  {"attributes", schema::Uint32()},
                                  {"hex", schema::Hex()}},
                                 {"name", "guid"}))}}));

[[noreturn]] void Refuse(const std::string& path, const std::string& reason) {
    throw std::runtime_error("machine description: /" + std::string(kSection) + path + ": " + reason);
}

Variable Parse(const json& entry, const std::string& path) {
    if (!entry.is_object())
        Refuse(path, "a variable is an object");
    for (auto it = entry.begin(); it != entry.end(); ++it)
        if (it.key() != "name" && it.key() != "guid" && it.key() != "attributes" && it.key() != "hex")
            Refuse(path + "/" + it.key(), "unknown key");
    Variable v;
    if (!entry.contains("name") || !entry["name"].is_string() || entry["name"].get<std::string>().empty())
        Refuse(path + "/name", "a non-empty text is required");
    v.name = entry["name"].get<std::string>();
    auto guid = entry.contains("guid") && entry["guid"].is_string()
                    ? NormalGuid(entry["guid"].get_ref<const std::string&>())
                    : std::nullopt;
    if (!guid)
        Refuse(path + "/guid", "a GUID in braces is required");
    v.guid = *guid;
    if (entry.contains("attributes")) {
        auto attributes = ParseDescNumber(entry["attributes"]);
        if (!attributes || *attributes > 0xFFFFFFFFu)
            Refuse(path + "/attributes", "a 32-bit number is required");
        v.attributes = static_cast<uint32_t>(*attributes);
    }
    if (entry.contains("hex")) {
        auto bytes = entry["hex"].is_string() ? ParseDescHex(entry["hex"].get_ref<const std::string&>())
                                              : std::nullopt;
        if (!bytes)
            Refuse(path + "/hex", "hexadecimal bytes are required");
        v.data = std::move(*bytes);
    }
    return v;
}

std::vector<Variable> ParseSection(const json& state) {
    std::vector<Variable> out;
    auto section = state.find(kSection);
    if (section == state.end() || section->is_null())
        return out;
    if (!section->is_object())
        Refuse("", "the section is an object");
    for (auto it = section->begin(); it != section->end(); ++it)
        if (it.key() != "variables")
            Refuse("/" + it.key(), "unknown key");
    auto list = section->find("variables");
    if (list == section->end())
        return out;
    if (!list->is_array())
        Refuse("/variables", "a list of variables is required");
    for (size_t i = 0; i < list->size(); ++i)
        out.push_back(Parse((*list)[i], "/variables/" + std::to_string(i)));
    return out;
}

StateLog& WriteLogFile() {
    static StateLog log("firmware-writes.jsonl", 1000);
    return log;
}

bool Same(const Variable& v, const std::string& name, const std::string& guid) {
    return v.name == name && v.guid == guid;
}

json Entry(const Variable& v) {
    return json{
        {"name", v.name}, {"guid", v.guid}, {"attributes", v.attributes}, {"hex", FormatDescHex(v.data)}};
}

} // namespace

std::optional<std::string> NormalGuid(std::string_view text) {
    // {xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}
    if (text.size() != 38 || text.front() != '{' || text.back() != '}')
        return std::nullopt;
    std::string out(text);
    for (size_t i = 1; i < 37; ++i) {
        const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        const unsigned char c = static_cast<unsigned char>(out[i]);
        if (dash ? c != '-' : !std::isxdigit(c))
            return std::nullopt;
        out[i] = static_cast<char>(std::tolower(c));
    }
    return out;
}

std::vector<Variable> Variables() {
    std::vector<Variable> out;
    Current().Read([&](const json& state) { out = ParseSection(state); });
    return out;
}

std::optional<Variable> Find(const std::string& name, const std::string& guid) {
    auto normal = NormalGuid(guid);
    if (!normal)
        return std::nullopt;
    for (Variable& v : Variables())
        if (Same(v, name, *normal))
            return std::move(v);
    return std::nullopt;
}

void Write(const Variable& variable) {
    Variable v = variable;
    auto normal = NormalGuid(v.guid);
    if (!normal)
        throw std::invalid_argument("firmware variable GUID is not a GUID in braces: " + v.guid);
    v.guid = *normal;
    Current().Update([&](json& state) {
        std::vector<Variable> all = ParseSection(state);
        json list = json::array();
        bool replaced = false;
        for (const Variable& old : all) {
            if (Same(old, v.name, v.guid)) {
                list.push_back(Entry(v));
                replaced = true;
            } else {
                list.push_back(Entry(old));
            }
        }
        if (!replaced)
            list.push_back(Entry(v));
        state[kSection]["variables"] = std::move(list);
    });
}

bool Remove(const std::string& name, const std::string& guid) {
    auto normal = NormalGuid(guid);
    if (!normal)
        return false;
    bool removed = false;
    Current().Update([&](json& state) {
        std::vector<Variable> all = ParseSection(state);
        json list = json::array();
        for (const Variable& old : all) {
            if (Same(old, name, *normal))
                removed = true;
            else
                list.push_back(Entry(old));
        }
        if (removed)
            state[kSection]["variables"] = std::move(list);
    });
    return removed;
}

void RecordWrite(const Variable& variable, bool deleted) {
    WriteLogFile().Append(json{{"op", deleted ? "delete" : "set"},
                               {"name", variable.name},
                               {"guid", variable.guid},
                               {"hex", FormatDescHex(variable.data)}});
}

std::vector<Value> WriteLog() {
    std::vector<Value> out;
    for (const json& entry : WriteLogFile().Entries())
        out.push_back(ToValue(entry));
    return out;
}

} // namespace sim::firmware
