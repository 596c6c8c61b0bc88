#pragma once
#include "cli/ITaskFactory.h"

namespace MOX {

class VersionTaskFactory : public ITaskFactory {
public:
    VersionTaskFactory();
    std::unique_ptr<ITask> createTask(CommandParser& parser) override;
};

} // namespace MOX
