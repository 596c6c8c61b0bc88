#pragma once
#include "cli/ITaskFactory.h"
#include "cli/access/CliSession.h"

namespace MOX {

class VersionTaskFactory : public ITaskFactory {
public:
    VersionTaskFactory();
    std::unique_ptr<ITask> createTask(CommandParser& parser) override;
};

// Prints the banner, the library's version and each controller's driver and option ROM versions.
class VersionTask : public virtual ITask {
public:
    Error run() override;

private:
    CliSession session_;
};

} // namespace MOX
