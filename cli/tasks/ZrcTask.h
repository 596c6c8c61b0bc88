#pragma once
#include "cli/ITaskFactory.h"

namespace MOX {

class ZrcTaskFactory : public ITaskFactory {
public:
    ZrcTaskFactory();
    std::unique_ptr<ITask> createTask(CommandParser& parser) override;
};

} // namespace MOX
