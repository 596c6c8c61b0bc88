#include "cli/tasks/RescanTask.h"

#include "cli/Options.h"

namespace MOX {

RescanTaskFactory::RescanTaskFactory() {
    // The same texts at every help level.
    for (int32_t level : {0, 1}) {
        usageTexts[level] = "\n    --rescan\n";
        exampleTexts[level] = "\n    --rescan\n";
    }
    const OptionTable& o = Options();
    for (const OptionDescriptor* option : {&o.rescan})
        allowedOptions.insert(*option);
}

std::unique_ptr<ITask> RescanTaskFactory::createTask(CommandParser&) {
    ThrowModeNotAvailable(Options().rescan);
}

} // namespace MOX
