#pragma once
#include "cli/ITaskFactory.h"

namespace MOX {

class CreateTaskFactory : public ITaskFactory {
public:
    CreateTaskFactory();
    std::unique_ptr<ITask> createTask(CommandParser& parser) override;
};

} // namespace MOX
