#pragma once
#include "cli/ITaskFactory.h"

namespace MOX {

class HalvexMemoryTaskFactory : public ITaskFactory {
public:
    HalvexMemoryTaskFactory();
    std::unique_ptr<ITask> createTask(CommandParser& parser) override;
};

} // namespace MOX
