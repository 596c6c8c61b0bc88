#pragma once
// The Task Scheduler's store of the simulated machine ("scheduled_tasks" section): task folders
// with their security descriptors, and the registered tasks, each with the whole definition it was
// registered with, so a test reads every setting back. `settings3` says whether the system's task
// settings answer their version 3 interface (default true).
//
//   "scheduled_tasks": {
//     "settings3": true,
//     "folders": [ { "path": "\\Orvex", "sddl": "D:(A;;FA;;;BA)(A;;FA;;;SY)" } ],
//     "tasks": [ { "folder": "\\Orvex", "name": "Nightly", "user": "System", "logon_type": 5, "sddl": "",
//                  "definition": { "registration_info": { "author": "Orvex" },
//                                  "actions": [ { "type": 5, "class_id": "{...}" } ] } } ] }
//
// The root folder "\" always exists. Folder paths and task names compare without case.
#include <optional>
#include <string>
#include <vector>

#include "sim/Value.h"

namespace sim::tasks {

// "\", "\Name" or "Name" in the stored form ("\Name"; the root "\").
std::string FolderPath(const std::string& path);

bool HasSettings3();
// The folder's entry ({"path", "sddl"}; the root gives {"path": "\"}), or nothing.
std::optional<Value> Folder(const std::string& path);
// The task's entry ({"folder", "name", "user", "logon_type", "sddl", "definition"}), or nothing.
std::optional<Value> Task(const std::string& folder, const std::string& name);
// Every task of a folder, in registration order.
std::vector<Value> Tasks(const std::string& folder);

} // namespace sim::tasks
