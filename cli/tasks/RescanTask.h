#pragma once
#include "cli/ITaskFactory.h"

namespace MOX {

class RescanTaskFactory : public ITaskFactory {
public:
    RescanTaskFactory();
    std::unique_ptr<ITask> createTask(CommandParser& parser) override;
};

} // namespace MOX
