#pragma once
// The Task Scheduler binding's changes of the store (sim/ScheduledTasks.h). Each returns a Win32
// error: 0, ERROR_ALREADY_EXISTS, ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND.
#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "sim/ScheduledTasks.h"

namespace sim::tasks {

// A folder below an existing one (ERROR_PATH_NOT_FOUND otherwise).
uint32_t CreateFolder(const std::string& path, const std::string& sddl);

struct Registration {
    std::string folder;
    std::string name;
    nlohmann::json definition;
    bool create = true; // a task that is not there may be made
    bool update = true; // a task that is there may be replaced
    std::string user;
    int32_t logonType = 0;
    std::string sddl;
};
uint32_t RegisterTask(const Registration& registration);
uint32_t DeleteTask(const std::string& folder, const std::string& name);

// The definition of a task that was just made: the settings' defaults, no actions, no triggers.
nlohmann::json NewDefinition();

} // namespace sim::tasks
