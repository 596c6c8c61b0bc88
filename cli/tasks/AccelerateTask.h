#pragma once
#include "cli/ITaskFactory.h"

namespace MOX {

class AccelerateTaskFactory : public ITaskFactory {
public:
    AccelerateTaskFactory();
    std::unique_ptr<ITask> createTask(CommandParser& parser) override;
};

} // namespace MOX
