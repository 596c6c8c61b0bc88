#include "cli/tasks/ZrcTask.h"

#include "cli/Options.h"

namespace MOX {

ZrcTaskFactory::ZrcTaskFactory() {
    // The same texts at every help level.
    for (int32_t level : {0, 1}) {
        usageTexts[level] = "\n    --zrc --remap <scsiX>\n    --zrc --remap-all\n";
        exampleTexts[level] = "\n    --zrc --remap scsi2\n    --zrc --remap-all\n";
    }
    const OptionTable& o = Options();
    for (const OptionDescriptor* option : {&o.zrc, &o.remap, &o.remapAll})
        allowedOptions.insert(*option);
}

std::unique_ptr<ITask> ZrcTaskFactory::createTask(CommandParser&) {
    ThrowModeNotAvailable(Options().zrc);
}

} // namespace MOX
