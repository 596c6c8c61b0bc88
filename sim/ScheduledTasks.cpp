#include "sim/ScheduledTasks.h"
#include "sim/ScheduledTaskStore.h"

#include <cctype>
#include <set>

#include "platform/win/WinError.h"
#include "sim/MachineState.h"
#include "sim/Schema.h"
#include "sim/ValueJson.h"

namespace sim::tasks {
namespace {

using nlohmann::json;
namespace sc = sim::schema;

constexpr const char* kSection = "scheduled_tasks";

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool Same(const std::string& a, const std::string& b) {
    return Lower(a) == Lower(b);
}

// The parts of a definition the binding writes; a description may give any of them.
sc::Shape Definition() {
    return sc::Object({
        {"registration_info",
         sc::Object(
             {{"author", sc::Text()}, {"description", sc::Text()}, {"security_descriptor", sc::Text()}})},
        {"principal", sc::Object({{"run_level", sc::Uint(1)}})},
        {"settings",
         sc::Object({{"disallow_start_if_on_batteries", sc::Bool()},
                     {"priority", sc::Uint(10)},
                     {"start_when_available", sc::Bool()},
                     {"restart_interval", sc::Text()},
                     {"restart_count", sc::Uint32()},
                     {"multiple_instances", sc::Uint(3)},
                     {"use_unified_scheduling_engine", sc::Bool()},
                     {"maintenance", sc::Object({{"period", sc::Text()}, {"deadline", sc::Text()}})}})},
        {"actions", sc::Array(sc::Object({{"type", sc::Uint(7)}, {"class_id", sc::Text()}}, {"type"}), 32)},
        {"triggers", sc::Array(sc::Object({{"type", sc::Uint(9)},
                                           {"start_boundary", sc::Text()},
                                           {"execution_time_limit", sc::Text()},
                                           {"days_interval", sc::Uint(0x7FFF)}},
                                          {"type"}),
                               48)},
    });
}

// Folders below existing folders, paths unique, each task in an existing folder, names unique there.
void CheckReferences(const json& machine, sc::Report& report) {
    auto section = machine.find(kSection);
    if (section == machine.end())
        return;
    std::set<std::string> folders{"\\"};
    if (auto list = section->find("folders"); list != section->end()) {
        for (size_t i = 0; i < list->size(); ++i) {
            const std::string pointer = "/scheduled_tasks/folders/" + std::to_string(i) + "/path";
            const std::string path = Lower(FolderPath((*list)[i].at("path").get<std::string>()));
            const std::string parent = path.substr(0, std::max<size_t>(1, path.rfind('\\')));
            if (path == "\\")
                report.Fail(pointer, "the root folder always exists");
            else if (!folders.count(parent))
                report.Fail(pointer, "no folder " + parent + " to hold it");
            else if (!folders.insert(path).second)
                report.Fail(pointer, "another folder has this path");
        }
    }
    std::set<std::string> tasks;
    if (auto list = section->find("tasks"); list != section->end()) {
        for (size_t i = 0; i < list->size(); ++i) {
            const std::string pointer = "/scheduled_tasks/tasks/" + std::to_string(i);
            const std::string folder = Lower(FolderPath((*list)[i].at("folder").get<std::string>()));
            if (!folders.count(folder))
                report.Fail(pointer + "/folder", "no folder " + folder);
            else if (!tasks.insert(folder + "\\" + Lower((*list)[i].at("name").get<std::string>())).second)
                report.Fail(pointer + "/name", "another task of the folder has this name");
        }
    }
}

const sc::Section
    kSchema(kSection,
            sc::Object({{"settings3", sc::Bool()},
                        {"folders",
                         sc::Array(sc::Object({{"path", sc::Text()}, {"sddl", sc::Text()}}, {"path"}), 1000)},
                        {"tasks", sc::Array(sc::Object({{"folder", sc::Text()},
                                                        {"name", sc::Text()},
                                                        {"user", sc::Text()},
                                                        {"logon_type", sc::Uint(6)},
                                                        {"sddl", sc::Text()},
                                                        {"definition", Definition()}},
                                                       {"folder", "name"}),
                                            10000)}}),
            CheckReferences);

const json* List(const json& state, const char* name) {
    auto section = state.find(kSection);
    if (section == state.end() || !section->is_object())
        return nullptr;
    auto list = section->find(name);
    return list == section->end() ? nullptr : &*list;
}

json& MutableList(json& state, const char* name) {
    json& list = state[kSection][name];
    if (!list.is_array())
        list = json::array();
    return list;
}

bool FolderIn(const json& state, const std::string& path) {
    if (path == "\\")
        return true;
    if (const json* folders = List(state, "folders"))
        for (const json& folder : *folders)
            if (Same(FolderPath(folder.at("path").get<std::string>()), path))
                return true;
    return false;
}

bool IsTask(const json& entry, const std::string& folder, const std::string& name) {
    return Same(FolderPath(entry.at("folder").get<std::string>()), folder) &&
           Same(entry.at("name").get<std::string>(), name);
}

} // namespace

std::string FolderPath(const std::string& path) {
    std::string out = path;
    while (out.size() > 1 && out.back() == '\\')
        out.pop_back();
    if (out.empty() || out.front() != '\\')
        out.insert(out.begin(), '\\');
    return out;
}

bool HasSettings3() {
    bool has = true;
    Current().Read([&](const json& state) {
        auto section = state.find(kSection);
        if (section != state.end() && section->is_object())
            has = section->value("settings3", true);
    });
    return has;
}

std::optional<Value> Folder(const std::string& path) {
    const std::string wanted = FolderPath(path);
    if (wanted == "\\")
        return Value{{"path", "\\"}};
    std::optional<Value> found;
    Current().Read([&](const json& state) {
        if (const json* folders = List(state, "folders"))
            for (const json& folder : *folders)
                if (Same(FolderPath(folder.at("path").get<std::string>()), wanted))
                    found = ToValue(folder);
    });
    return found;
}

std::optional<Value> Task(const std::string& folder, const std::string& name) {
    std::optional<Value> found;
    Current().Read([&](const json& state) {
        if (const json* tasks = List(state, "tasks"))
            for (const json& task : *tasks)
                if (IsTask(task, FolderPath(folder), name))
                    found = ToValue(task);
    });
    return found;
}

std::vector<Value> Tasks(const std::string& folder) {
    std::vector<Value> out;
    Current().Read([&](const json& state) {
        if (const json* tasks = List(state, "tasks"))
            for (const json& task : *tasks)
                if (Same(FolderPath(task.at("folder").get<std::string>()), FolderPath(folder)))
                    out.push_back(ToValue(task));
    });
    return out;
}

uint32_t CreateFolder(const std::string& path, const std::string& sddl) {
    const std::string wanted = FolderPath(path);
    const std::string parent = wanted.substr(0, std::max<size_t>(1, wanted.rfind('\\')));
    uint32_t result = ERROR_SUCCESS;
    Current().Update([&](json& state) {
        if (FolderIn(state, wanted)) {
            result = ERROR_ALREADY_EXISTS;
            return;
        }
        if (!FolderIn(state, parent)) {
            result = ERROR_PATH_NOT_FOUND;
            return;
        }
        json entry = {{"path", wanted}};
        if (!sddl.empty())
            entry["sddl"] = sddl;
        MutableList(state, "folders").push_back(std::move(entry));
    });
    return result;
}

uint32_t RegisterTask(const Registration& r) {
    const std::string folder = FolderPath(r.folder);
    uint32_t result = ERROR_SUCCESS;
    Current().Update([&](json& state) {
        if (!FolderIn(state, folder)) {
            result = ERROR_PATH_NOT_FOUND;
            return;
        }
        json entry = {{"folder", folder},          {"name", r.name}, {"user", r.user},
                      {"logon_type", r.logonType}, {"sddl", r.sddl}, {"definition", r.definition}};
        json& tasks = MutableList(state, "tasks");
        for (json& task : tasks) {
            if (IsTask(task, folder, r.name)) {
                if (!r.update)
                    result = ERROR_ALREADY_EXISTS;
                else
                    task = std::move(entry);
                return;
            }
        }
        if (!r.create)
            result = ERROR_FILE_NOT_FOUND;
        else
            tasks.push_back(std::move(entry));
    });
    return result;
}

uint32_t DeleteTask(const std::string& folder, const std::string& name) {
    uint32_t result = ERROR_FILE_NOT_FOUND;
    Current().Update([&](json& state) {
        if (!List(state, "tasks"))
            return;
        json& tasks = MutableList(state, "tasks");
        for (auto it = tasks.begin(); it != tasks.end(); ++it) {
            if (IsTask(*it, FolderPath(folder), name)) {
                tasks.erase(it);
                result = ERROR_SUCCESS;
                return;
            }
        }
    });
    return result;
}

json NewDefinition() {
    // The Task Scheduler's defaults for a new task.
    return json{{"registration_info", json::object()},
                {"principal", {{"run_level", 0}}},
                {"settings",
                 {{"disallow_start_if_on_batteries", true},
                  {"priority", 7},
                  {"start_when_available", false},
                  {"restart_interval", ""},
                  {"restart_count", 0},
                  {"multiple_instances", 2},
                  {"use_unified_scheduling_engine", false}}},
                {"actions", json::array()},
                {"triggers", json::array()}};
}

} // namespace sim::tasks
