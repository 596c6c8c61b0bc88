#include "cli/tasks/VersionTask.h"

#include "cli/Options.h"

namespace MOX {

VersionTaskFactory::VersionTaskFactory() {
    // The same texts at every help level.
    for (int32_t level : {0, 1}) {
        usageTexts[level] = "\n    --version\n";
        exampleTexts[level] = "\n    --version\n";
    }
    const OptionTable& o = Options();
    for (const OptionDescriptor* option : {&o.version})
        allowedOptions.insert(*option);
}

std::unique_ptr<ITask> VersionTaskFactory::createTask(CommandParser&) {
    ThrowModeNotAvailable(Options().version);
}

} // namespace MOX
