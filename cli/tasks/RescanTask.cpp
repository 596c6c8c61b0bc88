#include "cli/tasks/RescanTask.h"

#include <iostream>

#include "cli/Options.h"
#include "cli/access/CliSession.h"
#include "middleware/api/UviOperations.h"

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
    return std::make_unique<RescanTask>();
}

Error RescanTask::run() {
    Error result = FullConversion(CallUvi(UviRescan));
    if (result.isError()) {
        result.addDetail("Cannot Rescan the system.");
        return result;
    }
    std::cout << std::endl
              << "--RESCAN--" << std::endl
              << std::endl
              << "Rescan the system for hardware changes. " << std::endl;
    return result;
}

} // namespace MOX
