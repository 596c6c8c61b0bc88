#pragma once
#include "cli/ITaskFactory.h"

namespace MOX {

class HalvexMemoryTaskFactory : public ITaskFactory {
public:
    HalvexMemoryTaskFactory();
    std::unique_ptr<ITask> createTask(CommandParser& parser) override;

    // Exactly one of these is set in a HalvexMemory command.
    OptionDescriptorSet actionOptions;
};

} // namespace MOX
