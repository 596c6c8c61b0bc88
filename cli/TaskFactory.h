#pragma once
#include "cli/ITaskFactory.h"

namespace MOX {

// Picks the one mode given on the command line and lets that mode's factory build the task. Made for
// one dispatch; it has no texts or options of its own.
class TaskFactory : public ITaskFactory {
public:
    // Throws std::exception when no mode, several modes or a mode without factory was given.
    std::unique_ptr<ITask> createTask(CommandParser& parser) override;
};

} // namespace MOX
