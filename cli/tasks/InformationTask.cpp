#include "cli/tasks/InformationTask.h"

#include "cli/Options.h"

namespace MOX {

InformationTaskFactory::InformationTaskFactory() {
    usageTexts[0] = "\n    --information [--controller <name>|--array <name>|--volume <name>|--disk <PTL>]\n "
                    "                 [--comma]\n";
    usageTexts[1] = "\n    --information\n";
    exampleTexts[0] = "\n    -I -v Volume\n    -I -d 0-5-0-0\n    -I --comma\n    -I -v --comma\n    -I -d "
                      "0-2-0-0 --comma\n    --information --array Array_0000\n    --information --help\n";
    exampleTexts[1] = "\n    --information\n    --information --help\n    -I\n";
    const OptionTable& o = Options();
    for (const OptionDescriptor* option :
         {&o.information, &o.array, &o.comma, &o.controller, &o.disk, &o.volume})
        allowedOptions.insert(*option);
}

std::unique_ptr<ITask> InformationTaskFactory::createTask(CommandParser&) {
    ThrowModeNotAvailable(Options().information);
}

} // namespace MOX
