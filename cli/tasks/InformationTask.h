#pragma once
#include "cli/ITaskFactory.h"

namespace MOX {

class InformationTaskFactory : public ITaskFactory {
public:
    InformationTaskFactory();
    std::unique_ptr<ITask> createTask(CommandParser& parser) override;
};

} // namespace MOX
