#include "sim/MachineBuilder.h"

#include <stdexcept>

#include <nlohmann/json.hpp>

#include "sim/MachineState.h"
#include "sim/Schema.h"

namespace sim {
namespace {

nlohmann::json Parse(std::string_view text, const char* what) {
    try {
        return schema::ParseText(text, std::string("MachineBuilder: ") + what);
    } catch (const std::runtime_error& e) {
        throw std::invalid_argument(e.what());
    }
}

template <class F> void Edit(std::string& text, F&& f) {
    nlohmann::json doc = Parse(text, "description");
    try {
        f(doc);
    } catch (const nlohmann::json::exception& e) {
        throw std::invalid_argument(std::string("MachineBuilder: ") + e.what());
    }
    text = doc.dump();
}

} // namespace

std::filesystem::path MachinesDir() {
    return std::filesystem::path(MOX_SIM_MACHINES_DIR);
}

MachineBuilder::MachineBuilder(std::string_view name) : text_(nlohmann::json{{"name", name}}.dump()) {}

MachineBuilder MachineBuilder::Default() {
    static const std::string text = DefaultDescription().dump();
    MachineBuilder b;
    b.text_ = text;
    return b;
}

MachineBuilder MachineBuilder::FromFile(const std::filesystem::path& nameOrPath) {
    auto path = nameOrPath.has_parent_path() ? nameOrPath : MachinesDir() / nameOrPath;
    return FromText(LoadDescription(path).dump());
}

MachineBuilder MachineBuilder::FromText(std::string_view json) {
    MachineBuilder b;
    b.text_ = Parse(json, "text").dump();
    return b;
}

Value MachineBuilder::AsValue() const {
    return Value::parse(text_);
}

MachineBuilder& MachineBuilder::Merge(std::string_view patchJson) {
    auto patch = Parse(patchJson, "merge patch");
    Edit(text_, [&](nlohmann::json& doc) { doc.merge_patch(patch); });
    return *this;
}

MachineBuilder& MachineBuilder::Set(std::string_view pointer, std::string_view valueJson) {
    auto value = Parse(valueJson, "value");
    Edit(text_,
         [&](nlohmann::json& doc) { doc[nlohmann::json::json_pointer(std::string(pointer))] = value; });
    return *this;
}

MachineBuilder& MachineBuilder::Append(std::string_view arrayPointer, std::string_view valueJson) {
    auto value = Parse(valueJson, "value");
    Edit(text_, [&](nlohmann::json& doc) {
        auto& array = doc[nlohmann::json::json_pointer(std::string(arrayPointer))];
        if (array.is_null())
            array = nlohmann::json::array();
        if (!array.is_array())
            throw std::invalid_argument("MachineBuilder: " + std::string(arrayPointer) + " is not an array");
        array.push_back(value);
    });
    return *this;
}

MachineBuilder& MachineBuilder::Remove(std::string_view pointer) {
    Edit(text_, [&](nlohmann::json& doc) {
        nlohmann::json::json_pointer p{std::string(pointer)};
        auto& parent = doc.at(p.parent_pointer());
        if (parent.is_array())
            parent.erase(std::stoul(p.back()));
        else if (parent.erase(p.back()) == 0)
            throw std::invalid_argument("MachineBuilder: nothing at " + std::string(pointer));
    });
    return *this;
}

} // namespace sim
