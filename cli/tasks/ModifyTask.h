#pragma once
#include "cli/ITaskFactory.h"

namespace MOX {

class ModifyTaskFactory : public ITaskFactory {
public:
    ModifyTaskFactory();
    std::unique_ptr<ITask> createTask(CommandParser& parser) override;
};

} // namespace MOX
