#pragma once
#include "cli/ITaskFactory.h"

namespace MOX {

class RescanTaskFactory : public ITaskFactory {
public:
    RescanTaskFactory();
    std::unique_ptr<ITask> createTask(CommandParser& parser) override;
};

// Re-enumerates the device tree; opens no session.
class RescanTask : public virtual ITask {
public:
    Error run() override;
};

} // namespace MOX
