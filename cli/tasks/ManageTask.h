#pragma once
#include "cli/ITaskFactory.h"

namespace MOX {

class ManageTaskFactory : public ITaskFactory {
public:
    ManageTaskFactory();
    std::unique_ptr<ITask> createTask(CommandParser& parser) override;
};

} // namespace MOX
